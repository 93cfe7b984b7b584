// Every seed of the key-text fuzz target runs through it as an ordinary test.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(GostFuzzCorpus, EverySeedPassesThroughTheParser) {
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(GOST_FUZZ_CORPUS)) {
        SCOPED_TRACE(entry.path().string());
        const brelo::ByteString bytes = brelo::ReadFileBytes(entry.path().string());
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size()),
                  0);
        ++seeds;
    }
    EXPECT_GT(seeds, 0) << "no seeds in " << GOST_FUZZ_CORPUS;
}
