#pragma once
// What the wizard needs from the layers below it, kept to the calls it makes, so that the
// controller can be driven by small fakes in tests and by the real crypto manager and token
// list in the programs.

#include <string>
#include <vector>

#include "core/ByteString.h"

namespace brelo {

/// The crypto manager as the wizard uses it: the OpenSSL format as primary, the GOST format
/// attached as secondary only when the key folder holds a GOST pair.
class TKeyCheck {
public:
    virtual ~TKeyCheck() = default;
    /// Attaches (true) or detaches (false) the GOST format as the secondary format.
    virtual void AttachGost(bool Attach) = 0;
    virtual void BeginUse() = 0;
    virtual void EndUse() = 0;
    virtual void ReleaseKeys() = 0;
    /// Stores all three values for the current usage bracket.
    virtual void SetKeyInfo(const std::string& UserName, const SecureString& Password,
                            const std::string& KeyPath) = 0;
    /// Every attached format opens the customer's private key with the password.
    virtual void CheckUserKeys() = 0;
    /// Every attached format checks that certificate and private key belong together.
    virtual void CheckKeyPairs() = 0;
};

/// One usable token as the device page shows it.
struct TDeviceEntry {
    std::string Name;
    std::string UID;
};

/// The wizard's own token list (not the one the hooks use).
class TDeviceSource {
public:
    virtual ~TDeviceSource() = default;
    /// Re-enumerates every kind of token, PKCS#11 tokens only when initialised.
    virtual std::vector<TDeviceEntry> Enumerate() = 0;
};

}  // namespace brelo
