#include <gtest/gtest.h>

#include "core/Exceptions.h"
#include "core/Format.h"
#include "core/Text.h"

using namespace brelo;

TEST(Format, PlaceholdersOfEitherCase) {
    struct Case {
        std::string format;
        std::string expected;
    } cases[] = {
        {"Ключи пользователя %S перенесены", "Ключи пользователя IVANOV перенесены"},
        {"%s-%d", "IVANOV-42"},
        {"%S/%D", "IVANOV/42"},
        {"100%% %s", "100% IVANOV"},
        {"no placeholders", "no placeholders"},  // extra arguments are ignored
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Format(c.format, {"IVANOV", 42}), c.expected) << c.format;
    }
}

TEST(Format, IntegersInDecimalAndHex) {
    EXPECT_EQ(Format("%d", {-39}), "-39");
    EXPECT_EQ(Format("%X", {255}), "FF");
    EXPECT_EQ(Format("%X", {-1}), "FFFFFFFF");
    EXPECT_EQ(Format("%.2d.%.2d.%d", {5, 3, 2026}), "05.03.2026");
    EXPECT_EQ(Format("[%-5s]", {"ab"}), "[ab   ]");
}

TEST(Format, MissingOrWrongArgumentIsAClearError) {
    for (const char* format : {"%s %s", "%d", "%", "%5"}) {
        EXPECT_THROW(Format(format, {"only text"}), EConvertError) << format;
    }
    try {
        Format("%s and %s", {"one"});
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_NE(e.Message().find("%s and %s"), std::string::npos);
    }
}

TEST(Text, TrimRemovesSpacesAndControlCharacters) {
    EXPECT_EQ(Trim(" \t\r\nUSBToken:A \x01"), "USBToken:A");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(UpperCase("ivanov_1"), "IVANOV_1");
    EXPECT_TRUE(SameText("CA.CER", "ca.cer"));
    EXPECT_FALSE(SameText("CA.CER", "ca.ce"));
}

TEST(Assertion, NamesFileAndLine) {
    try {
        Assert(false, "Token name too long");
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message().rfind("Assertion failure", 0), 0u);
        EXPECT_NE(e.Message().find("tests/unit/core/FormatTest.cpp, line"), std::string::npos);
    }
    EXPECT_NO_THROW(Assert(true));
}
