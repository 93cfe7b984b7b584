/*
 * ztcrypto: keys, signatures, certificates, requests and encrypted packages for the Brelo
 * banking client, over OpenSSL.
 *
 * Rules that hold for every function below:
 *
 *  1. Result. Every function returns an int: ZT_OK (0) on success, a negative ZT_E_* value on
 *     failure. A failure also fills this thread's last-error record (ZtGetLastError...,
 *     DescribeOpenSSLError); a success leaves the record as it was. Output arguments are
 *     written only on success unless a function says otherwise (a too-small buffer reports the
 *     size it needs).
 *  2. Handles are opaque and owned by the caller from the call that returns them until the
 *     matching Free call. Every handle passed in is checked: a null, freed, foreign or
 *     wrong-kind handle gives ZT_E_INVALID_HANDLE and touches nothing. Names from
 *     GetCertSubject / GetCertRequestSubject are borrowed: they die with their certificate or
 *     request and are never freed by the caller. The library never frees what it did not make,
 *     and never frees a handle the caller passed in, not even on failure.
 *  3. Lengths are explicit int32_t values; a negative length is ZT_E_INVALID_ARGUMENT. A length
 *     of 0 is allowed wherever empty data makes sense. Output buffers belong to the caller and
 *     come with an in/out length: in = the buffer's capacity, out = the bytes written. A null
 *     buffer asks only for the size. A buffer that is too small gives ZT_E_BUFFER_TOO_SMALL,
 *     is left untouched, and the length is set to the size needed.
 *  4. Texts are zero-terminated UTF-8: key paths, passwords, digest and cipher names,
 *     distinguished-name fields and values, and every message the library returns. A password
 *     that protects a PEM key is converted to Windows-1251 before use, so that keys made by
 *     the Windows system open with the same password; a character Windows-1251 cannot hold is
 *     refused with ZT_E_ENCODING, never replaced. Name values are stored as UTF-8 strings
 *     (or printable strings where the attribute demands); 8-bit values of certificates made
 *     by the Windows system are read as Windows-1251 and come back as UTF-8 too.
 *  5. Nothing but these result codes crosses the boundary: no C++ exception, no ownership of
 *     library memory except through handles.
 *  6. Streams are the caller's: a ZtStream of five callbacks. The library never frees one.
 *  7. Threads: the library takes no lock around a handle; a handle must not be used by two
 *     threads at once. The last-error record is per thread.
 *
 * Key paths (LoadPrivateKey with ".key", LoadCert with ".cer"): a path starting with "/",
 * with a drive letter and ":" or with two backslashes is a file name used as it stands;
 * "kreda:" + path names path + extension, looked up on the key disks; any other text T is
 * the mask "sT.*" looked up on the key disks. The key disks are the folders in the environment
 * variable ZTCRYPTO_KEY_DISKS (colon-separated; default /media/floppy0:/media/floppy1), tried
 * in order. No match: the failure "Вставьте ключевую дискету пользователя <path> в дисковод!".
 *
 * Formats: 0 = PEM, 1 = DER; another value reads or writes nothing (each function says what
 * follows). An empty or null digest name means SHA-1; an empty or null cipher name means
 * Triple-DES CBC ("DES-EDE3-CBC").
 */
#ifndef ZTCRYPTO_H
#define ZTCRYPTO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZTCRYPTO_VERSION_MAJOR 1
#define ZTCRYPTO_VERSION_MINOR 0
#define ZTCRYPTO_VERSION_PATCH 0

/* Result codes. The negative codes name the failure's class. */
#define ZT_OK 0
#define ZT_E_FAILURE (-1)          /* a plain failure with a message (e.g. the key disk prompt) */
#define ZT_E_CRYPTO (-2)           /* the library's own crypto error (EZTCryptoError) */
#define ZT_E_OPENSSL (-3)          /* OpenSSL failed; entries and DescribeOpenSSLError explain */
#define ZT_E_VERIFY_CERT (-4)      /* certificate check; ZtGetLastErrorCode: 1 foreign centre,
                                      2 not valid yet, 3 expired */
