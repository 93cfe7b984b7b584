// GOST R 34.11-94: published vectors, agreement with gostprov, and the provider's entry points.
#include <gtest/gtest.h>

#include "Gost3411.h"
#include "gost/GostProv.h"
#include "gostcsp.h"

using namespace gosttest;
using gostcsp::Gost3411;

namespace {

struct HashCase {
    std::string message;
    const char* cryptoPro;
    const char* test;
};

std::string Repeat(char c, std::size_t n) {
    return std::string(n, c);
}

const std::vector<HashCase>& Cases() {
    static const std::vector<HashCase> cases = {
        {"", "3f25bc1fbbce27ca10fb1958f319473ae7e17482c3b53ecf47a7e2de8aabe4c8",
         "891d358a84c6033cf17bac82d77bb5d6791695a08ffce3768d39fbcacf8b29bd"},
        {"a", "e74c52dd282183bf37af0079c9f78055715a103f17e3133ceff1aacf2f403011",
         "d42c539e367c66e9c88a801f6649349c21871b4344c6a573f849fdce62f314dd"},
        {"abc", "b285056dbf18d7392d7677369524dd14747459ed8143997e163b2986f92fd42c",
         "f3134348c44fb1b2a277729e2285ebb5cb5e0f29c975bc753b70497c06a4d51d"},
        {"message digest", "bc6041dd2aa401ebfa6e9886734174febdb4729aa972d60f549ac39b29721ba0",
         "ad4434ecb18f2c99b60cbe59ec3d2469582b65273f48de72db2fde16a4889a4d"},
        {Repeat('U', 32), "0199c2f5f36d08652e1be5aff230dddbac066b9d7ee9335ecd35061821031417",
         "7867a13b8975176671d327c8c9ac301845347bb27afdc486b64a8dc27df26c30"},
        {"This is message, length=32 bytes",
         "2cefc2f7b7bdc514e18ea57fa74ff357e7fa17d652c75f69cb1be7893ede48eb",
         "b1c466d37519b82e8319819ff32595e047a28cb6f83eff1c6916a815a637fffa"},
        {"Suppose the original message has length = 50 bytes",
         "c3730c5cbccacf915ac292676f21e8bd4ef75331d9405e5f1a61dc3130a65011",
         "471aba57a60a770d3a76130635c1fbea4ef14de51f78b4ae57dd893b62f55208"},
        {"The quick brown fox jumps over the lazy dog",
         "9004294a361a508c586fe53d1f1b02746765e71b765472786e4770d565830a76",
         "77b7fa410c9ac58a25f49bca7d0468c9296529315eaca76bd1a10f376d1f4294"},
        {"The quick brown fox jumps over the lazy cog",
         "a93124f5bf2c6d83c3bbf722bc55569310245ca5957541f4dbd7dfaf8137e6f2",
         "a3ebc4daaab78b0be131dab5737a7f67e602670d543521319150d2e14eeec445"},
        {Repeat('U', 128), "1c4ac7614691bbf427fa2316216be8f10d92edfd37cd1027514c1008f649c4e8",
         "53a3a3ed25180cef0c1d85a074273e551c25660a87062a52d926a9e8fe5733a4"},
        {Repeat('a', 1000000), "8693287aa62f9478f7cb312ec0866b6c4e4a0f11160441e8f4ffcd2715dd554f",
         "5c00ccc2734cdd3332d3d4749576e3c1a7dbaf0e7ea74e9fa602413c90a129fa"},
    };
    return cases;
}

std::string HashHex(const gostcsp::SBox& sbox, const std::string& msg) {
    Gost3411 h(sbox);
    h.Update(reinterpret_cast<const std::uint8_t*>(msg.data()), msg.size());
    auto d = h.Final();
    return ToHex(d.data(), d.size());
}

}  // namespace

