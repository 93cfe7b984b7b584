#include "token/nkiTokenCodes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include "IndependentMd5.h"
#include "core/Exceptions.h"
#include "token/nkiGetPinDefault.h"

using namespace brelo;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// ---- the shared PIN scheme, restated plainly for eight-character codes ----

std::string FirstDistinct(const std::string& pool, bool digits) {
    std::string taken;
    for (char c : pool) {
        const bool wanted = digits ? (c >= '0' && c <= '9') : (c >= 'a' && c <= 'z');
        if (wanted && taken.find(c) == std::string::npos && taken.size() < 4) {
            taken += c;
        }
    }
    return taken;
}

// Digest characters and alphabet are lower-case, so no case folding is needed here.
std::string ExpectedCode(std::string hex) {
    std::string pool = hex + "qwnlaxbhkrcmzvtdjpsofiyeu2085649137";
    pool.pop_back();  // the last character is never taken
    const std::string d = FirstDistinct(pool, true);
    const std::string l = FirstDistinct(pool, false);
    return {d[0], static_cast<char>(std::toupper(l[0])), d[1], l[1],
            d[2], static_cast<char>(std::toupper(l[2])), d[3], l[3]};
}

std::string ExpectedPin(const std::string& text) {
    return text.empty() ? "" : ExpectedCode(ToolMd5HexOfUtf16LE(text));
}

std::string ExpectedPuk(const std::string& text) {
    std::string hex = ToolMd5HexOfUtf16LE(text);
    std::reverse(hex.begin(), hex.end());
    return text.empty() ? "" : ExpectedCode(hex);
}

std::string ExpectedDecimalPin(const std::string& text) {
    std::string digits;
    for (char c : ToolMd5HexOfUtf16LE(text)) digits += std::to_string(static_cast<int>(c));
    return text.empty() ? "" : digits.substr(0, 8);
}

std::string ExpectedTailPin(const std::string& text) {
    return text.empty() ? "" : ToolMd5HexOfUtf16LE(text).substr(24);
}

const char* const kTexts[] = {
    "USER01", "user01", "IVANOV", "ivanov", "Пароль123", "ПАРОЛЬ123", "пароль123",
    "Ёжик в тумане", "p@ss w0rd!", "74206813", "",
};

TEST(PinScheme, Md5HexMatchesIconvAndOpenssl) {
    for (const char* text : kTexts) {
        EXPECT_EQ(TnkiTokenCodes::Md5Hex(text).str(), ToolMd5HexOfUtf16LE(text)) << text;
    }
}

TEST(PinScheme, PinAndPukCodesMatchIndependentComputation) {
    for (const char* text : kTexts) {
        EXPECT_EQ(TnkiTokenCodes::DerivePinCode(text).str(), ExpectedPin(text)) << text;
        EXPECT_EQ(TnkiTokenCodes::DerivePukCode(text).str(), ExpectedPuk(text)) << text;
        EXPECT_EQ(TnkiTokenCodes::DeriveCode(text, true), TnkiTokenCodes::DerivePinCode(text));
        EXPECT_EQ(TnkiTokenCodes::DeriveCode(text, false), TnkiTokenCodes::DerivePukCode(text));
    }
}

TEST(PinScheme, NativeTokenPinsMatchIndependentComputation) {
    for (const char* text : kTexts) {
        EXPECT_EQ(Md5DecimalPin(text).str(), ExpectedDecimalPin(text)) << text;
        EXPECT_EQ(Md5TailPin(text).str(), ExpectedTailPin(text)) << text;
        EXPECT_EQ(DefaultDerivePin(text, true), Md5DecimalPin(text));
        EXPECT_EQ(DefaultDerivePin(text, false), Md5TailPin(text));
    }
}

TEST(PinScheme, CaseOfTheTextChangesTheCode) {
    EXPECT_NE(TnkiTokenCodes::DerivePinCode("USER01"), TnkiTokenCodes::DerivePinCode("user01"));
    EXPECT_NE(TnkiTokenCodes::DerivePinCode("ПАРОЛЬ"), TnkiTokenCodes::DerivePinCode("пароль"));
}

TEST(PinScheme, TextOutsideWindows1251IsRefusedClearly) {
    const std::string text = "пароль✓";
    const std::function<void()> derivations[] = {
        [&] { TnkiTokenCodes::Md5Hex(text); },
        [&] { TnkiTokenCodes::DerivePinCode(text); },
        [&] { TnkiTokenCodes::DerivePukCode(text); },
        [&] { Md5DecimalPin(text); },
        [&] { Md5TailPin(text); },
    };
    for (const auto& derive : derivations) {
        try {
            derive();
            ADD_FAILURE() << "no error";
        } catch (const EEncodingError& e) {
            EXPECT_THAT(e.Message(), HasSubstr("Windows-1251"));
            EXPECT_THAT(e.Message(), ::testing::Not(HasSubstr("пароль")));
        }
    }
    // Not UTF-8 at all.
    EXPECT_THROW(TnkiTokenCodes::Md5Hex("\xff\xfe"), EEncodingError);
}

