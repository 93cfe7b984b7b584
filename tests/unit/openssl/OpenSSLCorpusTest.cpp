// The fuzz target's seed corpus, run as an ordinary test.

#include <filesystem>

#include <gtest/gtest.h>

#include "OpenSSLTestSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(OpenSSLCorpusTest, EverySeedPassesTheFuzzTarget) {
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(BRELO_SOURCE_DIR "/fuzz/corpus/openssl_pem")) {
        const std::string bytes = brelo::test::ReadText(entry.path().string());
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
        ++seeds;
    }
    EXPECT_GT(seeds, 0);
}
