#include "Gost3411.h"

#include <openssl/crypto.h>

#include <cstring>

namespace gostcsp {

namespace {

using Block = Gost3411::Block;

// A(y4|y3|y2|y1) = (y1^y2)|y4|y3|y2, with y1 in bytes 0..7.
Block A(const Block& y) {
    Block r;
    std::memcpy(r.data(), y.data() + 8, 24);
    for (int i = 0; i < 8; ++i) r[24 + i] = y[i] ^ y[8 + i];
    return r;
}

// Output byte i + 4k takes input byte 8i + k.
Block P(const Block& y) {
    Block r;
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 8; ++k) r[i + 4 * k] = y[8 * i + k];
    return r;
}

// Shifts the sixteen 16-bit words down by one and puts the feedback word on top.
void Psi(Block& y) {
    std::uint8_t lo = y[0] ^ y[2] ^ y[4] ^ y[6] ^ y[24] ^ y[30];
    std::uint8_t hi = y[1] ^ y[3] ^ y[5] ^ y[7] ^ y[25] ^ y[31];
    std::memmove(y.data(), y.data() + 2, 30);
    y[30] = lo;
    y[31] = hi;
}

Block Xor(const Block& a, const Block& b) {
    Block r;
    for (int i = 0; i < 32; ++i) r[i] = a[i] ^ b[i];
    return r;
}

// C3 as bytes (the standard prints it as a number, most significant digit first).
constexpr Block kC3 = {0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0xFF,
                       0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0x00,
                       0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF};

}  // namespace

Gost3411::Gost3411(const SBox& sbox) : FCipher(sbox) {}

Gost3411::~Gost3411() {
    OPENSSL_cleanse(FHash.data(), 32);
    OPENSSL_cleanse(FSum.data(), 32);
    OPENSSL_cleanse(FBuffer.data(), 32);
}

void Gost3411::Begin() {
    FHash.fill(0);
    FSum.fill(0);
    FBuffer.fill(0);
    FBuffered = 0;
    FBytes = 0;
}

void Gost3411::Step(const Block& m) {
    Block u = FHash, v = m, s{};
    for (int j = 0; j < 4; ++j) {
        if (j > 0) {
            u = A(u);
            if (j == 2)
                u = Xor(u, kC3);
            v = A(A(v));
        }
        Block key = P(Xor(u, v));
        FCipher.SetKey(key.data());
        FCipher.EncryptBlock(FHash.data() + 8 * j, s.data() + 8 * j);
        OPENSSL_cleanse(key.data(), 32);
    }
    for (int i = 0; i < 12; ++i) Psi(s);
    Block t = Xor(m, s);
    Psi(t);
    t = Xor(FHash, t);
    for (int i = 0; i < 61; ++i) Psi(t);
    FHash = t;
}

void Gost3411::AddToSum(const Block& m) {
    unsigned carry = 0;
    for (int i = 0; i < 32; ++i) {
        carry += unsigned(FSum[i]) + m[i];
        FSum[i] = std::uint8_t(carry);
        carry >>= 8;
    }
}

void Gost3411::Update(const std::uint8_t* data, std::size_t size) {
    FBytes += size;
    for (std::size_t i = 0; i < size; ++i) {
        FBuffer[FBuffered++] = data[i];
        if (FBuffered == 32) {
            Step(FBuffer);
            AddToSum(FBuffer);
            FBuffered = 0;
        }
    }
}

Block Gost3411::Final() {
    if (FBuffered > 0 || FBytes == 0) {
        std::memset(FBuffer.data() + FBuffered, 0, 32 - FBuffered);
        Step(FBuffer);
        AddToSum(FBuffer);
    }
    Block length{};
    std::uint64_t bits = FBytes * 8;
    for (int i = 0; i < 8; ++i) length[i] = std::uint8_t(bits >> (8 * i));
    length[8] = std::uint8_t(FBytes >> 61);  // bits beyond 64
    Step(length);
    Step(FSum);
    Block digest = FHash;
    Begin();
    return digest;
}

}  // namespace gostcsp
