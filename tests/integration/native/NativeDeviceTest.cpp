// Native tokens on the software native library: the key hand-over and the read hooks, the
// PIN moving from the login-derived to the password-derived code, listing, and a device that
// the native library and a PKCS#11 library both report.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "brelo_test/Command.h"
#include "brelo_test/ScopedEnv.h"
#include "brelo_test/SoftHsmStore.h"
#include "brelo_test/TempDir.h"
#include "core/Text.h"
#include "token/BreloUsbToken.h"
#include "token/TokenBlock.h"
#include "token/nkiTokenAuthor.h"

namespace brelo {
namespace {

using test::ScopedEnv;
using test::TempDir;

const std::string kLogin = "USER01";
const SecureString kPassword("Пароль-01");
const std::string kName = "Bank key";
const std::string kUid = "00A1B2C3D4E5F607";
const std::string kUidText = "00A1-B2C3-D4E5-F607";

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

ByteString Unhex(const std::string& hex) {
    ByteString out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return out;
}

/// The lines of a device's stored state, read from its file (not through the library).
struct DeviceState {
    std::string pinHex, pukHex, pinTries;
    std::map<int, ByteString> files;
};

class NativeDevices : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseBreloUsbTokens();
        RegisterBreloUsbTokenHooks();
        std::string status;
        ASSERT_TRUE(NativeLibraryStatus(status)) << status;
    }
    void TearDown() override { ReleaseBreloUsbTokens(); }

    void Create(const std::string& name, const std::string& uid, const SecureString& pin,
                const std::string& sizes = "4096,2048,-1,-1") {
        const test::CommandResult r = test::RunCommand(
            {NKICNT_DEVICE_TOOL, "create", name, "--uid", uid, "--pin", pin.str(), "--puk",
             "ABCD0123", "--sizes", sizes, "--root", devices.path().string()});
        ASSERT_TRUE(r.ok()) << r.err;
    }

    DeviceState State(const std::string& name) const {
        std::istringstream in(test::ReadFile(devices / name / "device.txt"));
        DeviceState state;
        std::string key;
        while (in >> key) {
            std::string rest;
            std::getline(in, rest);
            std::istringstream fields(rest);
            if (key == "pin")
                fields >> state.pinHex;
            if (key == "puk")
                fields >> state.pukHex;
            if (key == "pin-tries")
                state.pinTries = rest;
            if (key == "file") {
                int no = 0, size = 0;
                std::string hex;
                fields >> no >> size >> hex;
                if (size >= 0)
                    state.files[no] = Unhex(hex);
            }
        }
        return state;
    }

    static std::string DeviceLine(const std::string& name, const std::string& uid) {
        return TBreloUsbTokenInt::PadTokenName(name) + "[" + uid + "]";
    }

    TempDir devices;
    ScopedEnv root{"NKICNT_DEVICES", devices.path().string()};
};

TEST_F(NativeDevices, KeysHandedOverAndReadBack) {
    Create(kName, kUid, Md5DecimalPin(kLogin));
    {
        TBreloUsbTokenList list(0, 0);
        ASSERT_EQ(list.Count(), 1);
        EXPECT_EQ(list.Items(0).Name(), kName);
        EXPECT_EQ(list.Items(0).UID(), kUidText);
        EXPECT_EQ(list.Items(0).Kind(), 1);
    }
    const ByteString ca = "CA certificate", transport = "transport", cert = "user cert",
                     key(300, '\x01'), gostCert = "gost cert", gostKey = "gost key";
    ASSERT_TRUE(TBreloUsbTokenInt::WriteKeys(DeviceLine(kName, kUidText), kPassword, kLogin, ca,
                                             transport, cert, key, gostCert, gostKey));

    // On the device: the block in file 1, the rest of the file still zero, the PIN now the
    // eight-digit code of the password.
    const DeviceState state = State(kName);
    const SecureString passwordPin = Md5DecimalPin(kPassword);
    ASSERT_EQ(passwordPin.size(), 8u);
    EXPECT_EQ(passwordPin.find_first_not_of("0123456789"), SecureString::npos);
    EXPECT_EQ(state.pinHex, Hex(passwordPin));
    ASSERT_EQ(state.files.at(1).size(), 4096u);
    TMemoryStream stored(state.files.at(1));
    TBreloUsbTokenFileDataHolder onDevice;
    TokenBlock::Parse(stored, onDevice);
    EXPECT_EQ(onDevice.GetData(3), key);
    EXPECT_EQ(state.files.at(1).find_first_not_of('\0', TokenBlock::Serialize(onDevice).size()),
              std::string::npos);

    // Through the read hooks, with the password.
    TBreloUsbTokenFileDataHolder holder;
    ASSERT_TRUE(TBreloUsbTokenInt::ReadTokenData("USBToken:" + kName + "\\", kPassword, holder));
    const ByteString expected[] = {ca, transport, cert, key, gostCert, gostKey};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(holder.GetData(i), expected[i]) << i;
    }
    for (int i = 6; i < 16; ++i) {
        EXPECT_EQ(holder.GetData(i), "") << i;
    }
    TMemoryStream userKey;
    ASSERT_TRUE(
        TBreloUsbTokenInt::ReadTokenFile("USBToken:" + kName + "\\", 3, kPassword, userKey));
    EXPECT_EQ(userKey.Bytes(), key);

    TUsbTokenInfo info;
    TBreloUsbTokenInt::GetTokenInfo("USBToken:" + kName + "\\", info);
    EXPECT_EQ(info.SerialNumber, kUidText);
    EXPECT_EQ(info.TokenType, 1);
}

