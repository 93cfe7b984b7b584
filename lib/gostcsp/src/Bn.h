#pragma once
// Owning handles for OpenSSL's big numbers. Every number is cleared when freed: some of them
// are private keys or per-signature secrets.

#include <openssl/bn.h>

#include <memory>
#include <stdexcept>

namespace gostcsp {

struct BnFree {
    void operator()(BIGNUM* p) const noexcept { BN_clear_free(p); }
};
struct BnCtxFree {
    void operator()(BN_CTX* p) const noexcept { BN_CTX_free(p); }
};
using BnPtr = std::unique_ptr<BIGNUM, BnFree>;
using BnCtxPtr = std::unique_ptr<BN_CTX, BnCtxFree>;

/// Out of memory or another failure of the big-number library.
struct BnFailure : std::runtime_error {
    BnFailure() : std::runtime_error("big-number operation failed") {}
};

inline void BnCheck(int ok) {
    if (!ok)
        throw BnFailure();
}

inline BnPtr BnNew() {
    BnPtr p(BN_new());
    if (!p)
        throw BnFailure();
    return p;
}

inline BnPtr BnDup(const BIGNUM* v) {
    BnPtr p(BN_dup(v));
    if (!p)
        throw BnFailure();
    return p;
}

inline BnPtr BnWord(BN_ULONG w) {
    BnPtr p = BnNew();
    BnCheck(BN_set_word(p.get(), w));
    return p;
}

inline BnCtxPtr BnCtxNew() {
    BnCtxPtr p(BN_CTX_new());
    if (!p)
        throw BnFailure();
    return p;
}

}  // namespace gostcsp
