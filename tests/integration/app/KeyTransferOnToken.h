#pragma once
// A real token for the wizard: a SoftHSM2 token in a private store, presented under a token
// maker's PKCS#11 library name by the project's test module, prepared as the bank prepares
// one (user PIN derived from the login, an empty key block); and a key folder made by the
// openssl tool with a GOST pair made by the project. What ends up on the token is read back
// with pkcs11-tool, an independent client.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/KeyTransferServices.h"
#include "brelo_test/ScopedEnv.h"
#include "brelo_test/SoftHsmStore.h"
#include "brelo_test/TempDir.h"
#include "core/ByteString.h"

namespace brelo::test {

inline const std::string Login = "USER01";
inline const std::string Password = "Пароль 01";

class KeyTransferOnToken : public ::testing::Test {
protected:
    KeyTransferOnToken();
    ~KeyTransferOnToken() override;

    /// A token whose user PIN is derived from PinLogin, holding an empty key block.
    void PrepareToken(const std::string& Label, const std::string& PinLogin = Login);
    /// The key folder: CA.CER, TRANSPORT.CER, USER01.CER, USER01.KEY, and with Gost the pair
    /// USER01.CER2 / USER01.KEY2.
    void MakeKeyFolder(bool Gost);
    std::string KeyFolder() const { return FKeys.path().string(); }
    ByteString KeyFile(const std::string& Name) const;
    /// The wizard's crypto manager and token list, made on first use (after the token exists).
    TKeyTransferServices& Services();
    /// The sixteen entries of the token's key block, read by pkcs11-tool with the PIN
    /// derived from PinText.
    std::vector<ByteString> TokenEntries(const std::string& Label, const std::string& PinText);
    /// True when pkcs11-tool can log in with the PIN derived from PinText.
    bool TokenOpensWith(const std::string& Label, const std::string& PinText);

private:
    // The token maker the test module presents SoftHSM2 as, with room for a key block.
    ScopedEnv FTarget{"BRELO_P11_TARGET", kSoftHsmModule};
    ScopedEnv FMaker{"BRELO_P11_MANUFACTURER", "SafeNet"};
    ScopedEnv FMemory{"BRELO_P11_TOTAL_PRIVATE", "65536"};
    std::unique_ptr<SoftHsmStore> FStore;
    TempDir FKeys{"brelo-keys"};
    std::unique_ptr<TKeyTransferServices> FServices;
};

}  // namespace brelo::test
