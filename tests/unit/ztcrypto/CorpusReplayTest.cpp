// Runs a fuzz target over its seed corpus and over damaged copies of every seed: cut at many
// lengths and with single bytes changed. Faults show as crashes or sanitizer reports.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::uint8_t> ReadSeed(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(CORPUS_SUITE, SeedsAndDamagedSeedsRunCleanly) {
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CORPUS_DIR)) {
        const auto seed = ReadSeed(entry.path());
        ASSERT_FALSE(seed.empty()) << entry.path();
        ++seeds;
        LLVMFuzzerTestOneInput(seed.data(), seed.size());
        const std::size_t step = std::max<std::size_t>(1, seed.size() / 40);
        for (std::size_t cut = 0; cut < seed.size(); cut += step) LLVMFuzzerTestOneInput(seed.data(), cut);
        for (std::size_t at = 1; at < seed.size(); at += step) {
            auto damaged = seed;
            damaged[at] ^= 0x5A;
            LLVMFuzzerTestOneInput(damaged.data(), damaged.size());
        }
    }
    EXPECT_GT(seeds, 0) << "no seeds in " << CORPUS_DIR;
}

}  // namespace
