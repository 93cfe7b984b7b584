#include "app/TokenListDevices.h"

#include "token/BreloUsbToken.h"

namespace brelo {

TTokenListDevices::TTokenListDevices() : FTokenList(std::make_unique<TBreloUsbTokenList>(0, 0)) {}

TTokenListDevices::~TTokenListDevices() = default;

std::vector<TDeviceEntry> TTokenListDevices::Enumerate() {
    // Every kind; tokens reached through PKCS#11 only when initialised.
    FTokenList->Refresh(0, 1);
    std::vector<TDeviceEntry> entries;
    for (int i = 0; i < FTokenList->Count(); ++i) {
        const TnkiToken& token = FTokenList->Items(i);
        entries.push_back({token.Name(), token.UID()});
    }
    return entries;
}

}  // namespace brelo