// ---- PolicyCode beyond the eight-character use ----

struct PolicyCase {
    const char* code;
    int length;
    bool addAlphabet;
    const char* expected;
};

TEST(PolicyCode, BuildsAlternatingCodes) {
    const PolicyCase cases[] = {
        {"a1b2c3d4e", 8, false, "1A2b3C4d"},
        {"a1b2c3d4e5", 9, false, "1A2b3C4dE"},     // extra letter goes after the pairs
        {"aA1b2B3c4dX", 8, false, "1A2b3C4d"},     // letters distinct regardless of case
        {"11223344abcd!", 8, false, "1A2b3C4d"},   // digits never repeat
        {"abcdefabcdefabcdef12345", 8, false, "1A2b3C4d"},  // digest that starts with letters
        {"abcdefabcdefabcdefabcd", 8, true, "2A0b8C5d"},   // digits from the alphabet
        {"0123456789abcdef", 16, true, "A0b1C2d3E4f56789"},  // letters capped at 6, first
        {"ABCD1234", 4, false, "1A2b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TnkiTokenCodes::PolicyCode(c.code, c.length, c.addAlphabet).str(), c.expected)
            << c.code << " " << c.length;
    }
}

TEST(PolicyCode, ImpossibleRequestsFailTheAssertion) {
    const std::pair<PolicyCase, const char*> cases[] = {
        {{"abcdef0123456789", 3, true, ""}, "neededLength is too short"},
        {{"abc123", 10, true, ""}, "Given code is too short"},
        {{"0123456789012345", 8, false, ""}, "Given code does not meet the password policy"},
        {{"a1b2c3d4", 8, false, ""}, "Given code does not meet the password policy"},  // last char unused
    };
    for (const auto& [c, message] : cases) {
        try {
            TnkiTokenCodes::PolicyCode(c.code, c.length, c.addAlphabet);
            ADD_FAILURE() << c.code;
        } catch (const EAssertionFailed& e) {
            EXPECT_THAT(e.Message(), StartsWith("Assertion failure"));
            EXPECT_THAT(e.Message(), HasSubstr(message));
        }
    }
}

// ---- return-code names ----

std::map<unsigned long, std::string> ReadReturnCodeTable() {
    std::map<unsigned long, std::string> table;
    std::ifstream in(TOKENBASE_DATA_DIR "/return_codes.tsv");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string hex, name;
        fields >> hex >> name;
        table[std::stoul(hex, nullptr, 16)] = name;
    }
    return table;
}

TEST(ReturnCodeName, MatchesTheTableExactly) {
    const auto table = ReadReturnCodeTable();
    ASSERT_EQ(table.size(), 85u) << "data file missing or damaged";
    for (const auto& [code, name] : table) {
        EXPECT_EQ(TnkiTokenCodes::ReturnCodeName(code), name) << std::hex << code;
    }
    for (unsigned long code = 0; code < 0x400; ++code) {
        if (!table.contains(code)) {
            EXPECT_EQ(TnkiTokenCodes::ReturnCodeName(code), "nkiFail") << std::hex << code;
        }
    }
}

TEST(ReturnCodeName, VendorValuesOtherThanTheBareBitAreUnnamed) {
    EXPECT_EQ(TnkiTokenCodes::ReturnCodeName(0x80000000UL), "CKR_VENDOR_DEFINED");
    EXPECT_EQ(TnkiTokenCodes::ReturnCodeName(160), "CKR_PIN_INCORRECT");
    for (unsigned long code : {0x80000001UL, 0x800000A0UL, 0xFFFFFFFFUL, 0x1000000A0UL}) {
        EXPECT_EQ(TnkiTokenCodes::ReturnCodeName(code), "nkiFail") << std::hex << code;
    }
}

// ---- the PIN provider ----

TEST(PinProvider, AnswersWithTheFixedTextRawOrDerived) {
    TBreloNkiGetPinDefault provider(SecureString("ignored"));
    SecureString pin;
    for (bool userPin : {true, false}) {
        provider.GetPin("ANY", -1, pin, userPin, true);
        EXPECT_EQ(pin, "74206813");
    }
    provider.GetPin("ANY", 3, pin, true, false);
    EXPECT_EQ(pin.str(), ExpectedDecimalPin("74206813"));
    EXPECT_TRUE(std::all_of(pin.begin(), pin.end(), ::isdigit));
    provider.GetPin("ANY", 3, pin, false, false);
    EXPECT_EQ(pin.str(), ExpectedTailPin("74206813"));
}

TEST(PinProvider, DefaultProviderServesAsAPinEvent) {
    EXPECT_EQ(&DefaultPinProvider(), &DefaultPinProvider());
    const TnkiGetPinEvent event = DefaultPinProvider().Event();
    SecureString pin;
    event("TOKEN", 10, pin, true, true);
    EXPECT_EQ(pin, "74206813");
}

}  // namespace
