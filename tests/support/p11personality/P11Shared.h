// Process-wide state of the PKCS#11 test module: the one SoftHSM2 instance that every
// copy of the module forwards to, and how many copies have it initialised.
//
// Copies of the module that are loaded under different vendor file names are separate
// objects with separate statics; this small library is linked by all of them by soname,
// so the dynamic linker loads it once and they share it.
#pragma once

#include <p11-kit/pkcs11.h>

#ifdef __cplusplus
extern "C" {
#endif

/// The target's function list (loaded on first use, never unloaded); null with *rv set on failure.
CK_FUNCTION_LIST* brelo_p11shared_target(CK_RV* rv);

/// Initialises the target for one more user; only the first user's call reaches the target.
CK_RV brelo_p11shared_acquire(void* initArgs);

/// Releases one user; the last one finalises the target if this library initialised it.
CK_RV brelo_p11shared_release(void);

#ifdef __cplusplus
}
#endif
