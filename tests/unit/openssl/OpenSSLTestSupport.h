#pragma once
// Fixtures made by the openssl command-line tool, so that the code under test meets files it
// did not write itself.

#include <filesystem>
#include <string>

#include "core/ByteString.h"

namespace brelo::test {

/// Runs a shell command; its standard output. Status receives the exit status.
std::string Shell(const std::string& command, int* status = nullptr);
/// Shell, failing the test (by exception) unless the command succeeds.
std::string MustShell(const std::string& command);
/// Single-quoted for the shell.
std::string Quote(const std::string& text);

/// A temporary folder, removed with its content.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }
    std::string operator/(const std::string& name) const { return (FPath / name).string(); }

private:
    std::filesystem::path FPath;
};

/// A key folder made by tests/support/make_key_folder.sh (CA.CER, TRANSPORT.CER, LOGIN.CER,
/// LOGIN.KEY; private keys in .fixture/).
class TKeyFolder {
public:
    TKeyFolder(const std::string& login, const std::string& password, int bits = 1024);
    std::string Dir() const { return FDir.Path().string() + "/"; }
    std::string File(const std::string& name) const { return FDir / name; }
    std::string Fixture(const std::string& name) const { return FDir / (".fixture/" + name); }
    std::string Login, Password;

private:
    TTempDir FDir;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& bytes);
/// The password bytes that protect key disks.
SecureString Cp1251(const std::string& utf8);

}  // namespace brelo::test

namespace brelo::test {
/// One key folder per test program: login USER01, a Cyrillic password.
const TKeyFolder& SharedKeyFolder();
}  // namespace brelo::test
