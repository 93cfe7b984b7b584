#include "KeyTransferOnToken.h"

#include <filesystem>
#include <stdexcept>

#include "app/demo/GostKeyPair.h"
#include "brelo_test/Command.h"
#include "brelo_test/Pkcs11Tool.h"
#include "core/Streams.h"
#include "token/nkiTokenCodes.h"

namespace brelo::test {

namespace {

const std::string SoPin = "87654321";

std::string Pin(const std::string& Text) {
    return TnkiTokenCodes::DerivePinCode(Text).str();
}

// The stored block: sixteen entries, each a 2-byte little-endian length and its bytes.
std::vector<ByteString> ParseBlock(const ByteString& Block) {
    std::vector<ByteString> entries;
    std::size_t pos = 0;
    for (int i = 0; i < 16; ++i) {
        if (pos + 2 > Block.size())
            throw std::runtime_error("key block ends early");
        const std::size_t length = static_cast<unsigned char>(Block[pos]) |
                                   static_cast<unsigned char>(Block[pos + 1]) << 8;
        if (pos + 2 + length > Block.size())
            throw std::runtime_error("key block entry too long");
        entries.push_back(Block.substr(pos + 2, length));
        pos += 2 + length;
    }
    return entries;
}

}  // namespace

KeyTransferOnToken::KeyTransferOnToken() : FStore(std::make_unique<SoftHsmStore>()) {
    StartUpKeyTransfer();
}

KeyTransferOnToken::~KeyTransferOnToken() {
    FServices.reset();
    ShutDownKeyTransfer();  // the next test's store is read afresh
}

void KeyTransferOnToken::PrepareToken(const std::string& Label, const std::string& PinLogin) {
    FStore->InitToken(Label, SoPin, Pin(PinLogin));
    WriteKeysObject(kSoftHsmModule, Label, Pin(PinLogin), ByteString(32, '\0'));
}

void KeyTransferOnToken::MakeKeyFolder(bool Gost) {
    RequireProgram("openssl", "openssl");
    const CommandResult made =
        RunCommand({"bash", BRELO_MAKE_KEY_FOLDER, KeyFolder(), Login, Password});
    if (!made.ok())
        throw std::runtime_error("make_key_folder.sh failed: " + made.err);
    std::filesystem::remove_all(FKeys / ".fixture");
    if (Gost)
        MakeGostKeyPair(KeyFolder(), Login, Password);
}

ByteString KeyTransferOnToken::KeyFile(const std::string& Name) const {
    return ReadFileBytes((FKeys / Name).string());
}

TKeyTransferServices& KeyTransferOnToken::Services() {
    if (!FServices)
        FServices = std::make_unique<TKeyTransferServices>();
    return *FServices;
}

std::vector<ByteString> KeyTransferOnToken::TokenEntries(const std::string& Label,
                                                         const std::string& PinText) {
    return ParseBlock(ReadKeysObject(kSoftHsmModule, Label, Pin(PinText)));
}

bool KeyTransferOnToken::TokenOpensWith(const std::string& Label, const std::string& PinText) {
    return RunCommand({"pkcs11-tool", "--module", kSoftHsmModule, "--token-label", Label, "--login",
                       "--pin", Pin(PinText), "--list-objects", "--type", "data"})
        .ok();
}

}  // namespace brelo::test
