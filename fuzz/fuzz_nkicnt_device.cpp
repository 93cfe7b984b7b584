// The data file of a software native token, as read from a device folder.
#include "Device.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const auto device =
        brelo::nkicnt::ParseDevice(std::string_view(reinterpret_cast<const char*>(data), size));
    // What parses must survive being written and read again unchanged.
    const auto text = brelo::nkicnt::FormatDevice(device);
    if (brelo::nkicnt::FormatDevice(brelo::nkicnt::ParseDevice(text.bytes())).bytes() !=
        text.bytes())
      __builtin_trap();
  } catch (const brelo::nkicnt::DeviceError&) {
  }
  return 0;
}
