// GOST R 34.10-94 entry points.
#include <cstring>

#include "Contexts.h"
#include "GostParams.h"

using namespace gostcsp;

namespace {

constexpr std::uint32_t kMaxNumber = 128;
constexpr int kHalf = 32;  // bytes of r and of s

BnPtr ReadNumber(const SignCtx& c, const void* data, std::uint32_t size) {
    if (!data || size == 0 || size > kMaxNumber)
        return nullptr;
    auto* bytes = static_cast<const unsigned char*>(data);
    BnPtr v(c.ByteOrder == CSP_BYTE_ORDER_LITTLE ? BN_lebin2bn(bytes, int(size), nullptr)
                                                 : BN_bin2bn(bytes, int(size), nullptr));
    if (!v)
        throw BnFailure();
    return v;
}

void WriteFixed(const SignCtx& c, const BIGNUM* v, unsigned char* out, int size) {
    int written = c.ByteOrder == CSP_BYTE_ORDER_LITTLE ? BN_bn2lebinpad(v, out, size)
                                                       : BN_bn2binpad(v, out, size);
    BnCheck(written == size);
}

int32_t GetNumber(CSP_HANDLE ctx, void* buffer, std::uint32_t* size,
                  const BIGNUM* (*pick)(const SignCtx&)) {
    return Guard([&] {
        SignCtx* c = SignTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        if (!buffer || !size)
            return CSP_E_BAD_ARGUMENT;
        const BIGNUM* v = pick(*c);
        if (!v)
            return CSP_E_STATE;
        int need = BN_num_bytes(v);
        if (std::uint32_t(need) > *size) {
            *size = std::uint32_t(need);
            return CSP_E_BUFFER_TOO_SMALL;
        }
        WriteFixed(*c, v, static_cast<unsigned char*>(buffer), need);
        *size = std::uint32_t(need);
        return CSP_OK;
    });
}

const BIGNUM* PickP(const SignCtx& c) {
    return c.Params ? c.Params->p.get() : nullptr;
}
const BIGNUM* PickQ(const SignCtx& c) {
    return c.Params ? c.Params->q.get() : nullptr;
}
const BIGNUM* PickA(const SignCtx& c) {
    return c.Params ? c.Params->a.get() : nullptr;
}
const BIGNUM* PickX(const SignCtx& c) {
    return c.X.get();
}
const BIGNUM* PickY(const SignCtx& c) {
    return c.Y.get();
}

// The completed hash of a hash context as H, or null when it is not completed.
BnPtr HashValue(const SignCtx& c, CSP_HANDLE hashCtx, std::int32_t& status) {
    HashCtx* h = HashTable().Find(hashCtx);
    status = !h ? CSP_E_BAD_HANDLE : !h->Digest ? CSP_E_STATE : CSP_OK;
    if (status != CSP_OK)
        return nullptr;
    return Gost3410HashValue(*h->Digest, c.Params->q.get());
}

// Sets one half of the key pair once the parameters are known and the number fits them.
int32_t SetKey(CSP_HANDLE ctx, const void* bytes, uint32_t size, BnPtr SignCtx::*key,
               bool (*valid)(const Gost3410Params&, const BIGNUM*)) {
    return Guard([&] {
        SignCtx* c = SignTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        if (!c->Params)
            return CSP_E_STATE;
        BnPtr v = ReadNumber(*c, bytes, size);
        if (!v)
            return CSP_E_BAD_ARGUMENT;
        if (!valid(*c->Params, v.get()))
            return CSP_E_BAD_KEY;
        c->*key = std::move(v);
        return CSP_OK;
    });
}

}  // namespace

