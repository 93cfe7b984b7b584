#include "PersonalityConfig.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace brelo::p11personality {
namespace {

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  return text;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

constexpr std::pair<std::string_view, CK_RV> kRvNames[] = {
    {"CKR_OK", CKR_OK},
    {"CKR_HOST_MEMORY", CKR_HOST_MEMORY},
    {"CKR_GENERAL_ERROR", CKR_GENERAL_ERROR},
    {"CKR_FUNCTION_FAILED", CKR_FUNCTION_FAILED},
    {"CKR_ARGUMENTS_BAD", CKR_ARGUMENTS_BAD},
    {"CKR_ATTRIBUTE_VALUE_INVALID", CKR_ATTRIBUTE_VALUE_INVALID},
    {"CKR_DATA_INVALID", CKR_DATA_INVALID},
    {"CKR_DATA_LEN_RANGE", CKR_DATA_LEN_RANGE},
    {"CKR_DEVICE_ERROR", CKR_DEVICE_ERROR},
    {"CKR_DEVICE_MEMORY", CKR_DEVICE_MEMORY},
    {"CKR_DEVICE_REMOVED", CKR_DEVICE_REMOVED},
    {"CKR_FUNCTION_NOT_SUPPORTED", CKR_FUNCTION_NOT_SUPPORTED},
    {"CKR_PIN_INCORRECT", CKR_PIN_INCORRECT},
    {"CKR_PIN_INVALID", CKR_PIN_INVALID},
    {"CKR_PIN_LEN_RANGE", CKR_PIN_LEN_RANGE},
    {"CKR_PIN_EXPIRED", CKR_PIN_EXPIRED},
    {"CKR_PIN_LOCKED", CKR_PIN_LOCKED},
    {"CKR_SESSION_CLOSED", CKR_SESSION_CLOSED},
    {"CKR_SESSION_COUNT", CKR_SESSION_COUNT},
    {"CKR_SESSION_HANDLE_INVALID", CKR_SESSION_HANDLE_INVALID},
    {"CKR_SESSION_READ_ONLY", CKR_SESSION_READ_ONLY},
    {"CKR_SESSION_EXISTS", CKR_SESSION_EXISTS},
    {"CKR_SLOT_ID_INVALID", CKR_SLOT_ID_INVALID},
    {"CKR_TOKEN_NOT_PRESENT", CKR_TOKEN_NOT_PRESENT},
    {"CKR_TOKEN_NOT_RECOGNIZED", CKR_TOKEN_NOT_RECOGNIZED},
    {"CKR_TOKEN_WRITE_PROTECTED", CKR_TOKEN_WRITE_PROTECTED},
    {"CKR_USER_ALREADY_LOGGED_IN", CKR_USER_ALREADY_LOGGED_IN},
    {"CKR_USER_NOT_LOGGED_IN", CKR_USER_NOT_LOGGED_IN},
    {"CKR_USER_PIN_NOT_INITIALIZED", CKR_USER_PIN_NOT_INITIALIZED},
    {"CKR_USER_ANOTHER_ALREADY_LOGGED_IN", CKR_USER_ANOTHER_ALREADY_LOGGED_IN},
    {"CKR_BUFFER_TOO_SMALL", CKR_BUFFER_TOO_SMALL},
    {"CKR_CRYPTOKI_NOT_INITIALIZED", CKR_CRYPTOKI_NOT_INITIALIZED},
    {"CKR_CRYPTOKI_ALREADY_INITIALIZED", CKR_CRYPTOKI_ALREADY_INITIALIZED},
    {"CKR_OPERATION_NOT_INITIALIZED", CKR_OPERATION_NOT_INITIALIZED},
    {"CKR_KEY_HANDLE_INVALID", CKR_KEY_HANDLE_INVALID},
    {"CKR_OBJECT_HANDLE_INVALID", CKR_OBJECT_HANDLE_INVALID},
};

}  // namespace

std::optional<unsigned long> ParseNumber(std::string_view text) {
  std::string copy(text);
  if (copy.empty() || copy[0] == '-' || copy[0] == '+' || copy[0] == ' ') return std::nullopt;
  char* end = nullptr;
  errno = 0;
  unsigned long value = std::strtoul(copy.c_str(), &end, 0);
  if (errno != 0 || end == copy.c_str() || *end != '\0') return std::nullopt;
  return value;
}

std::optional<CK_RV> ParseRv(std::string_view text) {
  for (const auto& [name, rv] : kRvNames) {
    if (name == text) return rv;
  }
  return ParseNumber(text);
}

std::optional<std::string> TokenValue(const char* variable, std::string_view label) {
  const std::string all = Env(variable);
  if (all.empty()) return std::nullopt;
  label = TrimRight(label);
  std::optional<std::string> fallback;
  std::string_view rest = all;
  while (!rest.empty()) {
    const size_t end = rest.find(';');
    const std::string_view entry = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const size_t eq = entry.find('=');
    if (eq == std::string_view::npos) {
      fallback = std::string(entry);
    } else if (entry.substr(0, eq) == label) {
      return std::string(entry.substr(eq + 1));
    }
  }
  return fallback;
}

std::optional<FailRule> ReadFailRule() {
  FailRule rule;
  rule.function = Env("BRELO_P11_FAIL_FUNCTION");
  if (rule.function.empty()) return std::nullopt;
  rule.module = Env("BRELO_P11_FAIL_MODULE");
  const std::string rv = Env("BRELO_P11_FAIL_RV");
  const std::string at = Env("BRELO_P11_FAIL_AT");
  const std::string times = Env("BRELO_P11_FAIL_TIMES");
  rule.key = rule.function + '\n' + rule.module + '\n' + rv + '\n' + at + '\n' + times;
  const auto parsedRv = rv.empty() ? std::optional<CK_RV>(CKR_GENERAL_ERROR) : ParseRv(rv);
  const auto parsedAt = at.empty() ? std::optional<unsigned long>(1) : ParseNumber(at);
  const auto parsedTimes = times.empty() ? std::optional<unsigned long>(1) : ParseNumber(times);
  rule.valid = parsedRv && parsedAt && parsedTimes && *parsedAt >= 1;
  if (rule.valid) {
    rule.rv = *parsedRv;
    rule.at = *parsedAt;
    rule.times = *parsedTimes;
  }
  return rule;
}

}  // namespace brelo::p11personality
