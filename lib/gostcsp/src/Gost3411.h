#pragma once
// GOST R 34.11-94 hash. The digest is given as bytes in memory order (byte 0 is the least
// significant byte of the standard's number form), as OpenSSL's tools print it.

#include <array>
#include <cstddef>
#include <cstdint>

#include "Gost28147.h"

namespace gostcsp {

class Gost3411 {
public:
    using Block = std::array<std::uint8_t, 32>;

    explicit Gost3411(const SBox& sbox = kSBoxHashCryptoPro);
    ~Gost3411();
    void Begin();
    void Update(const std::uint8_t* data, std::size_t size);
    /// Completes the hash. An empty message is hashed as one zero block, so that the result
    /// matches OpenSSL's GOST provider and a literal reading of the standard.
    Block Final();

private:
    void Step(const Block& m);  // H = chi(M, H)
    void AddToSum(const Block& m);

    Gost28147 FCipher;
    Block FHash{}, FSum{}, FBuffer{};
    std::size_t FBuffered = 0;
    std::uint64_t FBytes = 0;
};

}  // namespace gostcsp
