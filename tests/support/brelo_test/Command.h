// Runs an outside program (openssl, pkcs11-tool, softhsm2-util) and captures what it says.
#pragma once

#include <string>
#include <vector>

namespace brelo::test {

struct CommandResult {
  int exitCode = -1;  // the program's exit status; 128 + signal number when killed
  std::string out;
  std::string err;
  bool ok() const { return exitCode == 0; }
};

/// Runs argv[0] (searched on PATH) with the process's environment, feeding `input` to its
/// standard input. Throws when the program cannot be started at all.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input = "");

/// Throws a message naming the Debian package when `program` is not on PATH.
void RequireProgram(const std::string& program, const std::string& package);

}  // namespace brelo::test
