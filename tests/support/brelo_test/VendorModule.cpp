#include "VendorModule.h"

#include <dlfcn.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace brelo::test {
namespace {

std::runtime_error Failure(const std::string& what, CK_RV rv) {
  return std::runtime_error(what + " failed with CK_RV " + std::to_string(rv));
}

}  // namespace

std::filesystem::path PersonalityPath() { return BRELO_P11_PERSONALITY_PATH; }

std::filesystem::path VendorDir() { return BRELO_P11_VENDOR_DIR; }

std::filesystem::path InstallVendorModule(const std::filesystem::path& dir,
                                          const std::string& fileName) {
  const auto target = dir / fileName;
  std::filesystem::copy_file(PersonalityPath(), target,
                             std::filesystem::copy_options::overwrite_existing);
  return target;
}

void PrependLibraryPath(const std::filesystem::path& dir) {
  const char* old = std::getenv("LD_LIBRARY_PATH");
  std::string value = dir.string();
  if (old != nullptr && *old != '\0') value += std::string(":") + old;
  setenv("LD_LIBRARY_PATH", value.c_str(), 1);
}

VendorLibraries::VendorLibraries(const std::vector<std::string>& fileNames)
    : dir_("brelo-vendorlibs") {
  for (const auto& name : fileNames) InstallVendorModule(dir_.path(), name);
  const char* old = std::getenv("LD_LIBRARY_PATH");
  libraryPath_ = std::make_unique<ScopedEnv>("LD_LIBRARY_PATH",
                                             old ? std::optional<std::string>(old) : std::nullopt);
  PrependLibraryPath(dir_.path());
}

VendorLibraries::~VendorLibraries() = default;

P11Module::P11Module(const std::filesystem::path& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
  auto get = reinterpret_cast<CK_C_GetFunctionList>(dlsym(handle, "C_GetFunctionList"));
  if (get == nullptr) throw std::runtime_error(path.string() + " has no C_GetFunctionList");
  if (CK_RV rv = get(&list_); rv != CKR_OK) throw Failure("C_GetFunctionList", rv);
  if (CK_RV rv = list_->C_Initialize(nullptr); rv != CKR_OK) throw Failure("C_Initialize", rv);
}

P11Module::~P11Module() { list_->C_Finalize(nullptr); }

CK_SLOT_ID P11Module::SlotOf(const std::string& label) const {
  CK_ULONG count = 0;
  if (CK_RV rv = list_->C_GetSlotList(CK_TRUE, nullptr, &count); rv != CKR_OK)
    throw Failure("C_GetSlotList", rv);
  std::vector<CK_SLOT_ID> slots(count);
  if (CK_RV rv = list_->C_GetSlotList(CK_TRUE, slots.data(), &count); rv != CKR_OK)
    throw Failure("C_GetSlotList", rv);
  for (CK_ULONG i = 0; i < count; ++i) {
    CK_TOKEN_INFO info{};
    if (list_->C_GetTokenInfo(slots[i], &info) == CKR_OK &&
        FieldText(info.label, sizeof info.label) == label)
      return slots[i];
  }
  throw std::runtime_error("no token labelled " + label);
}

CK_TOKEN_INFO P11Module::TokenInfo(CK_SLOT_ID slot) const {
  CK_TOKEN_INFO info{};
  if (CK_RV rv = list_->C_GetTokenInfo(slot, &info); rv != CKR_OK)
    throw Failure("C_GetTokenInfo", rv);
  return info;
}

std::string FieldText(const unsigned char* field, size_t size) {
  std::string text(reinterpret_cast<const char*>(field), size);
  const size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? "" : text.substr(0, end + 1);
}

}  // namespace brelo::test
