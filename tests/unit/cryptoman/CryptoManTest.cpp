// The manager's format slots, key information and usage bracket.

#include <gtest/gtest.h>

#include <memory>

#include "Fixtures.h"
#include "PlainFormat.h"

using namespace brelo;
using namespace brelo::test;

namespace {

template <typename E>
void ExpectKeyed(const std::function<void()>& action, const std::string& key) {
    try {
        action();
        ADD_FAILURE() << "no " << key;
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), key);
    }
}

}  // namespace

TEST(CryptoManSlots, SetterRules) {
    TCryptoMan man;
    TPlainFormat a("a"), b("b");
    ExpectKeyed<ECryptoManError>([&] { man.SetSecondaryCryptoFormat(&b); },
                                 "PrimaryFormatMustAssigned");
    ExpectKeyed<ECryptoManError>([&] { man.SetX509CryptoFormat(&b); }, "PrimaryFormatMustAssigned");
    EXPECT_EQ(man.SecondaryCryptoFormat(), nullptr);

    man.SetCryptoFormat(&a);
    ExpectKeyed<ECryptoManError>([&] { man.SetSecondaryCryptoFormat(&a); }, "FormatsCantBeSame");
    man.SetSecondaryCryptoFormat(&b);
    ExpectKeyed<ECryptoManError>([&] { man.SetCryptoFormat(&b); }, "FormatsCantBeSame");
    EXPECT_EQ(man.CryptoFormat(), &a);

    man.SetX509CryptoFormat(&a);  // the X.509 format may be the primary
    EXPECT_EQ(a.CryptoMan(), &man);
    EXPECT_EQ(b.CryptoMan(), &man);

    man.SetCryptoFormat(nullptr);
    EXPECT_EQ(man.CryptoFormat(), nullptr);
    EXPECT_EQ(man.SecondaryCryptoFormat(), nullptr);
}

TEST(CryptoManSlots, DestroyedFormatLeavesItsSlotEmpty) {
    TCryptoMan man;
    auto primary = std::make_unique<TPlainFormat>();
    auto secondary = std::make_unique<TPlainFormat>();
    auto x509 = std::make_unique<TPlainFormat>();
    man.SetCryptoFormat(primary.get());
    man.SetSecondaryCryptoFormat(secondary.get());
    man.SetX509CryptoFormat(x509.get());

    secondary.reset();
    EXPECT_EQ(man.SecondaryCryptoFormat(), nullptr);
    x509.reset();
    EXPECT_EQ(man.X509CryptoFormat(), nullptr);
    primary.reset();
    EXPECT_EQ(man.CryptoFormat(), nullptr);
    man.ReleaseKeys();  // touches no destroyed format
}

TEST(CryptoManSlots, DestroyedManagerLeavesFormatsWithoutManager) {
    TPlainFormat primary, secondary, detached;
    {
        TCryptoMan man;
        man.SetCryptoFormat(&detached);
        man.SetCryptoFormat(&primary);  // detached keeps its notice, as it still names the manager
        man.SetSecondaryCryptoFormat(&secondary);
        man.BeginUse();
        EXPECT_EQ(detached.CryptoMan(), &man);
    }
    EXPECT_EQ(primary.CryptoMan(), nullptr);
    EXPECT_EQ(secondary.CryptoMan(), nullptr);
    EXPECT_EQ(detached.CryptoMan(), nullptr);
    EXPECT_EQ(primary.GetUserCert(), nullptr);  // a format without a manager reads nothing
}

TEST(CryptoManSlots, EitherDestructionOrderWithCachedKeys) {
    for (const bool managerFirst : {true, false}) {
        TempDir dir;
        dir.Write("U.pkey", TPlainKey::Content("pw"));
        dir.Write("U.pcer", TPlainCert::Content("U"));
        auto man = std::make_unique<TCryptoMan>();
        auto primary = std::make_unique<TPlainFormat>();
        auto secondary = std::make_unique<TPlainFormat>();
        man->SetCryptoFormat(primary.get());
        man->SetSecondaryCryptoFormat(secondary.get());
        man->SetCachePrivateKey(true);
        man->BeginUse();
        man->SetKeyInfo("U", SecureString("pw"), dir.Path(), KeyInfoFlags::All);
        man->CheckUserKeys();
        primary->CheckUserCert(0, "U");
        if (managerFirst) {
            man.reset();
            EXPECT_EQ(primary->CryptoMan(), nullptr);
            primary.reset();
            secondary.reset();
        } else {
            secondary.reset();
            primary.reset();
            EXPECT_EQ(man->CryptoFormat(), nullptr);
            man->EndUse();
            man.reset();
        }
    }
}

