// The native token class over the fake library: how the library's answers become token
// exceptions, tries left, cells and identifiers.
#include <gtest/gtest.h>

#include "FakeNativeLibrary.h"
#include "token/nkiTokenAuthor.h"

namespace brelo {
namespace {

using test::Fake;

class NativeToken : public ::testing::Test {
protected:
    void SetUp() override { test::ResetFakeNative(); }

    /// A token on the fake whose PIN is given as it is (no derivation).
    std::unique_ptr<TnkiTokenAuthor> Token(const std::string& uid = "0000-0000-0000-0001") {
        return std::make_unique<TnkiTokenAuthor>("Native 1", uid, library);
    }

    TNativeLibrary library{test::FakeEntries()};
};

TEST(NativeCodes, TranslatedIntoPkcs11Numbering) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {{0, 0},
                                                           {1, 96},
                                                           {2, 84},
                                                           {3, 50},
                                                           {4, 182},
                                                           {32, 5},
                                                           {34, 5},
                                                           {35, 176},
                                                           {36, 164},
                                                           {37, 179},
                                                           {38, 145},
                                                           {39, 160},
                                                           {160, 160},
                                                           {161, 160},
                                                           {224, 160},
                                                           {52, 2},
                                                           {144, 2},
                                                           {253, 2},
                                                           {164, 1},
                                                           {251, 7},
                                                           {252, 6},
                                                           {254, 5},
                                                           {255, 48},
                                                           // not in the table: unchanged
                                                           {5, 5},
                                                           {33, 33},
                                                           {225, 225},
                                                           {240, 240},
                                                           {-1, -1}};
    for (const auto& [native, pkcs] : cases) {
        EXPECT_EQ(TranslateNativeCode(native), pkcs) << "native code " << native;
    }
}

TEST(NativeCodes, UidText) {
    EXPECT_EQ(NativeUIDText(0x00A1B2C3D4E5F607ULL), "00A1-B2C3-D4E5-F607");
    EXPECT_EQ(NativeUIDText(0), "0000-0000-0000-0000");
    EXPECT_EQ(NativeUIDText(~0ULL), "FFFF-FFFF-FFFF-FFFF");
}

TEST_F(NativeToken, ReadsItsUidWhenCreatedWithoutOne) {
    auto fake = Token("");
    fake->ReadUID();
    EXPECT_EQ(fake->UID(), "00A1-B2C3-D4E5-F607");
    EXPECT_EQ(Fake().openSessions, 0);
}

// Wrong PINs: E0 to EF carry the tries left; the library's F0 to FF failures must not be
// read as a refused PIN (they would show as a wrong PIN with 11 to 15 tries left).
TEST_F(NativeToken, PinResults) {
    struct Case {
        std::uint32_t code;
        std::int32_t expectedCode;
        std::int32_t triesLeft;  // -2: not a bad-PIN exception
        const char* message;
    };
    const Case cases[] = {
        {0xE2, 160, 2, "CKR_PIN_INCORRECT"},
        {0xE0, 160, 0, "CKR_PIN_INCORRECT"},
        {0xEF, 160, 15, "CKR_PIN_INCORRECT"},
        {251, 7, -2, "CKR_ARGUMENTS_BAD"},
        {252, 6, -2, "CKR_FUNCTION_FAILED"},
        {253, 2, -2, "CKR_HOST_MEMORY"},
        {254, 5, -2, "CKR_GENERAL_ERROR"},
        {255, 48, -2, "CKR_DEVICE_ERROR"},
        {0xF0, 0xF0, -2, "CKR_UNWRAPPING_KEY_HANDLE_INVALID"},
        {36, 164, -2, "CKR_PIN_LOCKED"},
        {39, 160, -1, "CKR_PIN_INCORRECT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Fake().refusedPinResult = c.code;
        auto token = Token();
        try {
            token->Open(SecureString("wrong"), true);
            ADD_FAILURE() << "no exception";
        } catch (const ExceptionNkiBadPin& e) {
            EXPECT_NE(c.triesLeft, -2);
            EXPECT_EQ(e.TriesLeft, c.triesLeft);
            EXPECT_EQ(e.Code, 160);
            EXPECT_STREQ(e.what(), c.message);
        } catch (const ExceptionNki& e) {
            EXPECT_EQ(c.triesLeft, -2);
            EXPECT_EQ(e.Code, c.expectedCode);
            EXPECT_STREQ(e.what(), c.message);
            EXPECT_EQ(c.code == 36, dynamic_cast<const ExceptionNkiBlocked*>(&e) != nullptr);
        }
        EXPECT_FALSE(token->IsOpen());
        EXPECT_EQ(Fake().openSessions, 0);
    }
}

TEST_F(NativeToken, RefusedOldPinOnChangeReportsTries) {
    Fake().refusedPinResult = 0xE1;
    auto token = Token();
    SecureString result;
    try {
        token->ChangePin(SecureString("new"), SecureString("wrong"), result, false);
        FAIL() << "no exception";
    } catch (const ExceptionNkiBadPin& e) {
        EXPECT_EQ(e.TriesLeft, 1);
    }
    EXPECT_EQ(Fake().pin, "12345678");
    EXPECT_EQ(Fake().openSessions, 0);
}

TEST_F(NativeToken, AccessDeniedOnRead) {
    Fake().readResult = 164;
    auto token = Token();
    token->Open(SecureString("12345678"), true);
    TMemoryStream data;
    try {
        token->ReadFile(0, data);
        FAIL() << "no exception";
    } catch (const ExceptionNkiAccessDenied& e) {
        EXPECT_EQ(e.Code, 1);
        EXPECT_STREQ(e.what(), "CKR_CANCEL");
    }
}

TEST_F(NativeToken, CellsOfAbsentFilesAreDropped) {
    struct Case {
        std::int32_t sizes[4];
        std::vector<std::pair<std::int32_t, std::int32_t>> cells;  // file, size
    };
    const Case cases[] = {
        {{64, 32, -1, -1}, {{1, 64}, {2, 32}}},
        {{-1, 10, -1, 0}, {{2, 10}, {4, 0}}},
        {{-1, -1, -1, -1}, {}},
    };
    for (const Case& c : cases) {
        std::copy(std::begin(c.sizes), std::end(c.sizes), Fake().sizes);
        auto token = Token();
        token->Open(SecureString("12345678"), true);
        std::vector<std::pair<std::int32_t, std::int32_t>> cells;
        for (const TnkiFileStruct& cell : token->Cells()) {
            cells.emplace_back(cell.FileId, cell.Size);
        }
        EXPECT_EQ(cells, c.cells);
        EXPECT_EQ(token->Ready(), !c.cells.empty());
        token->Close();
    }
}

TEST_F(NativeToken, CellZeroIsTheFirstPresentFile) {
    Fake().sizes[0] = -1;
    Fake().files[1] = std::string(32, 'x');
    auto token = Token();
    token->Open(SecureString("12345678"), true);
    TMemoryStream block(ByteString("AB"));
    token->WriteFile(0, block);
    // The rest of the fixed-size file keeps what it held.
    EXPECT_EQ(Fake().files[1], "AB");
    TMemoryStream back;
    token->ReadFile(0, back);
    EXPECT_EQ(back.Bytes(), ByteString("AB") + ByteString(30, '\0'));
}

TEST_F(NativeToken, WriteLargerThanTheFileFailsBeforeTheDevice) {
    Fake().sizes[0] = 4;
    auto token = Token();
    token->Open(SecureString("12345678"), true);
    TMemoryStream block(ByteString("12345"));
    EXPECT_THROW(token->WriteFile(0, block), EOutOfResources);
    EXPECT_EQ(Fake().files[0], "");
}

TEST_F(NativeToken, LibraryTextOnlyWhenTheNameComesOutEmpty) {
    Fake().readResult = 251;
    auto token = Token();
    token->Open(SecureString("12345678"), true);
    TMemoryStream data;
    EXPECT_THROW(
        {
            try {
                token->ReadFile(0, data);
            } catch (const ExceptionNki& e) {
                EXPECT_STREQ(e.what(), "CKR_ARGUMENTS_BAD");
                throw;
            }
        },
        ExceptionNki);

    NkiErrorTranslator = [](const std::string&, std::string& Text) { Text.clear(); };
    try {
        token->ReadFile(0, data);
        ADD_FAILURE() << "no exception";
    } catch (const ExceptionNki& e) {
        EXPECT_STREQ(e.what(), "library text 251");
    }
    NkiErrorTranslator = nullptr;
}

TEST_F(NativeToken, ClassValues) {
    auto token = Token();
    EXPECT_EQ(token->Kind(), 1);
    EXPECT_TRUE(token->CanReinitialize());
    EXPECT_TRUE(token->IsInitialized());
    EXPECT_TRUE(token->HasPuk());
    EXPECT_FALSE(token->NeedsCurrentPuk());
    EXPECT_FALSE(token->IsCompressed());
    EXPECT_EQ(token->GetDescription(), "AVTOR Ltd. ICS USB Reader");
    EXPECT_EQ(token->DefaultPuk(), SecureString("36142957"));
    // Eight decimal digits for the PIN, eight hexadecimal for the PUK.
    EXPECT_EQ(token->DeriveUserPin(SecureString("USER01")), Md5DecimalPin("USER01"));
    EXPECT_EQ(token->DerivePuk(SecureString("USER01")), Md5TailPin("USER01"));
}

TEST_F(NativeToken, ReinitializeSetsDerivedCodesAndZeroesCellZero) {
    Fake().files[0] = std::string(64, 'k');
    auto token = Token();
    SecureString pin("new password"), puk("NO_PUK");
    token->Reinitialize(pin, puk, "ignored", SecureString("NO_PUK"));
    EXPECT_EQ(pin, Md5DecimalPin("new password"));
    EXPECT_EQ(puk, Md5TailPin("NO_PUK"));
    EXPECT_EQ(Fake().reinitPin, pin.str());
    EXPECT_EQ(Fake().reinitPuk, puk.str());
    EXPECT_EQ(Fake().reinitPinType, 6u);
    EXPECT_EQ(Fake().reinitPukType, 6u);
    EXPECT_EQ(Fake().reinitLabel, "Native 1");
    EXPECT_EQ(Fake().files[0], std::string(64, '\0'));
    EXPECT_EQ(token->Pin(), pin);
    EXPECT_FALSE(token->IsOpen());
}

TEST_F(NativeToken, DestroyingAnOpenTokenClosesItsSession) {
    auto token = Token();
    token->Open(SecureString("12345678"), true);
    ASSERT_EQ(Fake().openSessions, 1);
    token.reset();
    EXPECT_EQ(Fake().openSessions, 0);
}

TEST_F(NativeToken, ReinitializeKeepsAnOpenTokenOpen) {
    auto token = Token();
    token->Open(SecureString("12345678"), true);
    SecureString pin("p"), puk("k");
    token->Reinitialize(pin, puk, {}, {});
    EXPECT_TRUE(token->IsOpen());
    EXPECT_EQ(Fake().openSessions, 1);
}

TEST_F(NativeToken, ReinitializedPinRefusedNamesTheToken) {
    Fake().acceptReinitializedPin = false;
    auto token = Token();
    SecureString pin("p"), puk("k");
    try {
        token->Reinitialize(pin, puk, {}, {});
        FAIL() << "no exception";
    } catch (const ExceptionNki&) {
        FAIL() << "a token exception instead of the unforeseen-error message";
    } catch (const Exception& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Непредвиденная ошибка: не удается открыть токен \"Native 1\"", 0), 0u)
            << text;
        EXPECT_NE(text.find("\r\nОтправьте данное сообщение разработчикам: "), std::string::npos);
    }
    EXPECT_FALSE(token->IsOpen());
    EXPECT_EQ(Fake().openSessions, 0);
}

