// GOST R 34.11-94 entry points.
#include <cstring>

#include "Contexts.h"

using namespace gostcsp;

extern "C" {

int32_t CSPG3411CreateCtx(CSP_HANDLE* ctx, int32_t paramSet) {
    return Guard([&] {
        if (!ctx || paramSet != 0)
            return CSP_E_BAD_ARGUMENT;
        *ctx = HashTable().Add(std::make_unique<HashCtx>());
        return CSP_OK;
    });
}

int32_t CSPG3411DestroyCtx(CSP_HANDLE ctx) {
    return Guard([&] { return HashTable().Remove(ctx) ? CSP_OK : CSP_E_BAD_HANDLE; });
}

int32_t CSPG3411Begin(CSP_HANDLE ctx) {
    return Guard([&] {
        HashCtx* h = HashTable().Find(ctx);
        if (!h)
            return CSP_E_BAD_HANDLE;
        h->Hash.Begin();
        h->ForgetDigest();
        return CSP_OK;
    });
}

int32_t CSPG3411Update(CSP_HANDLE ctx, const void* data, uint32_t size) {
    return Guard([&] {
        HashCtx* h = HashTable().Find(ctx);
        if (!h)
            return CSP_E_BAD_HANDLE;
        if (h->Digest)
            return CSP_E_STATE;  // completed: Begin first
        if (size == 0)
            return CSP_OK;
        if (!data)
            return CSP_E_BAD_ARGUMENT;
        h->Hash.Update(static_cast<const std::uint8_t*>(data), size);
        return CSP_OK;
    });
}

int32_t CSPG3411Final(CSP_HANDLE ctx, void* digest, uint32_t* size) {
    return Guard([&] {
        HashCtx* h = HashTable().Find(ctx);
        if (!h)
            return CSP_E_BAD_HANDLE;
        if (digest && size && *size < 32) {
            *size = 32;
            return CSP_E_BUFFER_TOO_SMALL;
        }
        if (!h->Digest)
            h->Digest = h->Hash.Final();
        if (digest)
            std::memcpy(digest, h->Digest->data(), 32);
        if (size)
            *size = 32;
        return CSP_OK;
    });
}

}  // extern "C"
