// PIN and PUK checks on a device's state. Each check counts its tries in the state, which
// the caller stores whatever the outcome.
#pragma once

#include "Device.h"

#include <cstdint>
#include <string_view>

namespace brelo::nkicnt {

/// NKI_OK and the tries restored; NKI_E_PIN_REFUSED | tries left after a wrong PIN (the last
/// wrong try leaves 0 and blocks the PIN); NKI_E_PIN_LOCKED once blocked; NKI_E_PIN_FORM for
/// a text the device never holds (no try is spent).
uint32_t VerifyPin(Device& device, std::string_view pin);

/// As VerifyPin for the PUK, but a wrong PUK is NKI_E_PUK_INCORRECT.
uint32_t VerifyPuk(Device& device, std::string_view puk);

}  // namespace brelo::nkicnt