#define ZT_E_INVALID_HANDLE (-5)
#define ZT_E_INVALID_ARGUMENT (-6) /* null pointer, negative length, value out of range */
#define ZT_E_BUFFER_TOO_SMALL (-7)
#define ZT_E_ENCODING (-8)         /* a text Windows-1251 cannot hold, or not UTF-8 */
#define ZT_E_STREAM (-9)           /* a stream callback reported a failure */
#define ZT_E_OUT_OF_MEMORY (-10)
#define ZT_E_INTERNAL (-11)        /* an unexpected fault inside the library */

#define ZT_FORMAT_PEM 0
#define ZT_FORMAT_DER 1

typedef struct ZtKey ZtKey;                     /* EVP_PKEY: private or public key */
typedef struct ZtCert ZtCert;                   /* X.509 certificate */
typedef struct ZtRequest ZtRequest;             /* PKCS#10 certificate request */
typedef struct ZtName ZtName;                   /* distinguished name */
typedef struct ZtCipherContext ZtCipherContext; /* symmetric cipher run */

/* The caller's record for incremental signing and verification. Zero it before its first
 * Init call (ZT_DIGEST_CONTEXT_INIT). Init attaches library state to it (a second Init
 * replaces a run still in progress). Done releases that state whatever its outcome, and so
 * does an Update that OpenSSL fails; a call refused for its arguments (ZT_E_INVALID_HANDLE,
 * ZT_E_INVALID_ARGUMENT, ZT_E_BUFFER_TOO_SMALL) leaves the run as it was. A context that
 * reached Done holds nothing and may be reused or dropped; one abandoned between Init and
 * Done keeps its state alive. */
typedef struct ZtDigestContext {
    uint32_t magic;
    uint32_t kind;
    void* state;
} ZtDigestContext;
#define ZT_DIGEST_CONTEXT_INIT {0, 0, 0}

/* The caller's byte stream. All five callbacks must be set. read and write return the number
 * of bytes moved (0 at the end of a read stream) or a negative value for a failure; seek
 * (origin 0 start, 1 current, 2 end) returns the new position or a negative value; size and
 * position return their value or a negative value. */
#define ZT_SEEK_SET 0
#define ZT_SEEK_CUR 1
#define ZT_SEEK_END 2
typedef struct ZtStream {
    void* context;
    int64_t (*read)(void* context, void* buffer, int64_t count);
    int64_t (*write)(void* context, const void* buffer, int64_t count);
    int64_t (*seek)(void* context, int64_t offset, int origin);
    int64_t (*size)(void* context);
    int64_t (*position)(void* context);
} ZtStream;

/* Key generation progress, as OpenSSL reports it (p: stage, n: counter). */
typedef void (*ZtKeyGenCallback)(int p, int n, void* arg);

/* ---- Version and last error ------------------------------------------------------------ */

/* (major << 16) | (minor << 8) | patch of the loaded library. */
int ZtGetVersion(void);
/* The result code of this thread's last failure, ZT_OK when none happened yet. */
int ZtGetLastError(void);
/* The failure's own code: VerifyCode for ZT_E_VERIFY_CERT, else the exception's code (0). */
int ZtGetLastErrorCode(void);
/* The failure's message (UTF-8, zero-terminated); *size: in capacity, out length + 1. */
int ZtGetLastErrorMessage(char* buffer, int32_t* size);
/* The number of OpenSSL error entries the failure captured (0 for other classes). */
int ZtGetLastErrorEntryCount(void);
/* Entry Index: its packed OpenSSL code and its line "Ошибка: reason (в функции ...)". */
int ZtGetLastErrorEntry(int32_t index, uint32_t* code, char* buffer, int32_t* size);

/* ---- Keys and signatures ---------------------------------------------------------------- */

/* Opens the private key found by KeyPath (".key") with Password. Format 0 reads PEM (any
 * private key OpenSSL reads); any other format only checks that the file exists and gives
 * *key = NULL. */
