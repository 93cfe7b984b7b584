// brelo-keytool end to end: the built program, its password on standard input, onto a real
// PKCS#11 token; then its own read-back and pkcs11-tool's.

#include <gmock/gmock.h>

#include "KeyTransferOnToken.h"
#include "brelo_test/Command.h"

namespace brelo::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class KeyToolOnTokenTest : public KeyTransferOnToken {
protected:
    CommandResult Tool(std::vector<std::string> Args, const std::string& Input = Password + "\n") {
        Args.insert(Args.begin(), BRELO_KEYTOOL);
        CommandResult result = RunCommand(Args, Input);
        EXPECT_THAT(result.out + result.err, Not(HasSubstr(Password)));
        return result;
    }
};

TEST_F(KeyToolOnTokenTest, ListsTransfersAndShowsBack) {
    PrepareToken("BRELO-01");
    MakeKeyFolder(true);

    const CommandResult devices = Tool({"devices"}, "");
    ASSERT_TRUE(devices.ok()) << devices.err;
    ASSERT_EQ(devices.out.substr(0, 33), "BRELO-01" + std::string(24, ' ') + "[");
    const std::string line = devices.out.substr(0, devices.out.find('\n'));

    const CommandResult transfer =
        Tool({"transfer", "--login", "user01", "--keys", KeyFolder(), "--device", line});
    ASSERT_TRUE(transfer.ok()) << transfer.err;
    EXPECT_EQ(transfer.out, "Ключи пользователя USER01 перенесены на USB токен\n");
    const auto entries = TokenEntries("BRELO-01", Password);
    EXPECT_EQ(entries[3], KeyFile("USER01.KEY"));
    EXPECT_EQ(entries[5], KeyFile("USER01.KEY2"));

    const CommandResult show = Tool({"show", "--device", line});
    ASSERT_TRUE(show.ok()) << show.err;
    EXPECT_THAT(show.out, HasSubstr(" 2  сертификат пользователя: " +
                                    std::to_string(KeyFile("USER01.CER").size()) + " байт\n"));
    EXPECT_THAT(show.out, HasSubstr("субъект: CN=USER01,O=Brelo Test,C=RU"));
    EXPECT_THAT(show.out, HasSubstr(" 5  ГОСТ секретный ключ пользователя: " +
                                    std::to_string(KeyFile("USER01.KEY2").size())));
    EXPECT_THAT(show.out, Not(HasSubstr("PRIVATE KEY")));
}

TEST_F(KeyToolOnTokenTest, FailuresExitNonZeroWithTheWizardsText) {
    PrepareToken("BRELO-01", "USER02");
    MakeKeyFolder(false);
    const std::vector<std::string> transfer{"transfer", "--login",   "USER01",
                                            "--keys",   KeyFolder(), "--first"};

    CommandResult r = Tool(transfer, "wrong password\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("Указан неверный пароль к секретному ключу"));

    r = Tool(transfer);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(
        r.err,
        HasSubstr("Ошибка аутентификации пользователя. Возможно, данный токен не был привязан к "
                  "пользователю USER01"));
    EXPECT_EQ(r.out, "");

    r = Tool({"show", "--device", "NO SUCH TOKEN"});
    EXPECT_EQ(r.exitCode, 1);
}

}  // namespace
}  // namespace brelo::test
