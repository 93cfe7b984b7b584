#include "Credentials.h"

#include "nkicnt.h"

namespace brelo::nkicnt {
namespace {

bool Same(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

// NKI_OK, NKI_E_PIN_LOCKED, NKI_E_PIN_FORM, or the refusal with the tries now left.
uint32_t Verify(const Secret& stored, Tries& tries, std::string_view given, uint32_t refused) {
  if (tries.left == 0) return NKI_E_PIN_LOCKED;
  if (!ValidCredential(given)) return NKI_E_PIN_FORM;
  if (Same(stored.bytes(), given)) {
    tries.left = tries.max;
    return NKI_OK;
  }
  --tries.left;
  return refused;
}

}  // namespace

uint32_t VerifyPin(Device& device, std::string_view pin) {
  const uint32_t rv = Verify(device.pin, device.pinTries, pin, NKI_E_PIN_REFUSED);
  return rv == NKI_E_PIN_REFUSED ? (NKI_E_PIN_REFUSED | device.pinTries.left) : rv;
}

uint32_t VerifyPuk(Device& device, std::string_view puk) {
  return Verify(device.puk, device.pukTries, puk, NKI_E_PUK_INCORRECT);
}

}  // namespace brelo::nkicnt