TEST_F(NativeDevices, LoginPinRefusedAfterTheHandOver) {
    Create(kName, kUid, Md5DecimalPin(kLogin));
    ASSERT_TRUE(TBreloUsbTokenInt::WriteKeys(DeviceLine(kName, kUidText), kPassword, kLogin, "a",
                                             "b", "c", "d", "", ""));
    ReleaseBreloUsbTokens();  // a new run: no PIN cached in the token object
    TMemoryStream data;
    try {
        TBreloUsbTokenInt::ReadTokenFile("USBToken:" + kName + "\\", 0, SecureString(kLogin), data);
        FAIL() << "the login's PIN still opens the token";
    } catch (const ExceptionNkiBadPin& e) {
        EXPECT_EQ(e.TriesLeft, 2);
        EXPECT_STREQ(e.what(), "CKR_PIN_INCORRECT");
    }
    EXPECT_EQ(Trim(State(kName).pinTries), "2 3");
    ASSERT_TRUE(TBreloUsbTokenInt::ReadTokenFile("USBToken:" + kName + "\\", 0, kPassword, data));
    EXPECT_EQ(data.Bytes(), "a");
    EXPECT_EQ(Trim(State(kName).pinTries), "3 3");
}

TEST_F(NativeDevices, BlockTooLargeForTheFileLeavesTheDeviceAsItWas) {
    Create(kName, kUid, Md5DecimalPin(kLogin), "64,-1,-1,-1");
    const DeviceState before = State(kName);
    EXPECT_THROW(
        TBreloUsbTokenInt::WriteKeys(DeviceLine(kName, kUidText), kPassword, kLogin,
                                     ByteString(40, 'c'), ByteString(40, 't'), "", "", "", ""),
        EOutOfResources);
    const DeviceState after = State(kName);
    EXPECT_EQ(after.files, before.files);
    EXPECT_EQ(after.pinHex, before.pinHex);
}

TEST_F(NativeDevices, ReinitialisedThroughTheUnblockHook) {
    Create(kName, kUid, SecureString("00000000"));
    ASSERT_TRUE(UnblockPinProc(kName, kPassword, SecureString("NO_PUK")));
    const DeviceState state = State(kName);
    EXPECT_EQ(state.pinHex, Hex(Md5DecimalPin(kPassword)));
    EXPECT_EQ(state.pukHex, Hex(Md5TailPin("NO_PUK")));
    EXPECT_EQ(state.files.at(1), ByteString(4096, '\0'));
    TBreloUsbTokenFileDataHolder holder;
    EXPECT_TRUE(TBreloUsbTokenInt::ReadTokenData("USBToken:" + kName + "\\", kPassword, holder));
}

TEST_F(NativeDevices, DeviceRemovedAfterListing) {
    Create(kName, kUid, Md5DecimalPin(kLogin));
    ASSERT_TRUE(TBreloUsbTokenInt::TokenPresent("USBToken:" + kName + "\\"));
    std::filesystem::remove_all(devices / kName);
    TBreloUsbTokenFileDataHolder holder;
    try {
        TBreloUsbTokenInt::ReadTokenData("USBToken:" + kName + "\\", SecureString(kLogin), holder);
        FAIL() << "read from a removed device";
    } catch (const ExceptionNki& e) {
        EXPECT_EQ(e.Code, 50);
        EXPECT_STREQ(e.what(), "CKR_DEVICE_REMOVED");
    }
}

TEST_F(NativeDevices, DamagedDeviceIsLeftOut) {
    Create("A good key", kUid, SecureString("11111111"));
    Create("B damaged key", "0000000000000002", SecureString("11111111"));
    test::WriteFile(devices / "B damaged key" / "device.txt", "nkicnt-device 1\nuid 12\n");
    TBreloUsbTokenList list(TnkiTokenAuthor::NativeKind, 0);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0).Name(), "A good key");
}

TEST_F(NativeDevices, NothingListedWithoutTheDevicesVariable) {
    Create(kName, kUid, SecureString("11111111"));
    const auto count = [] {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int n = TBreloUsbTokenList(TnkiTokenAuthor::NativeKind, 0).Count();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        return n;
    };
    {
        ScopedEnv unset("NKICNT_DEVICES", std::nullopt);
        EXPECT_EQ(count(), 0);
    }
    {
        ScopedEnv missing("NKICNT_DEVICES", (devices / "no such folder").string());
        EXPECT_EQ(count(), 0);
    }
    EXPECT_EQ(count(), 1);
}

// The same device through both libraries is listed once, as the PKCS#11 token. SoftHSM2
// picks its serial itself, so the native device takes that serial as its UID.
TEST_F(NativeDevices, DeviceSeenByBothLibrariesListedOnceAsPkcs11) {
    test::SoftHsmStore store;
    const std::string serial = store.InitToken("AVTOR key", "87654321", "12345678");
    ScopedEnv manufacturer("BRELO_P11_MANUFACTURER", std::string("AVTOR"));
    Create("AVTOR native", serial, SecureString("11111111"));
    Create("Other native", "0000000000000002", SecureString("11111111"));

    EXPECT_EQ(TBreloUsbTokenList(TnkiTokenAuthor::NativeKind, 0).Count(), 2);
    TBreloUsbTokenList list(0, 0);
    std::map<std::string, std::uint8_t> kinds;
    for (int i = 0; i < list.Count(); ++i) {
        // SoftHSM2's empty slot shows as an uninitialised PKCS#11 token with no serial.
        if (!Trim(list.Items(i).UID()).empty()) {
            kinds[Trim(list.Items(i).Name())] = list.Items(i).Kind();
        }
    }
    EXPECT_EQ(kinds, (std::map<std::string, std::uint8_t>{{"AVTOR key", 2}, {"Other native", 1}}));
}

}  // namespace
}  // namespace brelo
