#pragma once
// GOST 28147-89 block cipher: the 32-round block function, the 16-round MAC function, and the
// two streaming modes the provider offers (gamma with feedback, and the MAC over plaintext).
// Keys and blocks are read as little-endian 32-bit words, as the standard's reference tools do.

#include <array>
#include <cstddef>
#include <cstdint>

namespace gostcsp {

/// Eight rows of sixteen nibbles; row 0 (K1) substitutes the least significant nibble.
using SBox = std::array<std::array<std::uint8_t, 16>, 8>;

extern const SBox kSBoxCryptoProA;     // id-Gost28147-89-CryptoPro-A-ParamSet
extern const SBox kSBoxHashCryptoPro;  // id-GostR3411-94-CryptoProParamSet
extern const SBox kSBoxHashTest;       // id-GostR3411-94-TestParamSet

class Gost28147 {
public:
    explicit Gost28147(const SBox& sbox);
    ~Gost28147();
    Gost28147(const Gost28147&) = default;
    Gost28147& operator=(const Gost28147&) = default;

    void SetKey(const std::uint8_t key[32]);
    void EncryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const;
    void DecryptBlock(const std::uint8_t in[8], std::uint8_t out[8]) const;
    /// The 16-round transformation of the MAC, in place on (n1, n2).
    void MacRounds(std::uint32_t& n1, std::uint32_t& n2) const;

private:
    std::uint32_t F(std::uint32_t x) const;
    void Block(const std::uint8_t in[8], std::uint8_t out[8], const std::uint8_t* order) const;

    std::array<std::array<std::uint32_t, 256>, 4> FTable;  // S-box and rotation, per input byte
    std::array<std::uint32_t, 8> FKey{};
};

/// Gamma with feedback (CFB, 64-bit feedback); any split of the data over calls gives the
/// same result as one call.
class Gost28147Cfb {
public:
    Gost28147Cfb(const Gost28147& cipher, const std::uint8_t iv[8], bool encrypt);
    ~Gost28147Cfb();
    void Process(std::uint8_t* data, std::size_t size);

private:
    const Gost28147& FCipher;
    std::uint8_t FFeedback[8];
    std::uint8_t FGamma[8];
    std::size_t FPos = 8;
    bool FEncrypt;
};

/// The MAC ("imitovstavka") over any number of bytes, 8 bytes long (N1 then N2).
/// The last partial block is padded with zeros; a single block gets a zero block after it;
/// no data gives a MAC of zeros.
class Gost28147Mac {
public:
    explicit Gost28147Mac(const Gost28147& cipher) : FCipher(cipher) {}
    ~Gost28147Mac();
    void Update(const std::uint8_t* data, std::size_t size);
    /// The MAC of everything so far; further updates continue from the same state.
    std::array<std::uint8_t, 8> Get() const;

private:
    void Absorb(const std::uint8_t block[8], std::uint32_t& n1, std::uint32_t& n2) const;

    const Gost28147& FCipher;
    std::uint32_t FN1 = 0, FN2 = 0;
    std::uint8_t FBuffer[8]{};
    std::size_t FBuffered = 0;
    std::uint64_t FBlocks = 0;
};

}  // namespace gostcsp
