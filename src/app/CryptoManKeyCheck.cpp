#include "app/CryptoManKeyCheck.h"

#include "cryptoman/CryptoMan.h"

namespace brelo {

void TCryptoManKeyCheck::AttachGost(bool Attach) {
    FMan.SetSecondaryCryptoFormat(Attach ? &FGost : nullptr);
}
void TCryptoManKeyCheck::BeginUse() {
    FMan.BeginUse();
}
void TCryptoManKeyCheck::EndUse() {
    FMan.EndUse();
}
void TCryptoManKeyCheck::ReleaseKeys() {
    FMan.ReleaseKeys();
}

void TCryptoManKeyCheck::SetKeyInfo(const std::string& UserName, const SecureString& Password,
                                    const std::string& KeyPath) {
    FMan.SetKeyInfo(UserName, Password, KeyPath, KeyInfoFlags::All);
}

void TCryptoManKeyCheck::CheckUserKeys() {
    FMan.CheckUserKeys();
}
void TCryptoManKeyCheck::CheckKeyPairs() {
    FMan.CheckKeyPairs();
}

}  // namespace brelo
