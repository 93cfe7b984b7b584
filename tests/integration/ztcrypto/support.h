/* Helpers of the C client: checks, files, the openssl tool, memory streams, the loaded library. */
#ifndef ZTC_SUPPORT_H
#define ZTC_SUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include "ztcrypto.h"

/* Every export, resolved with dlsym. */
#define ZT_EXPORTS(X)                                                                              \
    X(LoadPrivateKey) X(FreeKey) X(GetKeySize) X(SignData) X(VerifySignature) X(InitSignDataEx)   \
    X(SignDataEx) X(DoneSignDataEx) X(InitVerifySignEx) X(UpdateVerifySignEx) X(DoneVerifySignEx) \
    X(LoadCert) X(LoadCertFromStream) X(FreeCert) X(VerifyCert) X(GetTrustedPublicKey)            \
    X(GetPublicKey) X(SaveCertToStream) X(GetCertSubject) X(GetCertSerialNumber)                  \
    X(CheckCertMatchesKey) X(GenerateKey) X(SaveKey) X(CreateCertRequest) X(FreeCertRequest)      \
    X(SaveCertRequest) X(LoadCertRequest) X(GetCertRequestSubject) X(SignRequest) X(SignRequest2) \
    X(CreateDistinguishedName) X(FreeDistinguishedName) X(AddDistinguishedNameEntry)              \
    X(GetDistinguishedNameEntryCount) X(GetDistinguishedNameEntry) X(EncryptStream)               \
    X(DecryptStream) X(GenRandom) X(GenRandomKey) X(EncryptKey) X(DecryptKey) X(InitCipher)       \
    X(CipherData) X(DoneCipher) X(DescribeOpenSSLError) X(ZtGetVersion) X(ZtGetLastError)         \
    X(ZtGetLastErrorCode) X(ZtGetLastErrorMessage) X(ZtGetLastErrorEntryCount)                    \
    X(ZtGetLastErrorEntry)

struct ZtApi {
#define ZT_MEMBER(name) __typeof__(&name) name;
    ZT_EXPORTS(ZT_MEMBER)
#undef ZT_MEMBER
};
extern struct ZtApi zt;

/* Loads the library; 0 on success. */
int load_library(const char* path);

/* Checks: each counts as one passed or failed check. */
extern int checks_passed, checks_failed;
int check_at(int ok, const char* file, int line, const char* what);
#define CHECK(cond) check_at((cond) != 0, __FILE__, __LINE__, #cond)
/* A call's result, with the last error's message on mismatch. */
int check_rc_at(int rc, int expected, const char* file, int line, const char* what);
#define CHECK_RC(call, expected) check_rc_at((call), (expected), __FILE__, __LINE__, #call)
#define CHECK_OK(call) CHECK_RC(call, ZT_OK)

/* The last error's message and DescribeOpenSSLError's text (static buffers). */
const char* last_message(void);
const char* last_description(void);
int contains(const char* text, const char* part);

/* Files in the work folder. */
extern char work_dir[256];
const char* path_of(const char* name); /* static buffer, several in rotation */
int write_file(const char* path, const void* data, size_t size);
unsigned char* read_file(const char* path, size_t* size); /* malloc'ed, NULL when missing */
/* Runs a shell command in the work folder; its exit status. */
int run(const char* format, ...);

/* A growing memory stream; fail_* make the callbacks report a failure. */
typedef struct MemStream {
    unsigned char* data;
    int64_t size, capacity, position;
    int fail_read, fail_write;
    ZtStream stream;
} MemStream;
void mem_init(MemStream* m, const void* data, size_t size);
void mem_free(MemStream* m);
int mem_save(const MemStream* m, const char* path);
int mem_load(MemStream* m, const char* path);

#endif
