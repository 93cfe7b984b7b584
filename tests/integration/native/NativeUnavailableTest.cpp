// A program whose native library is missing or incomplete lists no native tokens, says
// nothing about it, and tells a developer which piece is missing.
#include <gtest/gtest.h>

#include <filesystem>

#include "brelo_test/ScopedEnv.h"
#include "brelo_test/TempDir.h"
#include "token/BreloUsbToken.h"
#include "token/nkiTokenAuthor.h"

// SUITE names the library situation this program runs in (set by the build).
namespace brelo {
namespace {

/// A well-formed device, written by hand: the device tool is not what is being tested here.
void MakeDevice(const std::filesystem::path& root, const std::string& name) {
    std::filesystem::create_directories(root / name);
    test::WriteFile(
        root / name / "device.txt",
        "nkicnt-device 1\nuid 00A1B2C3D4E5F607\npin 3132333435363738\npuk 4142434430313233\n"
        "pin-tries 3 3\npuk-tries 10 10\nfile 1 4 00000000\nfile 2 -1\nfile 3 -1\nfile 4 -1\n");
    std::filesystem::permissions(
        root / name / "device.txt",
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(SUITE, StatusNamesTheMissingPiece) {
    std::string text;
    EXPECT_FALSE(NativeLibraryStatus(text));
    EXPECT_EQ(text, EXPECTED_STATUS);
    EXPECT_FALSE(NativeAvailable());
    NativeLibraryInfo(text);
    EXPECT_EQ(text, "");
}

TEST(SUITE, NoNativeTokensAndNothingShown) {
    test::TempDir devices;
    MakeDevice(devices.path(), "Bank key");
    test::ScopedEnv root("NKICNT_DEVICES", devices.path().string());
    RegisterBreloUsbTokenHooks();

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    {
        TBreloUsbTokenList natives(TnkiTokenAuthor::NativeKind, 0);
        EXPECT_EQ(natives.Count(), 0);
        TBreloUsbTokenList all(0, 0);
        EXPECT_EQ(all.Count(), 0);
        EXPECT_FALSE(TBreloUsbTokenInt::TokenPresent("USBToken:Bank key\\"));

        // A token made anyway does nothing and raises nothing.
        TnkiTokenAuthor token("Bank key", "");
        token.Open(SecureString("12345678"), true);
        EXPECT_FALSE(token.IsOpen());
        EXPECT_EQ(token.UID(), "");
    }
    ReleaseBreloUsbTokens();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace brelo
