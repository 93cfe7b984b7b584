#include "Pkcs11Tool.h"

#include "Command.h"
#include "TempDir.h"

#include <stdexcept>
#include <vector>

namespace brelo::test {
namespace {

std::vector<std::string> BaseArgs(const std::filesystem::path& module, const std::string& label,
                                  const std::string& pin) {
  return {"pkcs11-tool", "--module", module.string(), "--token-label", label,
          "--login", "--pin", pin, "--type", "data",
          "--application-label", "Brelo", "--label", "BreloKeys"};
}

void Check(const CommandResult& r, const std::string& what) {
  if (!r.ok()) throw std::runtime_error("pkcs11-tool " + what + " failed: " + r.err + r.out);
}

}  // namespace

void WriteKeysObject(const std::filesystem::path& module, const std::string& tokenLabel,
                     const std::string& pin, const std::string& value) {
  RequireProgram("pkcs11-tool", "opensc");
  TempDir dir("brelo-p11tool");
  WriteFile(dir / "value", value);
  auto args = BaseArgs(module, tokenLabel, pin);
  args.insert(args.end(), {"--private", "--write-object", (dir / "value").string()});
  Check(RunCommand(args), "--write-object");
}

std::string ReadKeysObject(const std::filesystem::path& module, const std::string& tokenLabel,
                           const std::string& pin) {
  RequireProgram("pkcs11-tool", "opensc");
  TempDir dir("brelo-p11tool");
  auto args = BaseArgs(module, tokenLabel, pin);
  args.insert(args.end(), {"--read-object", "--output-file", (dir / "value").string()});
  Check(RunCommand(args), "--read-object");
  return ReadFile(dir / "value");
}

}  // namespace brelo::test
