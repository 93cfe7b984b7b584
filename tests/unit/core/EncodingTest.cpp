#include <gtest/gtest.h>

#include "core/Crypto.h"
#include "core/Encoding.h"
#include "core/Exceptions.h"

using namespace brelo;

TEST(Encoding, CyrillicRoundTripThroughCp1251) {
    const std::string utf8 = "Пароль ёЁ №1";
    const std::string cp = Utf8ToCp1251(utf8);
    EXPECT_EQ(HexLower(cp), "cfe0f0eeebfc20b8a820b931");
    EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
}

TEST(Encoding, CharacterOutsideCp1251IsRefusedAndNamed) {
    try {
        Utf8ToCp1251("pass€word✓");
        FAIL();
    } catch (const EEncodingError& e) {
        EXPECT_EQ(e.Message().find("✓"), std::string::npos);
        EXPECT_NE(e.Message().find("at byte 12"), std::string::npos) << e.Message();
    }
    EXPECT_THROW(Utf8ToCp1251("\xff\xfe"), EEncodingError);
}

TEST(Encoding, Utf16LittleEndian) {
    EXPECT_EQ(HexLower(Utf8ToUtf16LE("Aж")), "41003604");
    EXPECT_EQ(Utf8ToUtf16LE(""), "");
}

TEST(Base64, EncodeDecodeAndRejects) {
    const std::string bytes("\x00\x01\xfe\xff\x10", 5);
    const std::string text = Base64Encode(bytes);
    EXPECT_EQ(text, "AAH+/xA=");
    std::string back;
    ASSERT_TRUE(Base64Decode(text, back));
    EXPECT_EQ(back, bytes);
    EXPECT_FALSE(Base64Decode("AAH", back));
    EXPECT_FALSE(Base64Decode("AA*=", back));
    ASSERT_TRUE(Base64Decode("", back));
    EXPECT_EQ(back, "");
}

TEST(Digest, KnownValues) {
    EXPECT_EQ(HexLower(Md5("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(HexLower(Sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
}
