// PKCS#11 test module ("vendor personality"). Forwards every call of the function list to
// SoftHSM2 and changes only what these environment variables ask, read on every call:
//
//   BRELO_P11_TARGET          absolute path of the module forwarded to
//                             (default /usr/lib/softhsm/libsofthsm2.so; read once per process)
//   BRELO_P11_MANUFACTURER    manufacturerID reported by C_GetTokenInfo (blank-padded to 32)
//   BRELO_P11_SERIAL          serialNumber reported by C_GetTokenInfo (blank-padded to 16)
//   BRELO_P11_TOTAL_PRIVATE   ulTotalPrivateMemory reported by C_GetTokenInfo
//   BRELO_P11_FREE_PRIVATE    ulFreePrivateMemory reported by C_GetTokenInfo
//       These four hold entries separated by ';': "LABEL=VALUE" applies to the token with
//       that label (trailing blanks ignored), a bare "VALUE" to every other token.
//   BRELO_P11_FAIL_FUNCTION   name of the function to fail, e.g. C_SetAttributeValue
//   BRELO_P11_FAIL_RV         CK_RV to return: a CKR_ name or a number (default CKR_GENERAL_ERROR)
//   BRELO_P11_FAIL_AT         which call fails, counted from 1 (default 1)
//   BRELO_P11_FAIL_TIMES      how many calls in a row fail (default 1; 0: every call from then on)
//   BRELO_P11_FAIL_MODULE     file name of the copy that fails (default: every copy)
//
// A failed call is not forwarded, so the token is left as it was. Calls are counted per
// loaded copy of this module, from its loading or from the last change of the FAIL settings.
// Numbers are decimal or 0x-hexadecimal. A setting that cannot be read makes the affected
// calls return CKR_GENERAL_ERROR and says why on standard error.
//
// Each copy under another file name is a library of its own with its own C_Initialize and
// C_Finalize; SoftHSM2 is initialised once for all of them (P11Shared).
#include "P11Shared.h"
#include "PersonalityConfig.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#define BRELO_EXPORT __attribute__((visibility("default")))

namespace brelo::p11personality {
namespace {

struct CopyState {
  std::mutex lock;
  bool initialised = false;
  std::map<CK_SESSION_HANDLE, CK_SLOT_ID> sessions;  // opened through this copy
  std::string failKey;
  unsigned long failCount = 0;
};

CopyState& Copy() {
  static CopyState state;
  return state;
}

std::string ModuleFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModuleFileName), &info) == 0 || info.dli_fname == nullptr)
    return "";
  const std::string path = info.dli_fname;
  return path.substr(path.find_last_of('/') + 1);
}

const std::string& ThisModule() {
  static const std::string name = ModuleFileName();
  return name;
}

// The failure to return instead of forwarding this call, if the environment asks for one.
std::optional<CK_RV> Injected(const char* function) {
  const std::optional<FailRule> rule = ReadFailRule();
  if (!rule) return std::nullopt;
  if (!rule->valid) {
    std::fprintf(stderr, "brelo p11 personality: unreadable BRELO_P11_FAIL_* settings\n");
    return CKR_GENERAL_ERROR;
  }
  if (rule->function != function) return std::nullopt;
  if (!rule->module.empty() && rule->module != ThisModule()) return std::nullopt;
  CopyState& copy = Copy();
  std::lock_guard<std::mutex> guard(copy.lock);
  if (copy.failKey != rule->key) {
    copy.failKey = rule->key;
    copy.failCount = 0;
  }
  const unsigned long n = ++copy.failCount;
  const bool hit = n >= rule->at && (rule->times == 0 || n - rule->at < rule->times);
  return hit ? std::optional<CK_RV>(rule->rv) : std::nullopt;
}

bool Initialised() {
  std::lock_guard<std::mutex> guard(Copy().lock);
  return Copy().initialised;
}

CK_FUNCTION_LIST* Target() {
  CK_RV rv = CKR_OK;
  return brelo_p11shared_target(&rv);
}

