// brelo-demo-token: prepares a SoftHSM2 token the way the bank hands a token to a customer:
// the user PIN derived from the customer's login and an empty key block (sixteen empty
// entries) in the key-storage data object. The store is the one SOFTHSM2_CONF names.
//   brelo-demo-token --label LABEL --login LOGIN --so-pin SOPIN
// The derived PIN is handed to softhsm2-util and pkcs11-tool and never printed.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/KeyTool.h"
#include "token/nkiTokenCodes.h"

extern char** environ;

namespace {

const char* const SoftHsmModule = "/usr/lib/softhsm/libsofthsm2.so";

int Run(const std::vector<std::string>& Args) {
    std::vector<char*> argv;
    for (const std::string& arg : Args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::cerr << "brelo-demo-token: " << Args[0] << " не запускается\n";
        return 127;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string Option(int argc, char** argv, const std::string& Name) {
    for (int i = 1; i + 1 < argc; ++i)
        if (argv[i] == Name)
            return argv[i + 1];
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    const std::string label = Option(argc, argv, "--label");
    const std::string login = Option(argc, argv, "--login");
    const std::string soPin = Option(argc, argv, "--so-pin");
    if (label.empty() || login.empty() || soPin.empty() || !std::getenv("SOFTHSM2_CONF")) {
        std::cerr << "Использование: SOFTHSM2_CONF=... brelo-demo-token --label МЕТКА --login "
                     "ЛОГИН --so-pin PIN\n";
        return 2;
    }
    // The login as the wizard hands it on: upper case (the PIN differs with letter case).
    const std::string pin =
        brelo::TnkiTokenCodes::DerivePinCode(brelo::UpperCaseLogin(login)).str();
    if (Run({"softhsm2-util", "--init-token", "--free", "--label", label, "--so-pin", soPin,
             "--pin", pin}) != 0)
        return 1;

    char blockFile[] = "/tmp/brelo-demo-block-XXXXXX";
    const int fd = ::mkstemp(blockFile);
    if (fd < 0)
        return 1;
    const std::string emptyBlock(32, '\0');
    const bool written = ::write(fd, emptyBlock.data(), emptyBlock.size()) ==
                         static_cast<ssize_t>(emptyBlock.size());
    ::close(fd);
    const int status =
        written ? Run({"pkcs11-tool", "--module", SoftHsmModule, "--token-label", label, "--login",
                       "--pin", pin, "--write-object", blockFile, "--type", "data",
                       "--application-label", "Brelo", "--label", "BreloKeys", "--private"})
                : 1;
    std::remove(blockFile);
    return status == 0 ? 0 : 1;
}
