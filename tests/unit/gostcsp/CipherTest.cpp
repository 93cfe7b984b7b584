// GOST 28147-89: block vectors, the MAC, gamma with feedback, and the cipher entry points.
#include <gtest/gtest.h>

#include "Gost28147.h"
#include "gost/GostProv.h"
#include "gostcsp.h"

using namespace gosttest;
using namespace gostcsp;

namespace {

Bytes Ecb(const SBox& sbox, const Bytes& key, const Bytes& block, bool encrypt = true) {
    Gost28147 c(sbox);
    c.SetKey(key.data());
    Bytes out(8);
    if (encrypt)
        c.EncryptBlock(block.data(), out.data());
    else
        c.DecryptBlock(block.data(), out.data());
    return out;
}

Bytes Mac(const SBox& sbox, const Bytes& key, const Bytes& msg) {
    Gost28147 c(sbox);
    c.SetKey(key.data());
    Gost28147Mac mac(c);
    mac.Update(msg.data(), msg.size());
    auto m = mac.Get();
    return Bytes(m.begin(), m.end());
}

// Runs data through a provider cipher context; returns the processed bytes and the MAC.
std::pair<Bytes, Bytes> ProviderRun(int mode, const Bytes& key, Bytes data, std::size_t split = 0) {
    CSP_HANDLE ctx = 0;
    EXPECT_EQ(CSPG28147CreateCtx(&ctx, mode, 0, key.data()), CSP_OK);
    if (split == 0)
        split = data.size() + 1;
    for (std::size_t i = 0; i < data.size(); i += split)
        EXPECT_EQ(
            CSPG28147ProcessData(ctx, data.data() + i, uint32_t(std::min(split, data.size() - i))),
            CSP_OK);
    Bytes imit(8);
    EXPECT_EQ(CSPG28147GetImit(ctx, imit.data(), 0), CSP_OK);
    EXPECT_EQ(CSPG28147DestroyCtx(ctx), CSP_OK);
    return {data, imit};
}

}  // namespace

TEST(Gost28147, BlockVectors) {
    struct Case {
        const SBox* sbox;
        const char *key, *plain, *cipher;
    };
    const std::string k = ToHex(Key00to1f()), zero32(64, '0');
    const Case cases[] = {
        // Inner steps of the hash example: the test hash S-box with its derived keys.
        {&kSBoxHashTest, "546d203368656c326973652073736e62206167796967747473656865202c3d73",
         "0000000000000000", "1b0bbc32cebcab42"},
        {&kSBoxHashTest, "2033394d6c320d0965201a166e62001d6779410674740e136865160d3d730c11",
         "0000000000000000", "fdcf9b5dc8eb0352"},
        {&kSBoxHashTest, "39b213f5f209a13f1ae9ba3aff1d0c6241f9e1c7f113008516f20d73f311b180",
         "0000000000000000", "280eff009958348d"},
        {&kSBoxHashTest, "ec0a8ba15ec004a8bac50cac0c621deee1c7b8e7007ae2ecf2731bff4e80e2a0",
         "0000000000000000", "2d562a0d190486e7"},
        {&kSBoxCryptoProA, k.c_str(), "0102030405060708", "27ca957f6426a1e4"},
        {&kSBoxCryptoProA, zero32.c_str(), "0000000000000000", "974e67fed9c17d6b"},
        {&kSBoxHashTest, k.c_str(), "0102030405060708", "1be96489dc528c43"},
        {&kSBoxHashTest, zero32.c_str(), "0000000000000000", "c9fdc2a6e20b6112"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cipher);
        EXPECT_EQ(ToHex(Ecb(*c.sbox, FromHex(c.key), FromHex(c.plain))), c.cipher);
        EXPECT_EQ(ToHex(Ecb(*c.sbox, FromHex(c.key), FromHex(c.cipher), false)), c.plain);
    }
}

TEST(Gost28147, MacVectors) {
    const Bytes key = Key00to1f();
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(ToHex(Mac(kSBoxCryptoProA, key, Ascii(fox))), "3362645eaee46b98");
    EXPECT_EQ(ToHex(Mac(kSBoxCryptoProA, key, Ascii("a"))), "8070422656157150");
    EXPECT_EQ(ToHex(Mac(kSBoxCryptoProA, key, Bytes(8))),
              "160a760eeb1fb8be");  // one block: zero block added
    EXPECT_EQ(ToHex(Mac(kSBoxCryptoProA, key, Bytes(16))), "160a760eeb1fb8be");
    EXPECT_EQ(ToHex(Mac(kSBoxCryptoProA, key, Bytes())), "0000000000000000");
    EXPECT_EQ(ToHex(Mac(kSBoxHashTest, key, Ascii(fox))), "8e9ca4b2dd23a3e6");
}

