#include "P11Shared.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace {

constexpr const char* kDefaultTarget = "/usr/lib/softhsm/libsofthsm2.so";

struct SharedState {
  std::mutex lock;
  CK_FUNCTION_LIST* target = nullptr;
  unsigned users = 0;
  bool ownsInit = false;  // false when someone else in the process initialised the target first
};

SharedState& State() {
  static SharedState state;
  return state;
}

const char* TargetPath() {
  const char* path = std::getenv("BRELO_P11_TARGET");
  return path != nullptr && *path != '\0' ? path : kDefaultTarget;
}

// The target stays loaded: SoftHSM2 does not survive being unloaded and loaded again.
CK_FUNCTION_LIST* LoadTarget(CK_RV* rv) {
  void* handle = dlopen(TargetPath(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    *rv = CKR_GENERAL_ERROR;
    return nullptr;
  }
  auto getList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(handle, "C_GetFunctionList"));
  CK_FUNCTION_LIST* list = nullptr;
  *rv = getList != nullptr ? getList(&list) : CKR_GENERAL_ERROR;
  return *rv == CKR_OK ? list : nullptr;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) CK_FUNCTION_LIST* brelo_p11shared_target(CK_RV* rv) {
  SharedState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  *rv = CKR_OK;
  if (s.target == nullptr) s.target = LoadTarget(rv);
  return s.target;
}

__attribute__((visibility("default"))) CK_RV brelo_p11shared_acquire(void* initArgs) {
  CK_RV rv = CKR_OK;
  CK_FUNCTION_LIST* target = brelo_p11shared_target(&rv);
  if (target == nullptr) return rv;
  SharedState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.users == 0) {
    rv = target->C_Initialize(initArgs);
    if (rv == CKR_CRYPTOKI_ALREADY_INITIALIZED) {
      s.ownsInit = false;
    } else if (rv == CKR_OK) {
      s.ownsInit = true;
    } else {
      return rv;
    }
  }
  ++s.users;
  return CKR_OK;
}

__attribute__((visibility("default"))) CK_RV brelo_p11shared_release(void) {
  SharedState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.users == 0) return CKR_CRYPTOKI_NOT_INITIALIZED;
  if (--s.users > 0 || !s.ownsInit) return CKR_OK;
  s.ownsInit = false;
  return s.target->C_Finalize(nullptr);
}

}  // extern "C"
