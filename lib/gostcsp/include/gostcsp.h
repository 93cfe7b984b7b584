/* GOST provider library: GOST 28147-89 (cipher and MAC), GOST R 34.11-94, GOST R 34.10-94.
 *
 * Rules of this interface:
 * - Every entry point returns a signed 32-bit status, 0 on success (CSPGetVersion returns the
 *   packed version word instead). Statuses are listed below.
 * - Contexts are 32-bit handles written by a ...CreateCtx call and released by the matching
 *   ...DestroyCtx. A handle of another family, or one already destroyed, gives
 *   CSP_E_BAD_HANDLE. Contexts are not shared between threads.
 * - Lengths are explicit and in bytes. Output buffers belong to the caller; a 32-bit length
 *   variable carries the buffer size in and the number of bytes written out.
 * - GOST 28147-89 contexts use the CryptoPro-A parameter set's S-box, gamma with feedback
 *   (CFB, 64-bit feedback) with a zero initial vector, no key meshing; the MAC (8 bytes) is
 *   computed over the plaintext in both directions.
 * - GOST R 34.11-94 uses the CryptoPro hash parameter set; digests are bytes in memory order.
 * - GOST R 34.10-94 numbers are exchanged in the context's byte order (0: least significant
 *   byte first, the default; 1: most significant first). A signature is 64 bytes: r then s,
 *   32 bytes each, in that byte order. The hash value is the digest read least significant
 *   byte first.
 * - Entry points marked "not provided" return CSP_E_NOT_SUPPORTED and touch nothing.
 */
#ifndef GOSTCSP_H
#define GOSTCSP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define CSP_API __attribute__((visibility("default")))
#else
#define CSP_API
#endif

typedef uint32_t CSP_HANDLE;

#define CSP_OK 0
#define CSP_E_NOT_SUPPORTED (-10001)
#define CSP_E_BAD_HANDLE (-10002)
#define CSP_E_BAD_ARGUMENT (-10003)
#define CSP_E_BAD_PARAMETERS (-10004)
#define CSP_E_BAD_KEY (-10005)
#define CSP_E_STATE (-10006)
#define CSP_E_BUFFER_TOO_SMALL (-10007)
#define CSP_E_INTERNAL (-10008)
#define CSP_E_SIGNATURE_MISMATCH (-10011)

#define CSP_G28147_ENCRYPT 261
#define CSP_G28147_DECRYPT 262
#define CSP_BYTE_ORDER_LITTLE 0
#define CSP_BYTE_ORDER_BIG 1

/* Library */
CSP_API int32_t CSPInitialize(void);
CSP_API int32_t CSPDeInitialize(void);     /* destroys every context still open */
CSP_API int32_t CSPIsInitialized(void);    /* not provided */
CSP_API uint32_t CSPGetVersion(void);      /* bits 31-24 major, 23-16 minor, 15-0 build */
CSP_API int32_t CSPRunInternalTests(void); /* not provided */
CSP_API int32_t CSPSetDefaultSblock(const void* sblock, uint32_t size); /* not provided */

/* GOST 28147-89 cipher. sblockId 0 selects the CryptoPro-A S-box (the only one). */
CSP_API int32_t CSPG28147CreateCtx(CSP_HANDLE* ctx, int32_t mode, int32_t sblockId,
                                   const void* key32);
CSP_API int32_t CSPG28147DuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy); /* not provided */
CSP_API int32_t CSPG28147DestroyCtx(CSP_HANDLE ctx);
CSP_API int32_t CSPG28147SetMode(CSP_HANDLE ctx, int32_t mode);      /* not provided */
CSP_API int32_t CSPG28147SetSync(CSP_HANDLE ctx, const void* sync8); /* not provided */
CSP_API int32_t CSPG28147SetKey(CSP_HANDLE ctx, const void* key32);  /* not provided */
CSP_API int32_t CSPG28147SetSblock(CSP_HANDLE ctx, const void* sblock,
                                   uint32_t size);    /* not provided */
CSP_API int32_t CSPG28147GenerateKey(CSP_HANDLE ctx); /* not provided */
/* Enciphers or deciphers in place, as the context's mode says; calls may split the data anywhere.
 */
