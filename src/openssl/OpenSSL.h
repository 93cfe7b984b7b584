#pragma once
// Start-up of libcrypto. The library is linked, so "loading" is a one-time initialisation that
// every entry of this subsystem may call; later calls cost one atomic check.

namespace brelo {

/// Runs InitOpenSSL once per process; true when libcrypto is ready (always, since it is linked).
bool LoadOpenSSLLibrary();

/// Loads the error texts and makes every digest and cipher known by name. Safe to call from
/// any thread, any number of times: only the first call does the work. The random generator
/// seeds itself, so there is no seeding step.
void InitOpenSSL();

}  // namespace brelo
