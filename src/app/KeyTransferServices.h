#pragma once
// What BreloKeyTransfer and brelo-keytool are made of: the crypto manager with its two
// formats, and the wizard's token list; plus the start-up every module needs first.

#include <memory>

#include "app/KeyTransferPorts.h"

namespace brelo {

/// Registers the token hooks and the SHA-1 text hook. Runs once, before the window or the
/// tool exists; a second call changes nothing.
void StartUpKeyTransfer();
/// Frees the hooks' token list and the token libraries at the end of the run.
void ShutDownKeyTransfer();

class TKeyTransferServices {
public:
    TKeyTransferServices();
    ~TKeyTransferServices();
    TKeyCheck& Keys();
    TDeviceSource& Devices();

private:
    struct TParts;
    std::unique_ptr<TParts> FParts;
};

}  // namespace brelo