extern "C" {

int32_t CSPG3410CreateCtx(CSP_HANDLE* ctx) {
    return Guard([&] {
        if (!ctx)
            return CSP_E_BAD_ARGUMENT;
        *ctx = SignTable().Add(std::make_unique<SignCtx>());
        return CSP_OK;
    });
}

int32_t CSPG3410DestroyCtx(CSP_HANDLE ctx) {
    return Guard([&] { return SignTable().Remove(ctx) ? CSP_OK : CSP_E_BAD_HANDLE; });
}

int32_t CSPG3410SetDefaultByteOrder(CSP_HANDLE ctx, int32_t order) {
    return Guard([&] {
        SignCtx* c = SignTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        if (order != CSP_BYTE_ORDER_LITTLE && order != CSP_BYTE_ORDER_BIG)
            return CSP_E_BAD_ARGUMENT;
        c->ByteOrder = order;
        return CSP_OK;
    });
}

int32_t CSPG3410GenerateParameters(CSP_HANDLE ctx, int32_t bits) {
    return Guard([&] {
        SignCtx* c = SignTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        // A 512-bit field no longer protects a signing key: both sizes give 1024 bits.
        if (bits != 512 && bits != 1024)
            return CSP_E_BAD_ARGUMENT;
        c->Params = GostGenerateParams();
        c->X.reset();
        c->Y.reset();
        return CSP_OK;
    });
}

int32_t CSPG3410GenerateXY(CSP_HANDLE ctx) {
    return Guard([&] {
        SignCtx* c = SignTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        if (!c->Params)
            return CSP_E_STATE;
        c->X = Gost3410RandomPrivate(*c->Params);
        c->Y = Gost3410PublicFromPrivate(*c->Params, c->X.get());
        return CSP_OK;
    });
}

int32_t CSPG3410GetKeyP(CSP_HANDLE ctx, void* buffer, uint32_t* size) {
    return GetNumber(ctx, buffer, size, PickP);
}
int32_t CSPG3410GetKeyQ(CSP_HANDLE ctx, void* buffer, uint32_t* size) {
    return GetNumber(ctx, buffer, size, PickQ);
}
int32_t CSPG3410GetKeyA(CSP_HANDLE ctx, void* buffer, uint32_t* size) {
    return GetNumber(ctx, buffer, size, PickA);
}
int32_t CSPG3410GetKeyX(CSP_HANDLE ctx, void* buffer, uint32_t* size) {
    return GetNumber(ctx, buffer, size, PickX);
}
int32_t CSPG3410GetKeyY(CSP_HANDLE ctx, void* buffer, uint32_t* size) {
    return GetNumber(ctx, buffer, size, PickY);
}

int32_t CSPG3410SetParameters(CSP_HANDLE ctx, const void* p, uint32_t pSize, const void* q,
                              uint32_t qSize, const void* a, uint32_t aSize) {
    return Guard([&] {
        SignCtx* c = SignTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        BnPtr bp = ReadNumber(*c, p, pSize), bq = ReadNumber(*c, q, qSize),
              ba = ReadNumber(*c, a, aSize);
        if (!bp || !bq || !ba)
            return CSP_E_BAD_ARGUMENT;
        if (!Gost3410ParamsValid(bp.get(), bq.get(), ba.get()))
            return CSP_E_BAD_PARAMETERS;
        c->Params = Gost3410Params{std::move(bp), std::move(bq), std::move(ba)};
        c->X.reset();
        c->Y.reset();
        return CSP_OK;
    });
}

int32_t CSPG3410SetKeyX(CSP_HANDLE ctx, const void* x, uint32_t size) {
    return SetKey(ctx, x, size, &SignCtx::X, &Gost3410PrivateValid);
}

int32_t CSPG3410SetKeyY(CSP_HANDLE ctx, const void* y, uint32_t size) {
    return SetKey(ctx, y, size, &SignCtx::Y, &Gost3410PublicValid);
}

int32_t CSPG3410Sign(CSP_HANDLE ctx, CSP_HANDLE hashCtx, void* signature64, int32_t flags) {
    return Guard([&] {
        SignCtx* c = SignTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        if (!signature64 || flags != 0)
            return CSP_E_BAD_ARGUMENT;
        if (!c->Params || !c->X)
            return CSP_E_STATE;
        std::int32_t status = CSP_OK;
        BnPtr h = HashValue(*c, hashCtx, status);
        if (!h)
            return status;
        Gost3410Signature sig = Gost3410Sign(*c->Params, c->X.get(), h.get());
        auto* out = static_cast<unsigned char*>(signature64);
        WriteFixed(*c, sig.r.get(), out, kHalf);
        WriteFixed(*c, sig.s.get(), out + kHalf, kHalf);
        return CSP_OK;
    });
}

int32_t CSPG3410VerifySign(CSP_HANDLE ctx, CSP_HANDLE hashCtx, const void* signature64) {
    return Guard([&] {
        SignCtx* c = SignTable().Find(ctx);
        if (!c)
            return CSP_E_BAD_HANDLE;
        if (!signature64)
            return CSP_E_BAD_ARGUMENT;
        if (!c->Params || !c->Y)
            return CSP_E_STATE;
        std::int32_t status = CSP_OK;
        BnPtr h = HashValue(*c, hashCtx, status);
        if (!h)
            return status;
        auto* in = static_cast<const unsigned char*>(signature64);
        BnPtr r = ReadNumber(*c, in, kHalf), s = ReadNumber(*c, in + kHalf, kHalf);
        bool valid = Gost3410Verify(*c->Params, c->Y.get(), h.get(), r.get(), s.get());
        return valid ? CSP_OK : CSP_E_SIGNATURE_MISMATCH;
    });
}

}  // extern "C"
