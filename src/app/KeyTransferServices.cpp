#include "app/KeyTransferServices.h"

#include "app/CryptoManKeyCheck.h"
#include "app/TokenListDevices.h"
#include "cryptoman/CryptoMan.h"
#include "gost/CryptoCifer.h"
#include "openssl/OpenSSLCryptoFormat.h"
#include "token/BreloUsbToken.h"

namespace brelo {

void StartUpKeyTransfer() {
    RegisterBreloUsbTokenHooks();
    RegisterOpenSSLFormat();
}

void ShutDownKeyTransfer() {
    ReleaseBreloUsbTokens();
}

// The manager holds both formats; each side tells the other when it goes, so the order of
// the members only decides who is told.
struct TKeyTransferServices::TParts {
    TOpenSSLCryptoFormat OpenSSLCryptoFormat;
    TCiferCryptoFormat CiferCryptoFormat;
    TCryptoMan CryptoMan;
    TCryptoManKeyCheck Keys{CryptoMan, CiferCryptoFormat};
    TTokenListDevices Devices;

    TParts() {
        CryptoMan.SetCryptData(true);
        CryptoMan.SetCryptoFormat(&OpenSSLCryptoFormat);
        CryptoMan.SetSecondaryCryptoFormat(&CiferCryptoFormat);
    }
};

TKeyTransferServices::TKeyTransferServices() : FParts(std::make_unique<TParts>()) {}
TKeyTransferServices::~TKeyTransferServices() = default;
TKeyCheck& TKeyTransferServices::Keys() {
    return FParts->Keys;
}
TDeviceSource& TKeyTransferServices::Devices() {
    return FParts->Devices;
}

}  // namespace brelo
