// The PKCS#11 test module under a vendor's library file name, and a small RAII loader
// for PKCS#11 modules in this process.
//
// The dynamic linker reads LD_LIBRARY_PATH once, when a process starts: a change made by
// the running process reaches only the programs it starts. Code in this process that loads
// a vendor library by bare file name therefore needs the folder on LD_LIBRARY_PATH from the
// start; VendorDir() is such a folder, made at build time with a copy of the module under
// each vendor file name (set it through the CTest ENVIRONMENT property).
#pragma once

#include <p11-kit/pkcs11.h>

#include "ScopedEnv.h"
#include "TempDir.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace brelo::test {

/// The built test module (libbrelo_p11personality.so).
std::filesystem::path PersonalityPath();
/// The build-time folder holding one copy of the module per vendor file name.
std::filesystem::path VendorDir();

/// Copies the module into `dir` as `fileName` (e.g. "libeToken.so"); returns the new path.
/// A copy, not a link: links to one file are one library to the dynamic linker.
std::filesystem::path InstallVendorModule(const std::filesystem::path& dir,
                                          const std::string& fileName);

/// Puts `dir` first on LD_LIBRARY_PATH for the programs this process starts from now on.
void PrependLibraryPath(const std::filesystem::path& dir);

/// A temporary folder holding the module under the given vendor file names, first on
/// LD_LIBRARY_PATH (for child processes) while the object lives.
class VendorLibraries {
 public:
  explicit VendorLibraries(const std::vector<std::string>& fileNames);
  ~VendorLibraries();
  VendorLibraries(const VendorLibraries&) = delete;
  VendorLibraries& operator=(const VendorLibraries&) = delete;

  const std::filesystem::path& dir() const { return dir_.path(); }
  std::filesystem::path path(const std::string& fileName) const { return dir_ / fileName; }

 private:
  TempDir dir_;
  std::unique_ptr<ScopedEnv> libraryPath_;
};

/// A PKCS#11 module loaded by path and initialised; finalised when the object goes
/// (the file itself stays loaded, as the token layer keeps its libraries).
class P11Module {
 public:
  explicit P11Module(const std::filesystem::path& path);  // throws with the CK_RV on failure
  ~P11Module();
  P11Module(const P11Module&) = delete;
  P11Module& operator=(const P11Module&) = delete;

  CK_FUNCTION_LIST* operator->() const { return list_; }
  CK_FUNCTION_LIST* functions() const { return list_; }

  /// The slot whose token has this label (trailing blanks ignored); throws when none has.
  CK_SLOT_ID SlotOf(const std::string& label) const;
  /// C_GetTokenInfo of that slot; throws on failure.
  CK_TOKEN_INFO TokenInfo(CK_SLOT_ID slot) const;

 private:
  CK_FUNCTION_LIST* list_ = nullptr;
};

/// A field of a CK_TOKEN_INFO without its trailing blanks.
std::string FieldText(const unsigned char* field, size_t size);

}  // namespace brelo::test
