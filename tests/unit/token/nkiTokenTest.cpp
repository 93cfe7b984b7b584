#include "token/nkiToken.h"

#include <gtest/gtest.h>

#include "FakeToken.h"

namespace brelo {
namespace {

using test::FakeDevice;
using test::FakeDevices;
using test::TFakeToken;

class TFakeNativeToken : public TFakeToken {
public:
    using TFakeToken::TFakeToken;
    std::uint8_t Kind() const override { return 1; }
};

class TokenModel : public ::testing::Test {
protected:
    void SetUp() override {
        FakeDevices().clear();
        FakeDevice d;
        d.name = "TOKEN 01";
        d.pin = SecureString("1234");
        FakeDevices()["UID1"] = d;
    }
    void TearDown() override { FakeDevices().clear(); }

    std::unique_ptr<TnkiToken> Make() {
        return TnkiToken::Create<TFakeToken>("TOKEN 01", [this](const std::string&, int, SecureString& Pin, bool, bool) {
            ++pinRequests;
            Pin = answer;
        }, "UID1");
    }
    FakeDevice& Device() { return FakeDevices()["UID1"]; }

    int pinRequests = 0;
    SecureString answer;
};

TEST_F(TokenModel, WrongPinRaisesAtOnceWithTriesLeftAndClosesTheDevice) {
    auto token = Make();
    try {
        token->Open(SecureString("9999"), true);
        FAIL() << "opened";
    } catch (const ExceptionNkiBadPin& e) {
        EXPECT_EQ(e.Message(), "CKR_PIN_INCORRECT");
        EXPECT_EQ(e.Code, 160);
        EXPECT_EQ(e.TriesLeft, 2);
    }
    EXPECT_EQ(pinRequests, 0);
    EXPECT_FALSE(token->IsOpen());
    EXPECT_EQ(Device().opens, Device().closes);
}

TEST_F(TokenModel, MissingPinWithEntrySwitchedOffIsPinInvalid) {
    auto token = Make();
    token->FPinEntryAllowed = false;
    try {
        token->Open(SecureString(), true);
        FAIL() << "opened";
    } catch (const ExceptionNki& e) {
        EXPECT_EQ(e.Code, 161);
        EXPECT_EQ(e.Message(), "CKR_PIN_INVALID");
    }
    EXPECT_FALSE(token->IsOpen());
    EXPECT_EQ(Device().opens, Device().closes);
}

TEST_F(TokenModel, EmptyPinFromTheEventEndsLoginQuietly) {
    auto token = Make();
    token->Open(SecureString(), true);
    EXPECT_EQ(pinRequests, 1);
    EXPECT_FALSE(token->Ready());
    EXPECT_TRUE(token->Cells().empty());
}

TEST_F(TokenModel, RaiseOnBadPinOffAsksAgain) {
    auto token = Make();
    token->FRaiseOnBadPin = false;
    answer = SecureString("1234");
    token->Open(SecureString("0000"), true);
    EXPECT_EQ(pinRequests, 1);
    EXPECT_TRUE(token->Ready());
    EXPECT_EQ(token->Pin(), "1234");
}

TEST_F(TokenModel, ChangePinWithEqualPinsDoesNotTouchTheDevice) {
    auto token = Make();
    SecureString result;
    token->ChangePin(SecureString("5555"), SecureString("5555"), result, false);
    EXPECT_EQ(Device().opens, 0);
    token->ChangePin(SecureString("5555"), SecureString("1234"), result, false);
    EXPECT_EQ(Device().pin, "5555");
    EXPECT_EQ(result, "5555");
    EXPECT_EQ(Device().opens, 1);
    EXPECT_EQ(Device().closes, 1);
}

TEST_F(TokenModel, UnblockWithoutPukIsBadPinAndLeavesTheDeviceClosed) {
    auto token = Make();
    SecureString result;
    EXPECT_THROW(token->UnblockPin(SecureString("x"), SecureString(), result, false), ExceptionNkiBadPin);
    EXPECT_FALSE(token->IsOpen());
    EXPECT_EQ(Device().opens, Device().closes);
}

TEST_F(TokenModel, WriteFileChecksTheCellBeforeWriting) {
    Device().cellSize = 3072;
    auto token = Make();
    token->Open(SecureString("1234"), true);
    TMemoryStream tooBig(ByteString(3073, 'a'));
    try {
        token->WriteFile(0, tooBig);
        FAIL() << "written";
    } catch (const EOutOfResources& e) {
        EXPECT_EQ(e.Message(),
                  "Блок для записи имеет размер 3073 байт, больший чем объем 0-й ячейки памяти устройства (3072)");
    }
    EXPECT_EQ(Device().writes, 0);
    TMemoryStream fits(ByteString(3072, 'a'));
    token->WriteFile(0, fits);
    EXPECT_EQ(Device().cell.size(), 3072u);
}

TEST_F(TokenModel, CellOfUnknownSizeIsLeftToTheDevice) {
    Device().cellSize = -1;
    auto token = Make();
    token->Open(SecureString("1234"), true);
    TMemoryStream data(ByteString(100000, 'a'));
    token->WriteFile(0, data);
    EXPECT_EQ(Device().cell.size(), 100000u);
}

TEST_F(TokenModel, TokenWithoutCellsWritesNothing) {
    auto token = Make();
    TMemoryStream data(ByteString("x"));
    EXPECT_THROW(token->WriteFile(0, data), EOutOfResources);
    token->Open(SecureString("1234"), true);
    EXPECT_THROW(token->WriteFile(1, data), EOutOfResources);
    EXPECT_EQ(Device().writes, 0);
}

class ListOf : public TnkiTokenList {
public:
    ListOf() { Init(0, 0, {}); }
};

TEST(TokenList, SecondDeviceOfTheSameNameIsNotAdded) {
    FakeDevices() = {{"A", FakeDevice{}}, {"B", FakeDevice{}}};
    ListOf list;
    list.AddToken("Token", "A", TFakeToken::TokenClass());
    list.AddToken("TOKEN", "B", TFakeToken::TokenClass());
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0).UID(), "A");
    try {
        list.Items(1);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "Неверный индекс устройства: 1");
    }
    FakeDevices().clear();
}

TEST(TokenList, NativeDuplicateOfAPkcsDeviceGoesTwoPkcsDevicesStay) {
    FakeDevices() = {{"12AB-CD", FakeDevice{}}, {"12abcd          ", FakeDevice{}}, {"12ABCD", FakeDevice{}}};
    static const TnkiTokenClass native{"TFakeNativeToken", 1, &TnkiToken::Create<TFakeNativeToken>};
    ListOf list;
    list.AddToken("native", "12AB-CD", native);
    list.AddToken("pkcs one", "12abcd          ", TFakeToken::TokenClass());
    list.AddToken("pkcs two", "12ABCD", TFakeToken::TokenClass());
    list.RemoveDuplicates();
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0).Name(), "pkcs one");
    EXPECT_EQ(list.Items(1).Name(), "pkcs two");
    FakeDevices().clear();
}

}  // namespace
}  // namespace brelo
