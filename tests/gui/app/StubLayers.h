#pragma once
// Stand-ins for the crypto manager and the token list, for driving the window alone.

#include <string>
#include <utility>
#include <vector>

#include "app/KeyTransferPorts.h"
#include "core/CryptoErrors.h"

namespace brelo::test {

/// Accepts every key, or refuses the password when asked to.
struct TStubKeys : TKeyCheck {
    bool RefusePassword = false;
    void AttachGost(bool) override {}
    void BeginUse() override {}
    void EndUse() override {}
    void ReleaseKeys() override {}
    void SetKeyInfo(const std::string&, const SecureString&, const std::string&) override {}
    void CheckUserKeys() override {
        if (RefusePassword)
            throw EZTCryptoError("WrongPassw", 39);
    }
    void CheckKeyPairs() override {}
};

/// Always lists the same tokens.
struct TStubTokens : TDeviceSource {
    explicit TStubTokens(std::vector<TDeviceEntry> entries) : Entries(std::move(entries)) {}
    std::vector<TDeviceEntry> Enumerate() override { return Entries; }
    std::vector<TDeviceEntry> Entries;
};

}  // namespace brelo::test