TEST(Gost28147, MacAndCfbAgreeWithGostprov) {
    GostProv prov;
    ASSERT_TRUE(prov.Loaded()) << GostProv::kMissing;
    const Bytes key = Key00to1f(), zeroIv(8);
    for (const Bytes& m : SampleMessages()) {
        SCOPED_TRACE(m.size());
        EXPECT_EQ(ToHex(Mac(kSBoxCryptoProA, key, m)), ToHex(prov.Mac8(key, m)));
        auto [cipher, imit] = ProviderRun(CSP_G28147_ENCRYPT, key, m);
        EXPECT_EQ(ToHex(cipher), ToHex(prov.Cfb(key, zeroIv, m, true)));
        EXPECT_EQ(ToHex(imit), ToHex(prov.Mac8(key, m)));
    }
}

TEST(Gost28147, CfbVectorWithInitialVector) {
    Gost28147 c(kSBoxCryptoProA);
    c.SetKey(Key00to1f().data());
    const Bytes iv = FromHex("0102030405060708");
    Bytes data = Ascii("The quick brown fox jumps over the lazy dog");
    Gost28147Cfb(c, iv.data(), true).Process(data.data(), data.size());
    EXPECT_EQ(
        ToHex(data),
        "73a2f05f1553c887a8b5fd4d3c9fade06b0e5c403e6985a4f2d38df736123c7c0d14f1056c0e5a0351a34c");
    Gost28147Cfb(c, iv.data(), false).Process(data.data(), data.size());
    EXPECT_EQ(data, Ascii("The quick brown fox jumps over the lazy dog"));
}

TEST(Gost28147, DecipheringGivesThePlaintextAndTheSameMac) {
    const Bytes key = Key00to1f();
    Bytes plain(520);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = std::uint8_t(i * 7);
    auto [cipher, macEnc] = ProviderRun(CSP_G28147_ENCRYPT, key, plain);
    EXPECT_NE(cipher, plain);
    for (std::size_t split :
         {std::size_t(0), std::size_t(1), std::size_t(5), std::size_t(8), std::size_t(13)}) {
        SCOPED_TRACE(split);
        auto [back, macDec] = ProviderRun(CSP_G28147_DECRYPT, key, cipher, split);
        EXPECT_EQ(back, plain);
        EXPECT_EQ(macDec, macEnc);
    }
    Bytes otherKey = key;
    otherKey[31] ^= 1;
    auto [garbled, macWrong] = ProviderRun(CSP_G28147_DECRYPT, otherKey, cipher);
    EXPECT_NE(garbled, plain);
    EXPECT_NE(macWrong, macEnc);
}

TEST(Gost28147, EntryPointsRefuseBadArguments) {
    const Bytes key = Key00to1f();
    CSP_HANDLE ctx = 0;
    EXPECT_EQ(CSPG28147CreateCtx(&ctx, 263, 0, key.data()), CSP_E_BAD_ARGUMENT);
    EXPECT_EQ(CSPG28147CreateCtx(&ctx, CSP_G28147_ENCRYPT, 1, key.data()), CSP_E_BAD_ARGUMENT);
    EXPECT_EQ(CSPG28147CreateCtx(&ctx, CSP_G28147_ENCRYPT, 0, nullptr), CSP_E_BAD_ARGUMENT);
    ASSERT_EQ(CSPG28147CreateCtx(&ctx, CSP_G28147_ENCRYPT, 0, key.data()), CSP_OK);
    std::uint8_t imit[8];
    EXPECT_EQ(CSPG28147GetImit(ctx, imit, 1), CSP_E_BAD_ARGUMENT);
    EXPECT_EQ(CSPG28147ProcessData(ctx, nullptr, 8), CSP_E_BAD_ARGUMENT);
    EXPECT_EQ(CSPG28147DestroyCtx(ctx), CSP_OK);
    EXPECT_EQ(CSPG28147ProcessData(ctx, imit, 8), CSP_E_BAD_HANDLE);
    EXPECT_EQ(CSPG28147DestroyCtx(ctx), CSP_E_BAD_HANDLE);
}