TEST_F(NativeToken, ReinitializeRefusedByTheDevice) {
    Fake().reinitResult = 252;
    auto token = Token();
    SecureString pin("p"), puk("k");
    EXPECT_THROW(token->Reinitialize(pin, puk, {}, {}), ExceptionNki);
    EXPECT_EQ(pin, SecureString("p"));  // given back unchanged
    EXPECT_EQ(Fake().openSessions, 0);
}

// ---- listing ----

struct Reported {
    std::string name, uid;
    std::uint8_t kind;
};

TEST_F(NativeToken, ListsDevicesWhoseUidCanBeRead) {
    Fake().devices = {"A", "B", "C"};
    Fake().openResult["B"] = 3;  // removed between listing and opening
    std::vector<Reported> seen;
    TnkiTokenAuthor::EnumerateDevicesOf(
        library, [&](const std::string& n, const std::string& u, const TnkiTokenClass& c) {
            seen.push_back({n, u, c.Kind});
        });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].name, "A");
    EXPECT_EQ(seen[0].uid, "00A1-B2C3-D4E5-F607");
    EXPECT_EQ(seen[0].kind, 1);
    EXPECT_EQ(seen[1].name, "C");
    EXPECT_EQ(Fake().openSessions, 0);
}

TEST_F(NativeToken, TokenErrorWhileReportingSkipsOnlyThatDevice) {
    Fake().devices = {"A", "B"};
    std::vector<std::string> seen;
    TnkiTokenAuthor::EnumerateDevicesOf(
        library, [&](const std::string& n, const std::string&, const TnkiTokenClass&) {
            seen.push_back(n);
            if (n == "A") {
                throw ExceptionNki(5, "CKR_GENERAL_ERROR");
            }
        });
    EXPECT_EQ(seen, (std::vector<std::string>{"A", "B"}));

    seen.clear();
    EXPECT_THROW(TnkiTokenAuthor::EnumerateDevicesOf(
                     library,
                     [&](const std::string& n, const std::string&, const TnkiTokenClass&) {
                         seen.push_back(n);
                         throw EListError("other");
                     }),
                 EListError);
    EXPECT_EQ(seen, (std::vector<std::string>{"A"}));
}

}  // namespace
}  // namespace brelo
