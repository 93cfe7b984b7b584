#pragma once
// GOST R 34.10-94 signature over a prime field: domain parameter and key checks, signing and
// verification. Hash values enter as GOST R 34.11-94 digest bytes, read as a little-endian
// number, as the standard's number notation prescribes.

#include <array>
#include <cstdint>

#include "Bn.h"

namespace gostcsp {

struct Gost3410Params {
    BnPtr p, q, a;
};

struct Gost3410Signature {
    BnPtr r, s;
};

/// p of 512 or 1024 bits (2^509 < p < 2^512 or 2^1020 < p < 2^1024), prime; q prime with
/// 2^254 < q < 2^256 dividing p - 1; 1 < a < p - 1 with a^q = 1 (mod p).
bool Gost3410ParamsValid(const BIGNUM* p, const BIGNUM* q, const BIGNUM* a);
/// 0 < x < q.
bool Gost3410PrivateValid(const Gost3410Params& params, const BIGNUM* x);
/// 1 < y < p - 1 and y^q = 1 (mod p).
bool Gost3410PublicValid(const Gost3410Params& params, const BIGNUM* y);

BnPtr Gost3410RandomPrivate(const Gost3410Params& params);
BnPtr Gost3410PublicFromPrivate(const Gost3410Params& params, const BIGNUM* x);

/// H: the digest as a little-endian number; H = 1 when H is 0 mod q.
BnPtr Gost3410HashValue(const std::array<std::uint8_t, 32>& digest, const BIGNUM* q);

/// Signs with a fresh random k (or the given k, for known-answer tests).
Gost3410Signature Gost3410Sign(const Gost3410Params& params, const BIGNUM* x, const BIGNUM* h,
                               const BIGNUM* fixedK = nullptr);
bool Gost3410Verify(const Gost3410Params& params, const BIGNUM* y, const BIGNUM* h, const BIGNUM* r,
                    const BIGNUM* s);

}  // namespace gostcsp