int LoadPrivateKey(const char* keyPath, const char* password, int format, ZtKey** key);
int FreeKey(ZtKey* key);
/* The largest signature the key makes, in bytes (the modulus length for RSA). */
int GetKeySize(const ZtKey* key, int32_t* size);
/* Signs data. data == NULL only reports the size in *signatureLength. */
int SignData(const ZtKey* key, const char* digestName, const void* data, int32_t dataLength,
             void* signature, int32_t* signatureLength);
/* *valid = 1 when the signature matches, 0 when it does not. */
int VerifySignature(const ZtKey* key, const char* digestName, const void* data,
                    int32_t dataLength, const void* signature, int32_t signatureLength,
                    int* valid);
int InitSignDataEx(const ZtKey* key, const char* digestName, int32_t* signatureSize,
                   ZtDigestContext* context);
int SignDataEx(ZtDigestContext* context, const void* data, int32_t dataLength);
/* Ends the signing run; *signatureLength: in capacity, out the signature's length. */
int DoneSignDataEx(ZtDigestContext* context, const ZtKey* key, int32_t* signatureLength,
                   void* signature);
int InitVerifySignEx(const char* digestName, ZtDigestContext* context);
/* The second argument is not used. */
int UpdateVerifySignEx(ZtDigestContext* context, int32_t ignored, const void* data,
                       int32_t dataLength);
int DoneVerifySignEx(ZtDigestContext* context, const ZtKey* key, const void* signature,
                     int32_t signatureLength, int* valid);

/* ---- Certificates ----------------------------------------------------------------------- */

/* Reads the certificate found by KeyPath (".cer"); another format gives *cert = NULL. */
int LoadCert(const char* keyPath, int format, ZtCert** cert);
/* Reads a certificate from the stream's position; another format gives *cert = NULL. */
int LoadCertFromStream(const ZtStream* stream, int format, ZtCert** cert);
int FreeCert(ZtCert* cert);
/* Checks issuer name, the issuer's signature and the validity period, in this order. */
int VerifyCert(const ZtCert* cert, const ZtCert* issuer);
/* VerifyCert, then the certificate's public key. */
int GetTrustedPublicKey(const ZtCert* cert, const ZtCert* issuer, ZtKey** key);
int GetPublicKey(const ZtCert* cert, ZtKey** key);
/* Writes the certificate at the stream's position; another format writes nothing. */
int SaveCertToStream(const ZtCert* cert, const ZtStream* stream, int format);
/* The certificate's subject, borrowed from the certificate. */
int GetCertSubject(const ZtCert* cert, const ZtName** name);
/* The serial number; one that does not fit in 32 bits is a failure. */
int GetCertSerialNumber(const ZtCert* cert, int32_t* serial);
/* *matches = 1 when key is the private key of the certificate's public key. */
int CheckCertMatchesKey(const ZtCert* cert, const ZtKey* key, int* matches);

/* ---- Key generation, requests and names ------------------------------------------------- */

/* A new RSA key of bits bits (512 to 16384) and exponent 65537. */
int GenerateKey(int32_t bits, ZtKeyGenCallback callback, void* callbackArg, ZtKey** key);
/* Writes the private key as PEM "RSA PRIVATE KEY", encrypted with the cipher under the
 * password (an empty password is a password of zero bytes). The last argument is not used. */
int SaveKey(const ZtKey* key, const ZtStream* stream, const char* cipherName,
            const char* password, int32_t ignored);
/* A request for the key's public key with a copy of the name, signed by the key. */
int CreateCertRequest(const ZtKey* key, const ZtName* name, const char* digestName,
                      ZtRequest** request);
int FreeCertRequest(ZtRequest* request);
int SaveCertRequest(const ZtRequest* request, const ZtStream* stream); /* PEM */
int LoadCertRequest(const ZtStream* stream, ZtRequest** request);      /* PEM */
int GetCertRequestSubject(const ZtRequest* request, const ZtName** name);
/* Issues a version-3 certificate valid from now for days days (0 to 24855), signed by
 * issuerKey. issuer == NULL issues a self-issued certificate (issuer = the request's subject). */
int SignRequest(const ZtRequest* request, int32_t serial, int32_t days, const ZtCert* issuer,
                const ZtKey* issuerKey, const char* digestName, ZtCert** cert);
