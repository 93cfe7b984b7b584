// One software token as it is kept on disk, and its text form.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace brelo::nkicnt {

/// A byte string that is wiped when it goes (PINs, PUKs, file contents).
class Secret {
 public:
  Secret() = default;
  explicit Secret(std::string_view bytes) : bytes_(bytes) {}
  Secret(const Secret& other) : bytes_(other.bytes_) {}
  Secret& operator=(const Secret& other);
  ~Secret();
  std::string& bytes() { return bytes_; }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

/// Damaged or unreadable device data.
class DeviceError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline constexpr int kFileCount = 4;
inline constexpr int32_t kMaxFileSize = 1 << 20;
inline constexpr size_t kMaxCredential = 32;
inline constexpr unsigned kMaxTries = 15;  // tries left travel in four bits

struct Tries {
  unsigned left = 3;
  unsigned max = 3;
};

struct Device {
  uint64_t uid = 0;
  Secret pin;
  Secret puk;
  Tries pinTries;
  Tries pukTries{10, 10};
  std::array<std::optional<Secret>, kFileCount> files;  // nothing: the device lacks the file
};

/// True for a PIN or PUK the device can hold: 1 to kMaxCredential bytes, no zero byte.
bool ValidCredential(std::string_view text);

/// The text form (docs/nkicnt.md); throws DeviceError for anything else.
Device ParseDevice(std::string_view text);
Secret FormatDevice(const Device& device);

/// Throws DeviceError when the device breaks a rule of the format.
void CheckDevice(const Device& device);

}  // namespace brelo::nkicnt