// Common prologue: an injected failure or a missing C_Initialize stops the call here.
std::optional<CK_RV> Refused(const char* function) {
  if (auto rv = Injected(function)) return rv;
  if (!Initialised()) return CKR_CRYPTOKI_NOT_INITIALIZED;
  return std::nullopt;
}

template <auto Member, const char* Name>
struct Forward;

template <typename... Args, CK_RV (*CK_FUNCTION_LIST::*Member)(Args...), const char* Name>
struct Forward<Member, Name> {
  static CK_RV Call(Args... args) {
    if (auto rv = Refused(Name)) return *rv;
    return (Target()->*Member)(args...);
  }
};

void Fill(unsigned char* field, size_t size, const std::string& value) {
  std::memset(field, ' ', size);
  std::memcpy(field, value.data(), std::min(size, value.size()));
}

bool OverrideCounter(const char* variable, std::string_view label, CK_ULONG* counter) {
  const auto text = TokenValue(variable, label);
  if (!text) return true;
  const auto value = ParseNumber(*text);
  if (!value) {
    std::fprintf(stderr, "brelo p11 personality: %s is not a number\n", variable);
    return false;
  }
  *counter = *value;
  return true;
}

CK_RV ApplyTokenOverrides(CK_TOKEN_INFO* info) {
  const std::string label(reinterpret_cast<const char*>(info->label), sizeof info->label);
  if (auto m = TokenValue("BRELO_P11_MANUFACTURER", label))
    Fill(info->manufacturerID, sizeof info->manufacturerID, *m);
  if (auto s = TokenValue("BRELO_P11_SERIAL", label))
    Fill(info->serialNumber, sizeof info->serialNumber, *s);
  const bool ok = OverrideCounter("BRELO_P11_TOTAL_PRIVATE", label, &info->ulTotalPrivateMemory) &&
                  OverrideCounter("BRELO_P11_FREE_PRIVATE", label, &info->ulFreePrivateMemory);
  return ok ? CKR_OK : CKR_GENERAL_ERROR;
}

CK_RV Initialize(CK_VOID_PTR args) {
  if (auto rv = Injected("C_Initialize")) return *rv;
  CopyState& copy = Copy();
  std::lock_guard<std::mutex> guard(copy.lock);
  if (copy.initialised) return CKR_CRYPTOKI_ALREADY_INITIALIZED;
  const CK_RV rv = brelo_p11shared_acquire(args);
  if (rv == CKR_OK) copy.initialised = true;
  return rv;
}

// Sessions of this copy end with it, as they would in a library of its own.
CK_RV Finalize(CK_VOID_PTR reserved) {
  if (auto rv = Injected("C_Finalize")) return *rv;
  if (reserved != nullptr) return CKR_ARGUMENTS_BAD;
  CopyState& copy = Copy();
  std::lock_guard<std::mutex> guard(copy.lock);
  if (!copy.initialised) return CKR_CRYPTOKI_NOT_INITIALIZED;
  for (const auto& entry : copy.sessions) Target()->C_CloseSession(entry.first);
  copy.sessions.clear();
  copy.initialised = false;
  return brelo_p11shared_release();
}

CK_RV GetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
  if (auto rv = Refused("C_GetTokenInfo")) return *rv;
  const CK_RV rv = Target()->C_GetTokenInfo(slot, info);
  return rv == CKR_OK ? ApplyTokenOverrides(info) : rv;
}

CK_RV OpenSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR app, CK_NOTIFY notify,
                  CK_SESSION_HANDLE_PTR session) {
  if (auto rv = Refused("C_OpenSession")) return *rv;
  const CK_RV rv = Target()->C_OpenSession(slot, flags, app, notify, session);
  if (rv == CKR_OK) {
    std::lock_guard<std::mutex> guard(Copy().lock);
    Copy().sessions[*session] = slot;
  }
  return rv;
}

