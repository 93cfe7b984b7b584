#pragma once
// GOST R 34.10-94 domain parameter generation: procedures A/A' (p of t bits with a prime
// factor of t/2 bits), B/B' (1024-bit p with a 256-bit q) and C (the generator a).
// The unprimed procedures use the 16-bit generator, the primed ones the 32-bit one.

#include <cstdint>

#include "Gost3410.h"

namespace gostcsp {

/// The standard's linear congruential sequence that feeds the prime search.
class GostSequence {
public:
    /// wordBits 16 or 32; c must be odd.
    GostSequence(unsigned wordBits, std::uint32_t x0, std::uint32_t c);
    unsigned WordBits() const { return FBits; }
    /// The current value; the sequence then moves on.
    std::uint32_t Next();

private:
    unsigned FBits;
    std::uint32_t FY, FC;
};

struct GostPrimePair {
    BnPtr p, q;
};

/// Procedure A (16-bit sequence) or A' (32-bit): p of t bits and q of t/2 bits, q | p - 1.
GostPrimePair GostProcedureA(unsigned t, GostSequence& seq);
/// Procedure B or B': p of 1024 bits and q of 256 bits, continuing the given sequence.
GostPrimePair GostProcedureB(GostSequence& seq);
/// Procedure C: a = d^((p-1)/q) mod p for the given d; null when that gives 1.
BnPtr GostProcedureC(const BIGNUM* p, const BIGNUM* q, const BIGNUM* d);

/// Fresh 1024/256-bit parameters by procedures B' and C from random seeds.
Gost3410Params GostGenerateParams();

}  // namespace gostcsp
