#include "Gost3410.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <string>

namespace gostcsp {

namespace {

bool Between(const BIGNUM* low, const BIGNUM* v, const BIGNUM* high) {
    return BN_cmp(low, v) < 0 && BN_cmp(v, high) < 0;
}

bool IsPrime(const BIGNUM* v, BN_CTX* ctx) {
    return BN_check_prime(v, ctx, nullptr) == 1;
}

// 2^(bits-1) < v < 2^bits; "above 2^(bits-1)" is exact since 2^(bits-1) itself is not prime.
bool FieldSize(const BIGNUM* p) {
    int bits = BN_num_bits(p);
    return (bits >= 510 && bits <= 512) || (bits >= 1021 && bits <= 1024);
}

BnPtr ModExp(const BIGNUM* base, const BIGNUM* e, const BIGNUM* m, BN_CTX* ctx, bool secret) {
    BnPtr r = BnNew();
    if (secret)
        BnCheck(BN_mod_exp_mont_consttime(r.get(), base, e, m, ctx, nullptr));
    else
        BnCheck(BN_mod_exp(r.get(), base, e, m, ctx));
    return r;
}

// The parameter sets proven valid lately. Every signature and key check passes its set in
// again, and the primality test of a 1024-bit p costs far more than the signature itself.
class TValidatedSets {
public:
    static std::string Key(const BIGNUM* p, const BIGNUM* q, const BIGNUM* a) {
        std::string key;
        for (const BIGNUM* v : {p, q, a}) {
            std::string bytes(std::size_t(BN_num_bytes(v)), '\0');
            BN_bn2bin(v, reinterpret_cast<unsigned char*>(bytes.data()));
            key += std::to_string(bytes.size()) + ':' + bytes;
        }
        return key;
    }
    bool Contains(const std::string& key) {
        std::lock_guard lock(FMutex);
        return std::find(FSets.begin(), FSets.end(), key) != FSets.end();
    }
    void Add(std::string key) {
        std::lock_guard lock(FMutex);
        if (FSets.size() == 8)
            FSets.pop_front();
        FSets.push_back(std::move(key));
    }

private:
    std::mutex FMutex;
    std::deque<std::string> FSets;
};

TValidatedSets& ValidatedSets() {
    static TValidatedSets sets;
    return sets;
}

bool CheckParams(const BIGNUM* p, const BIGNUM* q, const BIGNUM* a);

}  // namespace

bool Gost3410ParamsValid(const BIGNUM* p, const BIGNUM* q, const BIGNUM* a) {
    if (BN_is_negative(p) || BN_is_negative(q) || BN_is_negative(a))
        return false;
    std::string key = TValidatedSets::Key(p, q, a);
    if (ValidatedSets().Contains(key))
        return true;
    if (!CheckParams(p, q, a))
        return false;
    ValidatedSets().Add(std::move(key));
    return true;
}

namespace {

bool CheckParams(const BIGNUM* p, const BIGNUM* q, const BIGNUM* a) {
    int qbits = BN_num_bits(q);
    if (!FieldSize(p) || qbits < 255 || qbits > 256 || BN_is_negative(a))
        return false;
    BnCtxPtr ctx = BnCtxNew();
    BnPtr pm1 = BnDup(p), one = BnWord(1), rem = BnNew();
    BnCheck(BN_sub_word(pm1.get(), 1));
    BnCheck(BN_mod(rem.get(), pm1.get(), q, ctx.get()));
    if (!BN_is_zero(rem.get()) || !Between(one.get(), a, pm1.get()))
        return false;
    if (!BN_is_one(ModExp(a, q, p, ctx.get(), false).get()))
        return false;
    return IsPrime(q, ctx.get()) && IsPrime(p, ctx.get());
}

}  // namespace

bool Gost3410PrivateValid(const Gost3410Params& params, const BIGNUM* x) {
    BnPtr zero = BnWord(0);
    return Between(zero.get(), x, params.q.get());
}

bool Gost3410PublicValid(const Gost3410Params& params, const BIGNUM* y) {
    BnCtxPtr ctx = BnCtxNew();
    BnPtr one = BnWord(1), pm1 = BnDup(params.p.get());
    BnCheck(BN_sub_word(pm1.get(), 1));
    if (!Between(one.get(), y, pm1.get()))
        return false;
    return BN_is_one(ModExp(y, params.q.get(), params.p.get(), ctx.get(), false).get());
}

BnPtr Gost3410RandomPrivate(const Gost3410Params& params) {
    BnPtr x = BnNew();
    do {
        BnCheck(BN_priv_rand_range(x.get(), params.q.get()));
    } while (BN_is_zero(x.get()));
    return x;
}

BnPtr Gost3410PublicFromPrivate(const Gost3410Params& params, const BIGNUM* x) {
    BnCtxPtr ctx = BnCtxNew();
    return ModExp(params.a.get(), x, params.p.get(), ctx.get(), true);
}

BnPtr Gost3410HashValue(const std::array<std::uint8_t, 32>& digest, const BIGNUM* q) {
    BnPtr h(BN_lebin2bn(digest.data(), 32, nullptr));
    if (!h)
        throw BnFailure();
    BnCtxPtr ctx = BnCtxNew();
    BnCheck(BN_nnmod(h.get(), h.get(), q, ctx.get()));
    if (BN_is_zero(h.get()))
        BnCheck(BN_one(h.get()));
    return h;
}

Gost3410Signature Gost3410Sign(const Gost3410Params& params, const BIGNUM* x, const BIGNUM* h,
                               const BIGNUM* fixedK) {
    const BIGNUM* q = params.q.get();
    BnCtxPtr ctx = BnCtxNew();
    Gost3410Signature sig{BnNew(), BnNew()};
    BnPtr k = BnNew(), xr = BnNew(), kh = BnNew();
    for (;;) {
        if (fixedK)
            BnCheck(BN_copy(k.get(), fixedK) != nullptr);
        else
            do {
                BnCheck(BN_priv_rand_range(k.get(), q));
            } while (BN_is_zero(k.get()));
        BnPtr ak = ModExp(params.a.get(), k.get(), params.p.get(), ctx.get(), true);
        BnCheck(BN_nnmod(sig.r.get(), ak.get(), q, ctx.get()));
        BnCheck(BN_mod_mul(xr.get(), x, sig.r.get(), q, ctx.get()));
        BnCheck(BN_mod_mul(kh.get(), k.get(), h, q, ctx.get()));
        BnCheck(BN_mod_add(sig.s.get(), xr.get(), kh.get(), q, ctx.get()));
        if (!BN_is_zero(sig.r.get()) && !BN_is_zero(sig.s.get()))
            return sig;
        if (fixedK)
            throw BnFailure();  // a fixed k that gives r or s of zero is unusable
    }
}

bool Gost3410Verify(const Gost3410Params& params, const BIGNUM* y, const BIGNUM* h, const BIGNUM* r,
                    const BIGNUM* s) {
    const BIGNUM *p = params.p.get(), *q = params.q.get();
    BnPtr zero = BnWord(0);
    if (!Between(zero.get(), r, q) || !Between(zero.get(), s, q))
        return false;
    BnCtxPtr ctx = BnCtxNew();
    BnPtr v = BnNew(), z1 = BnNew(), z2 = BnNew(), qr = BnNew(), u = BnNew();
    BnCheck(BN_mod_inverse(v.get(), h, q, ctx.get()) != nullptr);
    BnCheck(BN_mod_mul(z1.get(), s, v.get(), q, ctx.get()));
    BnCheck(BN_sub(qr.get(), q, r));
    BnCheck(BN_mod_mul(z2.get(), qr.get(), v.get(), q, ctx.get()));
    BnCheck(
        BN_mod_exp2_mont(u.get(), params.a.get(), z1.get(), y, z2.get(), p, ctx.get(), nullptr));
    BnCheck(BN_nnmod(u.get(), u.get(), q, ctx.get()));
    return BN_cmp(u.get(), r) == 0;
}

}  // namespace gostcsp