TEST(Gost3411, PublishedVectorsForBothParameterSets) {
    for (const auto& c : Cases()) {
        SCOPED_TRACE(c.message.substr(0, 60));
        EXPECT_EQ(HashHex(gostcsp::kSBoxHashCryptoPro, c.message), c.cryptoPro);
        EXPECT_EQ(HashHex(gostcsp::kSBoxHashTest, c.message), c.test);
    }
}

TEST(Gost3411, SplitUpdatesGiveTheSameDigestAndFinalRestarts) {
    const std::string msg = "Suppose the original message has length = 50 bytes";
    Gost3411 h;
    for (std::size_t split : {std::size_t(1), std::size_t(13), std::size_t(32), std::size_t(33)}) {
        SCOPED_TRACE(split);
        for (std::size_t i = 0; i < msg.size(); i += split)
            h.Update(reinterpret_cast<const std::uint8_t*>(msg.data()) + i,
                     std::min(split, msg.size() - i));
        auto d = h.Final();  // Final leaves a fresh hash behind
        EXPECT_EQ(ToHex(d.data(), 32),
                  "c3730c5cbccacf915ac292676f21e8bd4ef75331d9405e5f1a61dc3130a65011");
    }
}

TEST(Gost3411, AgreesWithGostprovAtEveryLength) {
    GostProv prov;
    ASSERT_TRUE(prov.Loaded()) << GostProv::kMissing;
    for (const Bytes& m : SampleMessages()) {
        SCOPED_TRACE(m.size());
        Gost3411 h;
        h.Update(m.data(), m.size());
        auto d = h.Final();
        EXPECT_EQ(ToHex(d.data(), 32), ToHex(prov.Digest(m)));
    }
}

TEST(Gost3411, EntryPointsHashAndKeepTheDigestForSigning) {
    CSP_HANDLE ctx = 0;
    ASSERT_EQ(CSPG3411CreateCtx(&ctx, 0), CSP_OK);
    const std::string msg = "message digest";
    std::uint8_t digest[32] = {};
    uint32_t len = 32;
    EXPECT_EQ(CSPG3411Begin(ctx), CSP_OK);
    EXPECT_EQ(CSPG3411Update(ctx, msg.data(), 7), CSP_OK);
    EXPECT_EQ(CSPG3411Update(ctx, msg.data() + 7, uint32_t(msg.size() - 7)), CSP_OK);
    EXPECT_EQ(CSPG3411Final(ctx, nullptr, &len), CSP_OK);  // completed, kept in the context
    EXPECT_EQ(CSPG3411Update(ctx, "x", 1), CSP_E_STATE);   // no silent mixing after completion
    EXPECT_EQ(CSPG3411Final(ctx, digest, nullptr), CSP_OK);
    EXPECT_EQ(ToHex(digest, 32),
              "bc6041dd2aa401ebfa6e9886734174febdb4729aa972d60f549ac39b29721ba0");

    len = 31;
    EXPECT_EQ(CSPG3411Final(ctx, digest, &len), CSP_E_BUFFER_TOO_SMALL);
    EXPECT_EQ(len, 32u);
    EXPECT_EQ(CSPG3411Begin(ctx), CSP_OK);  // an empty message after Begin
    EXPECT_EQ(CSPG3411Final(ctx, digest, nullptr), CSP_OK);
    EXPECT_EQ(ToHex(digest, 32),
              "3f25bc1fbbce27ca10fb1958f319473ae7e17482c3b53ecf47a7e2de8aabe4c8");

    EXPECT_EQ(CSPG3411DestroyCtx(ctx), CSP_OK);
    EXPECT_EQ(CSPG3411DestroyCtx(ctx), CSP_E_BAD_HANDLE);
    EXPECT_EQ(CSPG3411Begin(ctx), CSP_E_BAD_HANDLE);
    EXPECT_EQ(CSPG3411CreateCtx(&ctx, 1), CSP_E_BAD_ARGUMENT);
}
