#include "app/TokenErrorMessages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

using namespace brelo;

namespace {

// Name TAB sentence, one entry a line, in table order; sentences keep trailing spaces.
std::vector<std::pair<std::string, std::string>> ReadTable() {
    std::vector<std::pair<std::string, std::string>> table;
    std::ifstream in(APP_TEST_DATA_DIR "/token_errors.tsv", std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        table.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return table;
}

TEST(TranslateTokenError, EveryNameGivesItsSentenceExactly) {
    const auto table = ReadTable();
    ASSERT_EQ(table.size(), 90u) << "data file missing or damaged";
    for (const auto& [name, sentence] : table) {
        const std::string expected = name == "CKR_PIN_INCORRECT" ? sentence + "USER01" : sentence;
        EXPECT_EQ(TranslateTokenError(name, "USER01"), expected) << name;
        EXPECT_EQ(TranslateTokenError(" \r\n" + name + "\t ", "USER01"), expected) << name;
    }
}

TEST(TranslateTokenError, PinIncorrectNamesTheLoginAfterASpace) {
    EXPECT_EQ(TranslateTokenError("CKR_PIN_INCORRECT", "USER01"),
              "Ошибка аутентификации пользователя. Возможно, данный токен не был привязан к "
              "пользователю USER01");
    EXPECT_EQ(TranslateTokenError("CKR_CANCEL", ""), TranslateTokenError("CKR_FUNCTION_CANCELED", ""));
    EXPECT_EQ(TranslateTokenError("CKR_OK", "USER01"), "Успешно");
}

TEST(TranslateTokenError, AnyOtherTextComesBackTrimmedAndUnchanged) {
    const std::pair<const char*, const char*> cases[] = {
        {"ckr_pin_locked", "ckr_pin_locked"},
        {"CKR_PIN_LOCKED.", "CKR_PIN_LOCKED."},
        {"Ошибка: CKR_PIN_LOCKED", "Ошибка: CKR_PIN_LOCKED"},
        {"CKR_PIN_LOCKED CKR_PIN_LOCKED", "CKR_PIN_LOCKED CKR_PIN_LOCKED"},
        {"CKR_VENDOR_DEFINED", "CKR_VENDOR_DEFINED"},
        {"nkiFail", "nkiFail"},
        {"  Указан неверный пароль к секретному ключу\r\n", "Указан неверный пароль к секретному ключу"},
        {"", ""},
        {" \t\r\n", ""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(TranslateTokenError(text, "USER01"), expected) << text;
    }
}

}  // namespace
