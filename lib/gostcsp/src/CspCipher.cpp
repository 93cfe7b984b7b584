// GOST 28147-89 cipher entry points.
#include <cstring>

#include "Contexts.h"

using namespace gostcsp;

extern "C" {

int32_t CSPG28147CreateCtx(CSP_HANDLE* ctx, int32_t mode, int32_t sblockId, const void* key32) {
    return Guard([&] {
        if (!ctx || !key32 || sblockId != 0)
            return CSP_E_BAD_ARGUMENT;
        if (mode != CSP_G28147_ENCRYPT && mode != CSP_G28147_DECRYPT)
            return CSP_E_BAD_ARGUMENT;
        auto c = std::make_unique<CipherCtx>(static_cast<const std::uint8_t*>(key32),
                                             mode == CSP_G28147_ENCRYPT);
        *ctx = CipherTable().Add(std::move(c));
        return CSP_OK;
    });
}

int32_t CSPG28147DestroyCtx(CSP_HANDLE ctx) {
    return Guard([&] { return CipherTable().Remove(ctx) ? CSP_OK : CSP_E_BAD_HANDLE; });
}

int32_t CSPG28147ProcessData(CSP_HANDLE ctx, void* data, uint32_t size) {
    return Guard([&] {
        CipherCtx* c = CipherTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        if (size == 0)
            return CSP_OK;
        if (!data)
            return CSP_E_BAD_ARGUMENT;
        auto* bytes = static_cast<std::uint8_t*>(data);
        if (c->Encrypt)
            c->Mac.Update(bytes, size);
        c->Cfb.Process(bytes, size);
        if (!c->Encrypt)
            c->Mac.Update(bytes, size);
        return CSP_OK;
    });
}

int32_t CSPG28147GetImit(CSP_HANDLE ctx, void* imit8, int32_t flags) {
    return Guard([&] {
        CipherCtx* c = CipherTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        if (!imit8 || flags != 0)
            return CSP_E_BAD_ARGUMENT;
        auto mac = c->Mac.Get();
        std::memcpy(imit8, mac.data(), mac.size());
        return CSP_OK;
    });
}

}  // extern "C"
