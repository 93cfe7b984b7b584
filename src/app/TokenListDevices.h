#pragma once
// The wizard's own token list for its device page (the hooks keep another one).

#include <memory>

#include "app/KeyTransferPorts.h"

namespace brelo {

class TBreloUsbTokenList;

class TTokenListDevices : public TDeviceSource {
public:
    /// Every kind of token, initialised or not; each enumeration narrows to usable ones.
    TTokenListDevices();
    ~TTokenListDevices() override;
    std::vector<TDeviceEntry> Enumerate() override;

private:
    std::unique_ptr<TBreloUsbTokenList> FTokenList;
};

}  // namespace brelo
