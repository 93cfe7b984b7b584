// The nine hooks over in-memory tokens: what WriteKeysProc leaves on a token, and what it
// leaves when a step fails.
#include <gtest/gtest.h>

#include <algorithm>

#include "FakeToken.h"
#include "token/BreloUsbToken.h"
#include "token/TokenBlock.h"
#include "token/ZipCell.h"

namespace brelo {
namespace {

using test::DeviceLine;
using test::FakeDevice;
using test::FakeDevices;
using test::TFakeToken;

const char* const kLogin = "USER01";
const SecureString kPassword("пароль 1");

ByteString BlockWith(std::initializer_list<std::pair<int, ByteString>> entries) {
    TBreloUsbTokenFileDataHolder holder;
    for (const auto& [index, value] : entries) {
        holder.SetData(index, value);
    }
    return TokenBlock::Serialize(holder);
}

TBreloUsbTokenFileDataHolder Entries(const ByteString& cell, bool compressed) {
    TMemoryStream stream(cell);
    std::unique_ptr<TMemoryStream> plain = compressed ? ZipCell::Decompress(stream) : nullptr;
    TBreloUsbTokenFileDataHolder holder;
    TokenBlock::Parse(plain ? *plain : stream, holder);
    return holder;
}

class Hooks : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterBreloUsbTokenHooks();
        BreloTokenKinds().push_back({TFakeToken::FakeKind, &TFakeToken::EnumerateDevices});
        FakeDevice d;
        d.name = "Bank token";
        d.pin = TnkiToken::DerivePinCode(kLogin);
        d.cell = BlockWith({{3, "old key"}, {7, "pending"}, {13, "older"}, {14, "fourteen"}, {15, "fifteen"}});
        FakeDevices()["SN0001"] = d;
    }
    void TearDown() override {
        ReleaseBreloUsbTokens();
        std::erase_if(BreloTokenKinds(), [](const TBreloTokenKind& k) { return k.Kind == TFakeToken::FakeKind; });
        FakeDevices().clear();
    }
    FakeDevice& Device() { return FakeDevices()["SN0001"]; }
    void WriteKeys(const ByteString& userKey = "user key") {
        WriteKeysProc(DeviceLine("Bank token", "SN0001"), kPassword, kLogin, "ca", "transport", "user cert", userKey,
                      "", "");
    }
};

TEST_F(Hooks, WriteKeysStoresTheFilesAndMovesThePinToThePassword) {
    WriteKeys();
    const auto holder = Entries(Device().cell, false);
    const ByteString expected[16] = {"ca", "transport", "user cert", "user key", "", "", "", "", "", "", "", "", "", "",
                                     "fourteen", "fifteen"};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(holder.GetData(i), expected[i]) << "entry " << i;
    }
    EXPECT_EQ(Device().pin, TnkiToken::DerivePinCode(kPassword));
    EXPECT_EQ(Device().opens, Device().closes);

    TMemoryStream data;
    EXPECT_TRUE(TBreloUsbTokenInt::ReadTokenFile("USBToken:Bank token\\", 3, kPassword, data));
    EXPECT_EQ(data.Bytes(), "user key");
    TMemoryStream empty;
    EXPECT_TRUE(ReadTokenFileProc("Bank token", 5, kPassword, empty));
    EXPECT_EQ(empty.Size(), 0);
    EXPECT_EQ(Device().opens, Device().closes);
}

TEST_F(Hooks, CompressedTokenStoresAnArchive) {
    Device().compressed = true;
    WriteKeys();
    ASSERT_EQ(Device().cell.substr(0, 2), "PK");
    EXPECT_EQ(Entries(Device().cell, true).GetData(3), "user key");
    TBreloUsbTokenFileDataHolder holder;
    ReadTokenDataProc("Bank token", kPassword, holder);
    EXPECT_EQ(holder.GetData(1), "transport");
}

TEST_F(Hooks, FailedPinChangePutsThePreviousBlockBack) {
    const ByteString before = Device().cell;
    Device().failChangePin = 0x30;
    try {
        WriteKeys();
        FAIL() << "written";
    } catch (const ExceptionNkiPinNotChanged&) {
        FAIL() << "the previous block could be put back";
    } catch (const ExceptionNki& e) {
        EXPECT_EQ(e.Message(), "CKR_DEVICE_ERROR");
    }
    EXPECT_EQ(Device().cell, before);
    EXPECT_EQ(Device().pin, TnkiToken::DerivePinCode(kLogin));
    EXPECT_EQ(Device().opens, Device().closes);
}