CSP_API int32_t CSPG28147ProcessData(CSP_HANDLE ctx, void* data, uint32_t size);
CSP_API int32_t CSPG28147Begin(CSP_HANDLE ctx); /* not provided */
/* The 8-byte MAC of the plaintext processed so far; flags must be 0. */
CSP_API int32_t CSPG28147GetImit(CSP_HANDLE ctx, void* imit8, int32_t flags);
CSP_API int32_t CSPG28147SetImit(CSP_HANDLE ctx, const void* imit8);           /* not provided */
CSP_API int32_t CSPG28147GetKey(CSP_HANDLE ctx, void* key32);                  /* not provided */
CSP_API int32_t CSPG28147GetSync(CSP_HANDLE ctx, void* sync8);                 /* not provided */
CSP_API int32_t CSPG28147GetGamma(CSP_HANDLE ctx, void* gamma, uint32_t size); /* not provided */

/* Random numbers: not provided. */
CSP_API int32_t CSPRandomCreateCtx(CSP_HANDLE* ctx);
CSP_API int32_t CSPRandomDuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy);
CSP_API int32_t CSPRandomDestroyCtx(CSP_HANDLE ctx);
CSP_API int32_t CSPRandomGenerateBuffer(CSP_HANDLE ctx, void* buffer, uint32_t size);
CSP_API int32_t CSPRandomUpdateSeed(CSP_HANDLE ctx, const void* seed, uint32_t size);

/* GOST 28147-89 MAC contexts: not provided (the cipher context gives the MAC). */
CSP_API int32_t CSPImitCreateCtx(CSP_HANDLE* ctx, const void* key32);
CSP_API int32_t CSPImitDuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy);
CSP_API int32_t CSPImitDestroyCtx(CSP_HANDLE ctx);
CSP_API int32_t CSPImitBegin(CSP_HANDLE ctx);
CSP_API int32_t CSPImitUpdate(CSP_HANDLE ctx, const void* data, uint32_t size);
CSP_API int32_t CSPImitFinal(CSP_HANDLE ctx, void* imit8);
CSP_API int32_t CSPImitGet(CSP_HANDLE ctx, void* imit8);
CSP_API int32_t CSPImitSetImit(CSP_HANDLE ctx, const void* imit8);
CSP_API int32_t CSPImitSetKey(CSP_HANDLE ctx, const void* key32);

/* GOST R 34.11-94 hash. paramSet 0 selects the CryptoPro hash parameter set (the only one). */
CSP_API int32_t CSPG3411CreateCtx(CSP_HANDLE* ctx, int32_t paramSet);
CSP_API int32_t CSPG3411DuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy); /* not provided */
CSP_API int32_t CSPG3411DestroyCtx(CSP_HANDLE ctx);
CSP_API int32_t CSPG3411Begin(CSP_HANDLE ctx);
CSP_API int32_t CSPG3411Update(CSP_HANDLE ctx, const void* data, uint32_t size);
/* Completes the hash and keeps the digest in the context (for signing and verifying); copies
 * the 32 bytes to digest when given. A length variable, when given, must hold at least 32 if
 * digest is given, and receives 32. */
CSP_API int32_t CSPG3411Final(CSP_HANDLE ctx, void* digest, uint32_t* size);
CSP_API int32_t CSPG3411FinalEx(CSP_HANDLE ctx, void* digest, uint32_t* size,
                                int32_t flags);                                /* not provided */
CSP_API int32_t CSPG3411GetHesh(CSP_HANDLE ctx, void* digest, uint32_t* size); /* not provided */
CSP_API int32_t CSPG3411SetHesh(CSP_HANDLE ctx, const void* digest,
                                uint32_t size); /* not provided */

/* GOST R 34.10-94 signature. */
CSP_API int32_t CSPG3410CreateCtx(CSP_HANDLE* ctx);
CSP_API int32_t CSPG3410DuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy); /* not provided */
CSP_API int32_t CSPG3410DestroyCtx(CSP_HANDLE ctx);
CSP_API int32_t CSPG3410EnableTestMode(CSP_HANDLE ctx, int32_t on); /* not provided */
CSP_API int32_t CSPG3410SetDefaultByteOrder(CSP_HANDLE ctx, int32_t order);
/* Signs the hash completed in hashCtx; flags must be 0. */
CSP_API int32_t CSPG3410Sign(CSP_HANDLE ctx, CSP_HANDLE hashCtx, void* signature64, int32_t flags);
/* 0: valid; CSP_E_SIGNATURE_MISMATCH: does not match; anything else: could not verify. */
CSP_API int32_t CSPG3410VerifySign(CSP_HANDLE ctx, CSP_HANDLE hashCtx, const void* signature64);
/* Accepts p of 512 or 1024 bits with q of 256 bits; checks primality, q | p-1 and a^q = 1. */
CSP_API int32_t CSPG3410SetParameters(CSP_HANDLE ctx, const void* p, uint32_t pSize, const void* q,
                                      uint32_t qSize, const void* a, uint32_t aSize);
