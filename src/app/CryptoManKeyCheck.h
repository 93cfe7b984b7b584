#pragma once
// The wizard's crypto manager: the OpenSSL format as primary, the GOST format attached as
// secondary only for a key folder with a GOST pair.

#include "app/KeyTransferPorts.h"

namespace brelo {

class TCryptoMan;
class TCustomCryptoFormat;

class TCryptoManKeyCheck : public TKeyCheck {
public:
    /// Man must already hold its primary format; Gost is attached on demand.
    TCryptoManKeyCheck(TCryptoMan& Man, TCustomCryptoFormat& Gost) : FMan(Man), FGost(Gost) {}

    void AttachGost(bool Attach) override;
    void BeginUse() override;
    void EndUse() override;
    void ReleaseKeys() override;
    void SetKeyInfo(const std::string& UserName, const SecureString& Password,
                    const std::string& KeyPath) override;
    void CheckUserKeys() override;
    void CheckKeyPairs() override;

private:
    TCryptoMan& FMan;
    TCustomCryptoFormat& FGost;
};

}  // namespace brelo