TEST_F(Hooks, FailedPinChangeThatCannotBeUndoneSaysWhatTheTokenHolds) {
    Device().failChangePin = 0x32;
    Device().failWriteFrom = 0x32;
    Device().writeFailAt = 2;  // the keys are written, putting the old block back fails
    try {
        WriteKeys();
        FAIL() << "written";
    } catch (const ExceptionNkiPinNotChanged& e) {
        EXPECT_EQ(e.Code, 0x32);
        EXPECT_NE(e.Message().find("CKR_DEVICE_REMOVED"), std::string::npos);
        EXPECT_NE(e.Message().find("PIN-код токена не изменён"), std::string::npos);
    }
    EXPECT_EQ(Entries(Device().cell, false).GetData(3), "user key");
    EXPECT_EQ(Device().pin, TnkiToken::DerivePinCode(kLogin));
    EXPECT_EQ(Device().opens, Device().closes);
    // Retrying with the same login and password finishes the transfer.
    Device().failChangePin = 0;
    Device().failWriteFrom = 0;
    WriteKeys();
    EXPECT_EQ(Device().pin, TnkiToken::DerivePinCode(kPassword));
}

TEST_F(Hooks, OversizedInputIsRefusedBeforeAnythingIsWritten) {
    const ByteString before = Device().cell;
    Device().cellSize = 200;
    EXPECT_THROW(WriteKeys(ByteString(300, 'k')), EOutOfResources);
    Device().cellSize = -1;
    EXPECT_THROW(WriteKeys(ByteString(0x10000, 'k')), EBlockSizeError);
    EXPECT_EQ(Device().writes, 0);
    EXPECT_EQ(Device().cell, before);
    EXPECT_EQ(Device().pin, TnkiToken::DerivePinCode(kLogin));
    EXPECT_EQ(Device().opens, Device().closes);
}

TEST_F(Hooks, CorruptStoredBlockIsTheBlockSizeErrorAndNothingIsWritten) {
    Device().cell = ByteString(20, '\0');
    EXPECT_THROW(WriteKeys(), EBlockSizeError);
    EXPECT_EQ(Device().writes, 0);
    EXPECT_EQ(Device().opens, Device().closes);
}

TEST_F(Hooks, WrongPasswordIsBadPinAndTheTokenIsClosed) {
    TMemoryStream data;
    EXPECT_THROW(ReadTokenFileProc("Bank token", 0, SecureString("wrong"), data), ExceptionNkiBadPin);
    EXPECT_EQ(Device().opens, Device().closes);
}

TEST_F(Hooks, PresenceAndInformationNeverRaise) {
    EXPECT_TRUE(TokenPresentProc("Bank token"));
    EXPECT_TRUE(TokenPresentProc(DeviceLine("whatever", "SN0001")));
    EXPECT_FALSE(TokenPresentProc("No such token"));
    TUsbTokenInfo info;
    GetTokenInfoProc("Bank token", info);
    EXPECT_EQ(info.Name, "Bank token");
    EXPECT_EQ(info.SerialNumber, "SN0001");
    EXPECT_EQ(info.TokenType, TFakeToken::FakeKind);
    GetTokenInfoProc("No such token", info);
    EXPECT_TRUE(info.Name.empty());
    EXPECT_EQ(info.TokenType, 0);
}

TEST(ExtractUID, TakesTheBracketsAfterThePaddedName) {
    const std::string padded = TBreloUsbTokenInt::PadTokenName("TOKEN");
    EXPECT_EQ(ExtractUID(padded + "[ABC123]"), "ABC123");
    EXPECT_EQ(ExtractUID(padded + "[ AB12            ]"), "AB12");
    EXPECT_EQ(ExtractUID("NAME [X]" + std::string(30, ' ')), "");
    EXPECT_EQ(ExtractUID(padded + "[open"), "");
    EXPECT_EQ(ExtractUID(padded.substr(0, 31) + "[X]"), "");
    EXPECT_EQ(ExtractUID("TOKEN"), "");
}

}  // namespace
}  // namespace brelo
