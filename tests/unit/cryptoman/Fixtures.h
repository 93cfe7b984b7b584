#pragma once
// Temporary key folders and a fake token behind the token hooks.

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Streams.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo::test {

/// A fresh folder under the system's temporary directory, removed with its content.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "cryptoman-XXXXXX").string();
        FPath = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }
    std::string Write(const std::string& name, const ByteString& bytes) const {
        WriteFileBytes(File(name), bytes);
        return File(name);
    }

private:
    std::string FPath;
};

/// One token named "TOKEN 01" behind the token hooks while the object lives; it counts how
/// often its sixteen entries are read and records the device names the hooks were given.
class FakeToken {
public:
    static constexpr const char* Name = "TOKEN 01";
    std::array<ByteString, 16> Entries;
    bool Present = true;
    int DataReads = 0;
    std::vector<std::string> DeviceNames;
    std::string LastPassword;

    FakeToken() {
        TBreloUsbTokenInt::SetReadTokenDataProc([this](const std::string& device,
                                                       const SecureString& password,
                                                       TBreloUsbTokenFileDataHolder& holder) {
            Seen(device);
            LastPassword = password.str();
            ++DataReads;
            for (int i = 0; i < 16 && device == Name; ++i) {
                holder.SetData(i, Entries[i]);
            }
            return device == Name;
        });
        TBreloUsbTokenInt::SetReadTokenFileProc(
            [this](const std::string& device, int entry, const SecureString&, TStream& data) {
                Seen(device);
                data.WriteBytes(Entries.at(entry));
                return true;
            });
        TBreloUsbTokenInt::SetTokenPresentProc([this](const std::string& device) {
            Seen(device);
            return Present && device == Name;
        });
        TBreloUsbTokenInt::SetGetTokenInfoProc(
            [this](const std::string& device, TUsbTokenInfo& info) {
                Seen(device);
                info = TUsbTokenInfo{Name, "SERIAL-77", 5};
            });
    }
    ~FakeToken() {
        TBreloUsbTokenInt::SetReadTokenDataProc(nullptr);
        TBreloUsbTokenInt::SetReadTokenFileProc(nullptr);
        TBreloUsbTokenInt::SetTokenPresentProc(nullptr);
        TBreloUsbTokenInt::SetGetTokenInfoProc(nullptr);
    }
    FakeToken(const FakeToken&) = delete;
    FakeToken& operator=(const FakeToken&) = delete;

private:
    void Seen(const std::string& device) { DeviceNames.push_back(device); }
};

}  // namespace brelo::test
