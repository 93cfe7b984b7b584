#include "GostParams.h"

#include <openssl/rand.h>

#include <vector>

namespace gostcsp {

GostSequence::GostSequence(unsigned wordBits, std::uint32_t x0, std::uint32_t c)
    : FBits(wordBits), FY(x0), FC(c) {}

std::uint32_t GostSequence::Next() {
    std::uint32_t current = FY;
    if (FBits == 16)
        FY = std::uint32_t((19381u * FY + FC) & 0xFFFFu);
    else
        FY = 97781173u * FY + FC;  // wraps mod 2^32
    return current;
}

namespace {

// Y = sum of the next `words` values, the first one lowest.
BnPtr SequenceNumber(GostSequence& seq, unsigned words) {
    BnPtr y = BnWord(0);
    for (unsigned i = 0; i < words; ++i) {
        BnPtr w = BnWord(seq.Next());
        BnCheck(BN_lshift(w.get(), w.get(), int(i * seq.WordBits())));
        BnCheck(BN_add(y.get(), y.get(), w.get()));
    }
    return y;
}

BnPtr PowerOfTwo(int bits) {
    BnPtr v = BnWord(0);
    BnCheck(BN_set_bit(v.get(), bits));
    return v;
}

// ceil(a / b)
BnPtr CeilDiv(const BIGNUM* a, const BIGNUM* b, BN_CTX* ctx) {
    BnPtr d = BnNew(), r = BnNew();
    BnCheck(BN_div(d.get(), r.get(), a, b, ctx));
    if (!BN_is_zero(r.get()))
        BnCheck(BN_add_word(d.get(), 1));
    return d;
}

// N = ceil(2^(t-1) / f) + ceil(2^(t-1) * Y / (f * 2^(w*r))), made even.
BnPtr StartingN(const BIGNUM* f, const BIGNUM* y, int t, int yBits, BN_CTX* ctx) {
    BnPtr top = PowerOfTwo(t - 1), num = BnNew(), den = BnNew();
    BnPtr n = CeilDiv(top.get(), f, ctx);
    BnCheck(BN_mul(num.get(), top.get(), y, ctx));
    BnCheck(BN_lshift(den.get(), f, yBits));
    BnPtr second = CeilDiv(num.get(), den.get(), ctx);
    BnCheck(BN_add(n.get(), n.get(), second.get()));
    if (BN_is_odd(n.get()))
        BnCheck(BN_add_word(n.get(), 1));
    return n;
}

// Cheap sieve before the exponentiations; it never rejects a prime above these bounds.
bool HasSmallFactor(const BIGNUM* v) {
    static const BN_ULONG kPrimes[] = {3,   5,   7,   11,  13,  17,  19,  23,  29,  31,
                                       37,  41,  43,  47,  53,  59,  61,  67,  71,  73,
                                       79,  83,  89,  97,  101, 103, 107, 109, 113, 127,
                                       131, 137, 139, 149, 151, 157, 163, 167, 173};
    for (BN_ULONG prime : kPrimes)
        if (BN_mod_word(v, prime) == 0)
            return true;
    return false;
}

// 2^(f*m) = 1 (mod c) and 2^(g*m) != 1 (mod c), with c = f*m + 1 and g a divisor part of f.
bool PassesTest(const BIGNUM* c, const BIGNUM* fm, const BIGNUM* gm, BN_CTX* ctx) {
    if (HasSmallFactor(c))
        return false;
    BnPtr two = BnWord(2), r = BnNew();
    BnCheck(BN_mod_exp(r.get(), two.get(), fm, c, ctx));
    if (!BN_is_one(r.get()))
        return false;
    BnCheck(BN_mod_exp(r.get(), two.get(), gm, c, ctx));
    return !BN_is_one(r.get());
}

// Finds c = f*(N+k) + 1 of t bits, k = 0, 2, 4, ...; g*(N+k) is the second test exponent.
BnPtr FindPrime(const BIGNUM* f, const BIGNUM* g, int t, GostSequence& seq, BN_CTX* ctx) {
    const unsigned w = seq.WordBits();
    const unsigned words = (unsigned(t) + w - 1) / w;
    BnPtr limit = PowerOfTwo(t), c = BnNew(), fm = BnNew(), gm = BnNew();
    for (;;) {
        BnPtr y = SequenceNumber(seq, words);
        BnPtr n = StartingN(f, y.get(), t, int(words * w), ctx);
        for (;; BnCheck(BN_add_word(n.get(), 2))) {
            BnCheck(BN_mul(fm.get(), f, n.get(), ctx));
            BnCheck(BN_add(c.get(), fm.get(), BN_value_one()));
            if (BN_cmp(c.get(), limit.get()) > 0)
                break;  // too big: new Y
            BnCheck(BN_mul(gm.get(), g, n.get(), ctx));
            if (PassesTest(c.get(), fm.get(), gm.get(), ctx))
                return BnDup(c.get());
        }
    }
}

// Smallest prime of the given number of bits.
BnPtr SmallestPrime(int bits, BN_CTX* ctx) {
    BnPtr v = PowerOfTwo(bits - 1);
    BnCheck(BN_add_word(v.get(), 1));
    while (BN_check_prime(v.get(), ctx, nullptr) != 1) BnCheck(BN_add_word(v.get(), 2));
    return v;
}

}  // namespace

GostPrimePair GostProcedureA(unsigned t, GostSequence& seq) {
    BnCtxPtr ctx = BnCtxNew();
    std::vector<int> sizes{int(t)};
    const int stop = int(seq.WordBits()) + 1;
    while (sizes.back() >= stop) sizes.push_back(sizes.back() / 2);
    BnPtr prev = SmallestPrime(sizes.back(), ctx.get());
    BnPtr one = BnWord(1);
    for (int m = int(sizes.size()) - 2; m >= 0; --m) {
        BnPtr next = FindPrime(prev.get(), one.get(), sizes[m], seq, ctx.get());
        if (m == 0)
            return {std::move(next), std::move(prev)};
        prev = std::move(next);
    }
    throw BnFailure();  // t below the word size: no chain to walk
}

GostPrimePair GostProcedureB(GostSequence& seq) {
    BnCtxPtr ctx = BnCtxNew();
    GostPrimePair q = GostProcedureA(256, seq);
    GostPrimePair big = GostProcedureA(512, seq);
    BnPtr qQ = BnNew();
    BnCheck(BN_mul(qQ.get(), q.p.get(), big.p.get(), ctx.get()));
    BnPtr p = FindPrime(qQ.get(), q.p.get(), 1024, seq, ctx.get());
    return {std::move(p), std::move(q.p)};
}

BnPtr GostProcedureC(const BIGNUM* p, const BIGNUM* q, const BIGNUM* d) {
    BnCtxPtr ctx = BnCtxNew();
    BnPtr e = BnDup(p), a = BnNew();
    BnCheck(BN_sub_word(e.get(), 1));
    BnCheck(BN_div(e.get(), nullptr, e.get(), q, ctx.get()));
    BnCheck(BN_mod_exp(a.get(), d, e.get(), p, ctx.get()));
    if (BN_is_one(a.get()))
        return nullptr;
    return a;
}

namespace {

std::uint32_t RandomWord() {
    std::uint32_t v = 0;
    BnCheck(RAND_bytes(reinterpret_cast<unsigned char*>(&v), sizeof v));
    return v;
}

}  // namespace

Gost3410Params GostGenerateParams() {
    std::uint32_t x0 = 0;
    while (x0 == 0) x0 = RandomWord();
    GostSequence seq(32, x0, RandomWord() | 1u);
    GostPrimePair pq = GostProcedureB(seq);
    BnPtr pm2 = BnDup(pq.p.get()), d = BnNew();
    BnCheck(BN_sub_word(pm2.get(), 3));
    for (;;) {
        BnCheck(BN_rand_range(d.get(), pm2.get()));
        BnCheck(BN_add_word(d.get(), 2));  // 1 < d < p - 1
        if (BnPtr a = GostProcedureC(pq.p.get(), pq.q.get(), d.get()))
            return {std::move(pq.p), std::move(pq.q), std::move(a)};
    }
}

}  // namespace gostcsp
