#pragma once
// Fixtures made by the openssl command-line tool, so that the code under test meets files it
// did not write itself.

#include <filesystem>
#include <memory>
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
    /// A new folder in a temporary place, removed with the object.
    TKeyFolder(const std::string& login, const std::string& password, int bits = 1024);
    /// The folder at Path, made there first when it does not hold the files yet (several test
    /// processes may ask at once; one makes it, the others wait). It stays for later runs.
    TKeyFolder(const std::filesystem::path& path, const std::string& login, const std::string& password);
    std::string Dir() const { return FPath.string() + "/"; }
    std::string File(const std::string& name) const { return (FPath / name).string(); }
    std::string Fixture(const std::string& name) const { return (FPath / ".fixture" / name).string(); }
    std::string Login, Password;

private:
    std::unique_ptr<TTempDir> FTemp;
    std::filesystem::path FPath;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& bytes);
/// The password bytes that protect key disks.
SecureString Cp1251(const std::string& utf8);

/// The key folder the tests share (read only; copy before changing): login USER01, a Cyrillic
/// password. Made once per build tree.
const TKeyFolder& SharedKeyFolder();
}  // namespace brelo::test

// The test files live in namespace brelo and use these fixtures unqualified.
namespace brelo {
using test::Cp1251;
using test::MustShell;
using test::Quote;
using test::ReadText;
using test::SharedKeyFolder;
using test::Shell;
using test::TKeyFolder;
using test::TTempDir;
using test::WriteText;
}  // namespace brelo
