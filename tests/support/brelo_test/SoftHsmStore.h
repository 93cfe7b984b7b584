// A SoftHSM2 token store of a test's own: a temporary folder with its own softhsm2.conf,
// named by SOFTHSM2_CONF for this process and its children while the object lives. The
// machine's default store is never touched.
//
// SoftHSM2 reads SOFTHSM2_CONF when it is initialised, so create the store before any module
// that forwards to SoftHSM2 is initialised in this process.
#pragma once

#include "ScopedEnv.h"
#include "TempDir.h"

#include <filesystem>
#include <memory>
#include <string>

namespace brelo::test {

/// SoftHSM2's PKCS#11 module as Debian installs it.
inline constexpr const char* kSoftHsmModule = "/usr/lib/softhsm/libsofthsm2.so";

class SoftHsmStore {
 public:
  SoftHsmStore();  // throws, naming the Debian package, when SoftHSM2 is not installed

  /// Initialises the first free slot's token; returns its 16-character serial number.
  std::string InitToken(const std::string& label, const std::string& soPin,
                        const std::string& userPin);
  /// The serial number of the token with this label; throws when there is none.
  std::string SerialOf(const std::string& label) const;

  const std::filesystem::path& folder() const { return dir_.path(); }
  std::filesystem::path confPath() const { return dir_ / "softhsm2.conf"; }

 private:
  TempDir dir_;
  std::unique_ptr<ScopedEnv> conf_;
};

}  // namespace brelo::test