TEST(CryptoManSlots, FormatMovedBetweenManagersIsForgottenByBoth) {
    auto first = std::make_unique<TCryptoMan>();
    auto second = std::make_unique<TCryptoMan>();
    auto format = std::make_unique<TPlainFormat>();
    first->SetCryptoFormat(format.get());
    second->SetCachePrivateKey(true);
    second->SetCryptoFormat(format.get());
    EXPECT_EQ(format->CryptoMan(), second.get());

    first.reset();  // not the format's manager: it keeps the second and takes its cache flag
    EXPECT_EQ(format->CryptoMan(), second.get());
    EXPECT_TRUE(format->CacheKeys());

    format.reset();
    EXPECT_EQ(second->CryptoFormat(), nullptr);
}

TEST(CryptoManCache, FlagReachesPrimaryAndSecondaryAndOffReleases) {
    std::vector<std::string> log;
    TCryptoMan man;
    TPlainFormat primary("p", &log), secondary("s", &log), x509("x", &log);
    man.SetCryptoFormat(&primary);
    man.SetSecondaryCryptoFormat(&secondary);
    man.SetX509CryptoFormat(&x509);

    man.SetCachePrivateKey(true);
    EXPECT_TRUE(primary.CacheKeys());
    EXPECT_TRUE(secondary.CacheKeys());
    EXPECT_FALSE(x509.CacheKeys());
    EXPECT_TRUE(log.empty());

    man.SetCachePrivateKey(false);
    EXPECT_FALSE(primary.CacheKeys());
    EXPECT_EQ(log, (std::vector<std::string>{"p.ReleaseKeys", "s.ReleaseKeys"}));
}

TEST(CryptoManFormats, ChecksRunPrimaryThenSecondary) {
    std::vector<std::string> log;
    TempDir dir;
    dir.Write("U.pkey", TPlainKey::Content("pw"));
    TCryptoMan man;
    TPlainFormat primary("p", &log), secondary("s", &log);
    man.SetCryptoFormat(&primary);
    man.SetSecondaryCryptoFormat(&secondary);
    TCryptoManUse use(man);
    man.SetKeyInfo("U", SecureString("pw"), dir.Path(), KeyInfoFlags::All);
    log.clear();
    man.CheckUserKeys();
    man.CheckKeyPairs();
    EXPECT_EQ(log, (std::vector<std::string>{"p.CheckUserKey", "s.CheckUserKey", "p.CheckKeyPair",
                                             "s.CheckKeyPair"}));
}

class CryptoManKeyInfo : public ::testing::Test {
protected:
    void SetUp() override {
        man.SetCryptoFormat(&format);
        man.SetOnGetKeyInfo(
            [this](TCryptoMan&, std::string& user, SecureString& password, std::string& path) {
                ++events;
                user = "EVENTUSER";
                password = SecureString("event-pw");
                path = "/event";
            });
    }
    TCryptoMan man;
    TPlainFormat format;
    int events = 0;
};

TEST_F(CryptoManKeyInfo, AllFlagsOutsideBracketStoreNoPassword) {
    man.SetKeyInfo("USER01", SecureString("secret"), "/keys", KeyInfoFlags::All);
    EXPECT_EQ(man.GetUserName(), "USER01");
    EXPECT_EQ(man.GetKeyPath(), "/keys/");
    EXPECT_EQ(events, 0);
    EXPECT_EQ(man.GetPassword(), "event-pw");
    EXPECT_EQ(events, 1);
}

TEST_F(CryptoManKeyInfo, BracketKeepsParametersUntilOutermostEnd) {
    man.BeginUse();
    man.SetKeyInfo("USER01", SecureString("secret"), "/keys", KeyInfoFlags::All);
    man.BeginUse();
    man.EndUse();
    EXPECT_EQ(man.GetPassword(), "secret");
    man.SetKeyInfo("", SecureString("changed"), "", KeyInfoFlags::Password);
    EXPECT_EQ(man.GetPassword(), "changed");
    EXPECT_EQ(man.GetUserName(), "USER01");
    EXPECT_EQ(events, 0);
    man.EndUse();
    EXPECT_EQ(man.GetPassword(), "event-pw");
}