CK_RV CloseSession(CK_SESSION_HANDLE session) {
  if (auto rv = Refused("C_CloseSession")) return *rv;
  const CK_RV rv = Target()->C_CloseSession(session);
  std::lock_guard<std::mutex> guard(Copy().lock);
  Copy().sessions.erase(session);
  return rv;
}

CK_RV CloseAllSessions(CK_SLOT_ID slot) {
  if (auto rv = Refused("C_CloseAllSessions")) return *rv;
  const CK_RV rv = Target()->C_CloseAllSessions(slot);
  if (rv == CKR_OK) {
    std::lock_guard<std::mutex> guard(Copy().lock);
    std::erase_if(Copy().sessions, [slot](const auto& e) { return e.second == slot; });
  }
  return rv;
}

CK_RV GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list);

#define BRELO_P11_FUNCTIONS(X)                                                                   \
  X(C_GetInfo) X(C_GetSlotList) X(C_GetSlotInfo) X(C_GetMechanismList) X(C_GetMechanismInfo)    \
  X(C_InitToken) X(C_InitPIN) X(C_SetPIN) X(C_GetSessionInfo) X(C_GetOperationState)            \
  X(C_SetOperationState) X(C_Login) X(C_Logout) X(C_CreateObject) X(C_CopyObject)               \
  X(C_DestroyObject) X(C_GetObjectSize) X(C_GetAttributeValue) X(C_SetAttributeValue)           \
  X(C_FindObjectsInit) X(C_FindObjects) X(C_FindObjectsFinal) X(C_EncryptInit) X(C_Encrypt)     \
  X(C_EncryptUpdate) X(C_EncryptFinal) X(C_DecryptInit) X(C_Decrypt) X(C_DecryptUpdate)         \
  X(C_DecryptFinal) X(C_DigestInit) X(C_Digest) X(C_DigestUpdate) X(C_DigestKey)                \
  X(C_DigestFinal) X(C_SignInit) X(C_Sign) X(C_SignUpdate) X(C_SignFinal) X(C_SignRecoverInit)  \
  X(C_SignRecover) X(C_VerifyInit) X(C_Verify) X(C_VerifyUpdate) X(C_VerifyFinal)               \
  X(C_VerifyRecoverInit) X(C_VerifyRecover) X(C_DigestEncryptUpdate) X(C_DecryptDigestUpdate)   \
  X(C_SignEncryptUpdate) X(C_DecryptVerifyUpdate) X(C_GenerateKey) X(C_GenerateKeyPair)         \
  X(C_WrapKey) X(C_UnwrapKey) X(C_DeriveKey) X(C_SeedRandom) X(C_GenerateRandom)                \
  X(C_GetFunctionStatus) X(C_CancelFunction) X(C_WaitForSlotEvent)

#define BRELO_P11_NAME(fn) constexpr char kName_##fn[] = #fn;
BRELO_P11_FUNCTIONS(BRELO_P11_NAME)
#undef BRELO_P11_NAME

CK_FUNCTION_LIST MakeFunctionList() {
  CK_FUNCTION_LIST list{};
  list.version = {2, 40};
#define BRELO_P11_SLOT(fn) list.fn = &Forward<&CK_FUNCTION_LIST::fn, kName_##fn>::Call;
  BRELO_P11_FUNCTIONS(BRELO_P11_SLOT)
#undef BRELO_P11_SLOT
  list.C_Initialize = &Initialize;
  list.C_Finalize = &Finalize;
  list.C_GetFunctionList = &GetFunctionList;
  list.C_GetTokenInfo = &GetTokenInfo;
  list.C_OpenSession = &OpenSession;
  list.C_CloseSession = &CloseSession;
  list.C_CloseAllSessions = &CloseAllSessions;
  return list;
}

CK_RV GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
  static CK_FUNCTION_LIST functions = MakeFunctionList();
  if (auto rv = Injected("C_GetFunctionList")) return *rv;
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  *list = &functions;
  return CKR_OK;
}

}  // namespace
}  // namespace brelo::p11personality

extern "C" BRELO_EXPORT CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
  return brelo::p11personality::GetFunctionList(list);
}
