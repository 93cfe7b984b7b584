// The key-disk convention: which paths are absolute, what name or mask a key path becomes, and
// which file the search finds on the key-disk folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ztcrypto/KeyPath.h"

using namespace brelo::ztcrypto;
namespace fs = std::filesystem;

TEST(ZtcryptoKeyPath, AbsolutePaths) {
    const struct {
        const char* path;
        bool absolute;
    } cases[] = {
        {"/media/keys/USER01.KEY", true}, {"C:\\KEYS\\A.PEM", true}, {"c:", true},
        {"\\\\SERVER\\KEYS\\A.PEM", true}, {"C", false}, {"", false}, {"USER01", false},
        {"1:\\KEYS", false}, {"\\KEYS", false}, {"kreda:USER01", false}, {"\xD0\x90:", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsAbsoluteKeyPath(c.path), c.absolute) << c.path;
}

TEST(ZtcryptoKeyPath, FileNamesAndMasks) {
    const struct {
        const char *path, *name;
    } cases[] = {
        {"USER01", "sUSER01.*"},
        {"kreda:USER01", "USER01.key"},
        {"KREDA:USER01", "USER01.key"},
        {"kreda:C:\\KEYS\\USER01", "C:\\KEYS\\USER01.key"},
        {"kreda:/home/u/USER01", "/home/u/USER01.key"},
        {"C:\\KEYS\\USER01.PEM", "C:\\KEYS\\USER01.PEM"},
        {"/keys/USER01.PEM", "/keys/USER01.PEM"},
        {"kreda", "skreda.*"},
    };
    for (const auto& c : cases) EXPECT_EQ(KeyPathToFileName(c.path, ".key"), c.name) << c.path;
}

TEST(ZtcryptoKeyPath, WindowsMasks) {
    const struct {
        const char *name, *mask;
        bool matches;
    } cases[] = {
        {"sUSER01.key", "sUSER01.*", true}, {"SUSER01.KEY", "sUSER01.*", true},
        {"sUSER01", "sUSER01.*", false},    {"sUSER012.key", "sUSER01.*", false},
        {"USER01.key", "user01.KEY", true}, {"a.b.c", "*.c", true},
        {"abc", "a?c", true},               {"ac", "a?c", false},
        {"s[1].key", "s[1].*", true},       {"aaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*c", false},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchesMask(c.name, c.mask), c.matches) << c.name << " ~ " << c.mask;
}

class ZtcryptoKeyDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("ztcrypto-keypath-" + std::to_string(::getpid()));
        fs::create_directories(root / "a");
        fs::create_directories(root / "b");
        disks = {(root / "a").string(), (root / "b").string()};
    }
    void TearDown() override { fs::remove_all(root); }
    void Touch(const fs::path& p) { std::ofstream(p) << "x"; }
    fs::path root;
    std::vector<std::string> disks;
};

TEST_F(ZtcryptoKeyDiskTest, FirstDiskWithAMatchWins) {
    Touch(root / "b" / "sUSER01.key");
    EXPECT_EQ(FindKeyFile("sUSER01.*", disks), (root / "b" / "sUSER01.key").string());
    Touch(root / "a" / "Suser01.KEY");
    EXPECT_EQ(FindKeyFile("sUSER01.*", disks), (root / "a" / "Suser01.KEY").string());
}

TEST_F(ZtcryptoKeyDiskTest, DirectoriesAndMissingFilesAreNotFound) {
    fs::create_directories(root / "a" / "sUSER01.dir");
    EXPECT_EQ(FindKeyFile("sUSER01.*", disks), "");
    EXPECT_EQ(FindKeyFile("sUSER01.*", {(root / "missing").string()}), "");
    EXPECT_EQ(FindKeyFile((root / "a" / "nothing.key").string(), disks), "");
    EXPECT_EQ(FindKeyFile((root / "a" / "sUSER01.dir").string(), disks), "");
    Touch(root / "a" / "x.key");
    EXPECT_EQ(FindKeyFile((root / "a" / "x.key").string(), {}), (root / "a" / "x.key").string());
}

TEST_F(ZtcryptoKeyDiskTest, RelativeFoldersAndBackslashes) {
    fs::create_directories(root / "b" / "keys");
    Touch(root / "b" / "keys" / "USER01.key");
    EXPECT_EQ(FindKeyFile("keys\\USER01.key", disks), (root / "b" / "keys" / "USER01.key").string());
}

TEST(ZtcryptoKeyPath, KeyDisksFromEnvironment) {
    ::unsetenv("ZTCRYPTO_KEY_DISKS");
    EXPECT_EQ(KeyDisks(), (std::vector<std::string>{"/media/floppy0", "/media/floppy1"}));
    ::setenv("ZTCRYPTO_KEY_DISKS", ":/one::/two:", 1);
    EXPECT_EQ(KeyDisks(), (std::vector<std::string>{"/one", "/two"}));
    ::setenv("ZTCRYPTO_KEY_DISKS", "", 1);
    EXPECT_TRUE(KeyDisks().empty());
    ::unsetenv("ZTCRYPTO_KEY_DISKS");
}