TEST_F(CryptoManKeyInfo, PartialFlagsInsideBracketStoreNoParameters) {
    TCryptoManUse use(man);
    man.SetKeyInfo("USER01", SecureString("secret"), "/keys",
                   KeyInfoFlags::UserName | KeyInfoFlags::Password);
    EXPECT_EQ(man.GetUserName(), "USER01");
    EXPECT_EQ(man.GetKeyPath(), "/event/");  // not flagged, so the event answers
    EXPECT_EQ(events, 1);
    EXPECT_EQ(man.GetPassword(), "event-pw");  // the event's answer is now kept for the bracket
    EXPECT_EQ(events, 1);
}

TEST_F(CryptoManKeyInfo, EventAskedOncePerBracket) {
    {
        TCryptoManUse use(man);
        EXPECT_EQ(man.GetPassword(), "event-pw");
        EXPECT_EQ(man.GetUserName(), "EVENTUSER");
        EXPECT_EQ(man.GetKeyPath(), "/event/");
        EXPECT_EQ(events, 1);
    }
    EXPECT_EQ(man.GetPassword(), "event-pw");
    EXPECT_EQ(man.GetPassword(), "event-pw");
    EXPECT_EQ(events, 3);
}

TEST_F(CryptoManKeyInfo, HandlerThatAsksTheManagerBackDoesNotRecurse) {
    man.SetOnGetKeyInfo(
        [this](TCryptoMan& sender, std::string& user, SecureString& password, std::string& path) {
            ++events;
            user = sender.GetUserName();
            password = sender.GetPassword();
            path = sender.GetKeyPath();
        });
    EXPECT_EQ(man.GetPassword(), "");
    EXPECT_EQ(events, 1);
}

TEST(CryptoManKeyInfoNoHandler, StoredParametersAnswerWithoutHandler) {
    TCryptoMan man;
    TPlainFormat format;
    man.SetCryptoFormat(&format);
    std::string user = "untouched", path = "untouched";
    SecureString password("untouched");
    man.GetKeyInfo(user, password, path);
    EXPECT_EQ(password, "untouched");

    TCryptoManUse use(man);
    man.SetKeyInfo("USER01", SecureString("secret"), "/keys", KeyInfoFlags::All);
    EXPECT_EQ(man.GetPassword(), "secret");
}

TEST(CryptoManKeyInfoEx, PasswordEmptiedThenEventFills) {
    TCryptoMan man;
    SecureString password("old");
    TMemoryStream cert, key;
    man.GetKeyInfoEx(password, cert, key);
    EXPECT_EQ(password, "");
    man.SetOnGetKeyInfoEx([](TCryptoMan&, SecureString& pw, TStream& c, TStream& k) {
        pw = SecureString("second");
        c.WriteBytes("CERT");
        k.WriteBytes("KEY");
    });
    man.GetKeyInfoEx(password, cert, key);
    EXPECT_EQ(password, "second");
    EXPECT_EQ(cert.Bytes(), "CERT");
    EXPECT_EQ(key.Bytes(), "KEY");
}

TEST(CryptoManKeyPath, TrailingSeparator) {
    struct Case {
        std::string stored, expected;
    };
    const Case cases[] = {
        {"/home/u/keys", "/home/u/keys/"},
        {"/home/u/keys/", "/home/u/keys/"},
        {"", "/"},
        {"USBToken:TOKEN 01", "USBToken:TOKEN 01\\"},
        {"USBToken:TOKEN 01\\", "USBToken:TOKEN 01\\"},
    };
    for (const Case& c : cases) {
        TCryptoMan man;
        man.SetKeyInfo("", SecureString(), c.stored, KeyInfoFlags::KeyPath);
        EXPECT_EQ(man.GetKeyPath(), c.expected) << c.stored;
    }
}

class CryptoManBracket : public ::testing::Test {
protected:
    void SetUp() override {
        dir.Write("USER01.pkey", TPlainKey::Content("pw"));
        man.SetCryptoFormat(&primary);
        man.SetSecondaryCryptoFormat(&secondary);
        man.SetKeyInfo("USER01", SecureString(), dir.Path(),
                       KeyInfoFlags::UserName | KeyInfoFlags::KeyPath);
        man.SetOnGetKeyInfo([](TCryptoMan&, std::string&, SecureString& password, std::string&) {
            password = SecureString("pw");
        });
    }
    TempDir dir;
    TCryptoMan man;
    TPlainFormat primary, secondary;
};

