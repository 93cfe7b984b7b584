#include <gtest/gtest.h>

#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "core/Streams.h"

using namespace brelo;

namespace {
void Translate(const std::string& key, std::string& text) {
    text = key == "InsertUserDisk" ? "Вставьте диск с файлом %s" : key;
}

struct TranslationGuard {
    explicit TranslationGuard(TMessageTextProc proc) { MessageTextProc = proc; }
    ~TranslationGuard() { MessageTextProc = nullptr; }
};
}  // namespace

TEST(MessageKeys, UntranslatedKeyIsTheTextAndDropsArguments) {
    EXPECT_EQ(GetMessageText("WrongPassw"), "WrongPassw");
    try {
        RaiseKeyed<EFileStreamError>("InsertUserDisk", {"ivanov.key"});
    } catch (const EFileStreamError& e) {
        EXPECT_EQ(e.Message(), "InsertUserDisk");
    }
}

TEST(MessageKeys, RegisteredTranslationReceivesArguments) {
    TranslationGuard guard(Translate);
    try {
        RaiseKeyed<EFileStreamError>("InsertUserDisk", {"ivanov.key"});
    } catch (const EFileStreamError& e) {
        EXPECT_EQ(e.Message(), "Вставьте диск с файлом ivanov.key");
    }
    EXPECT_EQ(GetMessageText("WrongPassw"), "WrongPassw");
}

TEST(CryptoErrors, CodesAndFields) {
    const EZTCryptoError wrong("WrongPassw", 39);
    EXPECT_EQ(wrong.HelpContext(), 39);
    const EztException& base = wrong;
    EXPECT_EQ(base.Code(), 39);
    const ECheckCertExpireDayError expired("CertTimeEnd", 3);
    EXPECT_EQ(expired.HelpContext(), 20);
    EXPECT_EQ(expired.Days, 3);
    const ECheckCertEndDayWarning warning("CertTimeMsg", 5);
    EXPECT_EQ(warning.HelpContext(), 21);
    EXPECT_TRUE(dynamic_cast<const ECheckCertEndDayError*>(&warning) != nullptr);
    const ECryptoManKeyNotFound missing("KeyFileNotFoundError");
    EXPECT_TRUE(dynamic_cast<const ECryptoManError*>(&missing) != nullptr);
}
