#include "OpenSSLTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>

#include "core/Encoding.h"

namespace brelo::test {

std::string Shell(const std::string& command, int* status) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run: " + command);
    }
    std::string out;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    const int rc = pclose(pipe);
    if (status != nullptr) {
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    return out;
}

std::string MustShell(const std::string& command) {
    int status = 0;
    std::string out = Shell(command, &status);
    if (status != 0) {
        throw std::runtime_error("command failed (" + std::to_string(status) + "): " + command + "\n" + out);
    }
    return out;
}

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

TTempDir::TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brelo-ossl-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    FPath = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

TKeyFolder::TKeyFolder(const std::string& login, const std::string& password, int bits)
    : Login(login), Password(password) {
    MustShell("BITS=" + std::to_string(bits) + " " + Quote(BRELO_SOURCE_DIR "/tests/support/make_key_folder.sh") +
              " " + Quote(FDir.Path().string()) + " " + Quote(login) + " " + Quote(password) + " 2>&1");
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteText(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

SecureString Cp1251(const std::string& utf8) { return SecureString(Utf8ToCp1251(utf8)); }

}  // namespace brelo::test

namespace brelo::test {
const TKeyFolder& SharedKeyFolder() {
    static const TKeyFolder folder("USER01", "Пароль Ёжика 1");
    return folder;
}
}  // namespace brelo::test