CSP_API int32_t CSPG3410GenerateXY(CSP_HANDLE ctx);
/* bits 512 or 1024: new parameters with p of 1024 bits and q of 256 bits in either case. */
CSP_API int32_t CSPG3410GenerateParameters(CSP_HANDLE ctx, int32_t bits);
CSP_API int32_t CSPG3410SetKeyX(CSP_HANDLE ctx, const void* x, uint32_t size);
CSP_API int32_t CSPG3410SetKeyY(CSP_HANDLE ctx, const void* y, uint32_t size);
CSP_API int32_t CSPG3410SetKeyK(CSP_HANDLE ctx, const void* k, uint32_t size); /* not provided */
CSP_API int32_t CSPG3410GetKeyP(CSP_HANDLE ctx, void* buffer, uint32_t* size);
CSP_API int32_t CSPG3410GetKeyQ(CSP_HANDLE ctx, void* buffer, uint32_t* size);
CSP_API int32_t CSPG3410GetKeyA(CSP_HANDLE ctx, void* buffer, uint32_t* size);
CSP_API int32_t CSPG3410GetKeyX(CSP_HANDLE ctx, void* buffer, uint32_t* size);
CSP_API int32_t CSPG3410GetKeyY(CSP_HANDLE ctx, void* buffer, uint32_t* size);
CSP_API int32_t CSPG3410GetLastUsedSeed(CSP_HANDLE ctx, void* seed,
                                        uint32_t* size); /* not provided */
CSP_API int32_t CSPG3410ProcedureA(CSP_HANDLE ctx, uint32_t x0, uint32_t c,
                                   int32_t bits); /* not provided */
CSP_API int32_t CSPG3410ProcedureB(CSP_HANDLE ctx, uint32_t x0, uint32_t c,
                                   int32_t bits);                                 /* not provided */
CSP_API int32_t CSPG3410ProcedureC(CSP_HANDLE ctx, const void* d, uint32_t size); /* not provided */

/* Diffie-Hellman: not provided. */
CSP_API int32_t CSPDHCreateCtx(CSP_HANDLE* ctx);
CSP_API int32_t CSPDHDuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy);
CSP_API int32_t CSPDHDestroyCtx(CSP_HANDLE ctx);
CSP_API int32_t CSPDHSetDefaultByteOrder(CSP_HANDLE ctx, int32_t order);
CSP_API int32_t CSPDHGenerateParameters(CSP_HANDLE ctx, int32_t bits);
CSP_API int32_t CSPDHSetParameters(CSP_HANDLE ctx, const void* p, uint32_t pSize, const void* g,
                                   uint32_t gSize);
CSP_API int32_t CSPDHSetX(CSP_HANDLE ctx, const void* x, uint32_t size);
CSP_API int32_t CSPDHSetY(CSP_HANDLE ctx, const void* y, uint32_t size);
CSP_API int32_t CSPDHGenerateXY(CSP_HANDLE ctx);
CSP_API int32_t CSPDHGetKeyP(CSP_HANDLE ctx, void* buffer, uint32_t* size);
CSP_API int32_t CSPDHGetKeyG(CSP_HANDLE ctx, void* buffer, uint32_t* size);
CSP_API int32_t CSPDHGetKeyX(CSP_HANDLE ctx, void* buffer, uint32_t* size);
CSP_API int32_t CSPDHGetKeyY(CSP_HANDLE ctx, void* buffer, uint32_t* size);
CSP_API int32_t CSPDHGetSharedKey(CSP_HANDLE ctx, const void* peerY, uint32_t peerSize, void* key,
                                  uint32_t* size);

/* Other: not provided. */
CSP_API int32_t CSPReverseKey(void* data, uint32_t size);

#ifdef __cplusplus
}
#endif

#endif /* GOSTCSP_H */