TEST_F(CryptoManBracket, NestedBracketsReleaseOnlyAtOutermostEnd) {
    man.BeginUse();
    man.BeginUse();
    EXPECT_EQ(primary.UseCount(), 2);
    EXPECT_EQ(secondary.UseCount(), 2);
    TCustomKey* key = primary.GetUserKey();
    const int releases = primary.Releases;
    man.EndUse();
    EXPECT_EQ(primary.Releases, releases);
    EXPECT_EQ(primary.GetUserKey(), key);
    EXPECT_EQ(primary.KeyReads, 1);
    man.EndUse();
    EXPECT_EQ(primary.Releases, releases + 1);
    EXPECT_EQ(secondary.Releases, releases + 1);
    EXPECT_EQ(primary.UseCount(), 0);

    man.EndUse();  // one too many: no count goes below zero
    EXPECT_EQ(man.UseCount(), 0);
    EXPECT_EQ(primary.UseCount(), 0);
    man.BeginUse();
    EXPECT_EQ(man.UseCount(), 1);
    EXPECT_EQ(primary.UseCount(), 1);
    man.EndUse();
}

TEST_F(CryptoManBracket, GetUserKeyReadsEveryTimeOutsideAndOnceInside) {
    primary.GetUserKey();
    primary.GetUserKey();
    EXPECT_EQ(primary.KeyReads, 2);
    {
        TCryptoManUse use(man);
        primary.GetUserKey();
        primary.GetUserKey();
    }
    EXPECT_EQ(primary.KeyReads, 3);
}

TEST_F(CryptoManBracket, FirstBracketDropsWhatAnEarlierFailureLeft) {
    man.SetCachePrivateKey(true);
    primary.GetUserKey();
    man.SetCachePrivateKey(false);
    primary.IncUse();  // as if a bracket had been left open on the format
    primary.GetUserKey();
    const int reads = primary.KeyReads;
    TCryptoManUse use(man);
    primary.GetUserKey();
    EXPECT_EQ(primary.KeyReads, reads + 1);
}

TEST_F(CryptoManBracket, CachingKeepsKeysAndParametersBeyondTheBracket) {
    dir.Write("USER01.pkey", TPlainKey::Content("kept"));
    man.SetCachePrivateKey(true);
    {
        TCryptoManUse use(man);
        man.SetKeyInfo("USER01", SecureString("kept"), dir.Path(), KeyInfoFlags::All);
        primary.GetUserKey();
    }
    EXPECT_EQ(primary.Releases, 0);
    EXPECT_EQ(man.GetPassword(), "kept");
    primary.GetUserKey();
    EXPECT_EQ(primary.KeyReads, 1);
    man.SetCachePrivateKey(false);
    primary.GetUserKey();
    EXPECT_EQ(primary.KeyReads, 2);
}

TEST_F(CryptoManBracket, GuardEndsTheBracketWhenTheWorkFails) {
    try {
        TCryptoManUse use(man);
        man.SetKeyInfo("USER01", SecureString("wrong"), dir.Path(), KeyInfoFlags::All);
        man.CheckUserKeys();
        FAIL() << "wrong password accepted";
    } catch (const EPlainWrongPassword&) {
    }
    EXPECT_EQ(man.UseCount(), 0);
    EXPECT_EQ(primary.UseCount(), 0);
    EXPECT_EQ(man.GetPassword(), "pw");  // the bracket's parameters are gone
}

TEST(CryptoManBracketNoFormat, BracketWithoutPrimaryIsHarmless) {
    TCryptoMan man;
    TCryptoManUse use(man);
    EXPECT_EQ(man.UseCount(), 1);
}

TEST(CryptoManFiles, MissingFileFailures) {
    TempDir dir;
    try {
        TCryptoMan::CheckUserDiskFile(dir.File("USER01.key"));
        FAIL();
    } catch (const EFileStreamError& e) {
        EXPECT_EQ(e.Message(), "InsertUserDisk");
    }
    dir.Write("USER01.key", "x");
    TCryptoMan::CheckUserDiskFile(dir.File("USER01.key"));

    try {
        TCryptoMan::CheckTokenFileData("");
        FAIL();
    } catch (const EFileStreamError&) {
        FAIL() << "a token entry is not a file";
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "InsertUSBDisk");
    }
    TCryptoMan::CheckTokenFileData("x");
}

TEST(CryptoManFiles, InsertUserDiskCarriesTheFileNameWhenTranslated) {
    MessageTextProc = [](const std::string& key, std::string& text) { text = key + " %s"; };
    try {
        TCryptoMan::CheckUserDiskFile("/nowhere/USER01.key");
        ADD_FAILURE();
    } catch (const EFileStreamError& e) {
        EXPECT_EQ(e.Message(), "InsertUserDisk /nowhere/USER01.key");
    }
    MessageTextProc = nullptr;
}
