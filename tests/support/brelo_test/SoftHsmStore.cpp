#include "SoftHsmStore.h"

#include "Command.h"

#include <sstream>
#include <stdexcept>

namespace brelo::test {
namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "Key: value" lines of `softhsm2-util --show-slots`, per slot in order.
std::string FindSerial(const std::string& listing, const std::string& label) {
  std::istringstream lines(listing);
  std::string serial;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Slot ", 0) == 0) serial.clear();  // a new slot begins
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, colon));
    const std::string value = Trim(line.substr(colon + 1));
    if (key == "Serial number") serial = value;
    if (key == "Label" && value == label && !serial.empty()) return serial;
  }
  throw std::runtime_error("SoftHSM2 has no token labelled " + label);
}

}  // namespace

SoftHsmStore::SoftHsmStore() : dir_("brelo-softhsm") {
  RequireProgram("softhsm2-util", "softhsm2");
  const auto tokens = dir_ / "tokens";
  std::filesystem::create_directory(tokens);
  WriteFile(confPath(), "directories.tokendir = " + tokens.string() +
                            "\nobjectstore.backend = file\nlog.level = ERROR\n"
                            "slots.removable = false\n");
  conf_ = std::make_unique<ScopedEnv>("SOFTHSM2_CONF", confPath().string());
}

std::string SoftHsmStore::InitToken(const std::string& label, const std::string& soPin,
                                    const std::string& userPin) {
  const CommandResult r = RunCommand({"softhsm2-util", "--init-token", "--free", "--label", label,
                                      "--so-pin", soPin, "--pin", userPin});
  if (!r.ok()) throw std::runtime_error("softhsm2-util --init-token failed: " + r.err + r.out);
  return SerialOf(label);
}

std::string SoftHsmStore::SerialOf(const std::string& label) const {
  const CommandResult r = RunCommand({"softhsm2-util", "--show-slots"});
  if (!r.ok()) throw std::runtime_error("softhsm2-util --show-slots failed: " + r.err);
  return FindSerial(r.out, label);
}

}  // namespace brelo::test
