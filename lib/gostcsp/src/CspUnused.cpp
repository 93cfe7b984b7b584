// Entry points this provider does not offer: each refuses with CSP_E_NOT_SUPPORTED.
#include "gostcsp.h"

extern "C" {

int32_t CSPIsInitialized(void) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPRunInternalTests(void) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPSetDefaultSblock(const void* sblock, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147DuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147SetMode(CSP_HANDLE ctx, int32_t mode) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147SetSync(CSP_HANDLE ctx, const void* sync8) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147SetKey(CSP_HANDLE ctx, const void* key32) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147SetSblock(CSP_HANDLE ctx, const void* sblock, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147GenerateKey(CSP_HANDLE ctx) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147Begin(CSP_HANDLE ctx) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147SetImit(CSP_HANDLE ctx, const void* imit8) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147GetKey(CSP_HANDLE ctx, void* key32) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147GetSync(CSP_HANDLE ctx, void* sync8) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG28147GetGamma(CSP_HANDLE ctx, void* gamma, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPRandomCreateCtx(CSP_HANDLE* ctx) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPRandomDuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPRandomDestroyCtx(CSP_HANDLE ctx) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPRandomGenerateBuffer(CSP_HANDLE ctx, void* buffer, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPRandomUpdateSeed(CSP_HANDLE ctx, const void* seed, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPImitCreateCtx(CSP_HANDLE* ctx, const void* key32) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPImitDuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPImitDestroyCtx(CSP_HANDLE ctx) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPImitBegin(CSP_HANDLE ctx) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPImitUpdate(CSP_HANDLE ctx, const void* data, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPImitFinal(CSP_HANDLE ctx, void* imit8) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPImitGet(CSP_HANDLE ctx, void* imit8) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPImitSetImit(CSP_HANDLE ctx, const void* imit8) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPImitSetKey(CSP_HANDLE ctx, const void* key32) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3411DuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3411FinalEx(CSP_HANDLE ctx, void* digest, uint32_t* size, int32_t flags) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3411GetHesh(CSP_HANDLE ctx, void* digest, uint32_t* size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3411SetHesh(CSP_HANDLE ctx, const void* digest, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3410DuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3410EnableTestMode(CSP_HANDLE ctx, int32_t on) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3410SetKeyK(CSP_HANDLE ctx, const void* k, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3410GetLastUsedSeed(CSP_HANDLE ctx, void* seed, uint32_t* size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3410ProcedureA(CSP_HANDLE ctx, uint32_t x0, uint32_t c, int32_t bits) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3410ProcedureB(CSP_HANDLE ctx, uint32_t x0, uint32_t c, int32_t bits) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPG3410ProcedureC(CSP_HANDLE ctx, const void* d, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHCreateCtx(CSP_HANDLE* ctx) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHDuplicateCtx(CSP_HANDLE ctx, CSP_HANDLE* copy) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHDestroyCtx(CSP_HANDLE ctx) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHSetDefaultByteOrder(CSP_HANDLE ctx, int32_t order) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHGenerateParameters(CSP_HANDLE ctx, int32_t bits) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHSetParameters(CSP_HANDLE ctx, const void* p, uint32_t pSize, const void* g,
                           uint32_t gSize) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHSetX(CSP_HANDLE ctx, const void* x, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHSetY(CSP_HANDLE ctx, const void* y, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHGenerateXY(CSP_HANDLE ctx) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHGetKeyP(CSP_HANDLE ctx, void* buffer, uint32_t* size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHGetKeyG(CSP_HANDLE ctx, void* buffer, uint32_t* size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHGetKeyX(CSP_HANDLE ctx, void* buffer, uint32_t* size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHGetKeyY(CSP_HANDLE ctx, void* buffer, uint32_t* size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPDHGetSharedKey(CSP_HANDLE ctx, const void* peerY, uint32_t peerSize, void* key,
                          uint32_t* size) {
    return CSP_E_NOT_SUPPORTED;
}
int32_t CSPReverseKey(void* data, uint32_t size) {
    return CSP_E_NOT_SUPPORTED;
}

}  // extern "C"