/* SignRequest valid from startDate (days since 30 December 1899, local time) for days days. */
int SignRequest2(const ZtRequest* request, int32_t serial, int32_t days, double startDate,
                 const ZtCert* issuer, const ZtKey* issuerKey, const char* digestName,
                 ZtCert** cert);
int CreateDistinguishedName(ZtName** name);
int FreeDistinguishedName(ZtName* name);
/* Appends field = value. Fields are OpenSSL short or long names or dotted OIDs, plus "BankID"
 * (1.2.980.31857264.1.1) and "IntPSBranchID" (1.2.980.31857264.1.2). A field OpenSSL does not
 * know adds nothing and is not a failure. */
int AddDistinguishedNameEntry(ZtName* name, const char* field, const char* value);
int GetDistinguishedNameEntryCount(const ZtName* name, int32_t* count);
/* Entry index: the field's name (OpenSSL's long name or the dotted OID) and its value (UTF-8).
 * *fieldLength counts the field's terminating zero; *valueLength does not: pass the value
 * buffer's capacity minus one, as the sizes query returns it. Null buffers only report the two
 * sizes. An index out of range is ZT_E_FAILURE; a buffer too small is ZT_E_BUFFER_TOO_SMALL
 * with both sizes reported. */
int GetDistinguishedNameEntry(const ZtName* name, int32_t index, char* fieldBuffer,
                              int32_t* fieldLength, char* valueBuffer, int32_t* valueLength);

/* ---- Encryption, random data and ciphers ------------------------------------------------ */

/* Encrypts the source (from its position to its end) into a PKCS#7 enveloped-data package for
 * the recipient, written at the target's position; another format writes nothing. */
int EncryptStream(const ZtStream* source, const ZtStream* target, const ZtCert* recipient,
                  const char* cipherName, int format);
/* Decrypts a package read at the source's position into the target. */
int DecryptStream(const ZtStream* source, const ZtStream* target, const ZtKey* privateKey,
                  const ZtCert* recipient, int format);
int GenRandom(void* buffer, int32_t length);
/* The cipher's key and IV lengths; given buffers (capacity in the lengths) are filled with
 * random bytes. */
int GenRandomKey(const char* cipherName, void* keyBuffer, void* ivBuffer, int32_t* keyLength,
                 int32_t* ivLength);
/* Wraps key bytes with the RSA public key (PKCS #1 v1.5); *outputLength: in capacity, out the
 * wrapped length (the key size). */
int EncryptKey(const void* key, int32_t keyLength, const ZtKey* publicKey, void* output,
               int32_t* outputLength);
/* Unwraps a key; *keyLength: in capacity (when keyBuffer is given), out the key's length.
 * keyBuffer == NULL reports the cipher's key length. */
int DecryptKey(const char* cipherName, const void* encryptedKey, int32_t encryptedLength,
               const ZtKey* privateKey, void* keyBuffer, int32_t* keyLength);
/* A cipher run; encrypt: 1 encrypt, 0 decrypt. key and iv hold the cipher's lengths. */
int InitCipher(const char* cipherName, const void* key, const void* iv, int encrypt,
               ZtCipherContext** context);
/* Ciphers input; final != 0 ends the run (padding). *outputLength: in capacity (at least
 * inputLength plus one block, plus another block with final), out the bytes produced. A bad
 * final block while decrypting is ZT_E_OPENSSL, with *outputLength = the bytes produced. */
int CipherData(ZtCipherContext* context, const void* input, int32_t inputLength, int final,
               void* output, int32_t* outputLength);
int DoneCipher(ZtCipherContext* context);
/* The user text of this thread's last failure when it was an OpenSSL failure: the context
 * text and one line per entry, with readable texts for wrong passwords and damaged key files,
 * joined by CR LF (a line equal to the one before it is given once). *size: in capacity, out length + 1; 0 (buffer untouched) when the last
 * failure was of another class or none happened. Does not change the last-error record. */
int DescribeOpenSSLError(char* buffer, uint32_t* size);

#ifdef __cplusplus
}
#endif

#endif /* ZTCRYPTO_H */
