#include "SharedLibrary.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "Command.h"

namespace brelo::test {

std::vector<std::string> VersionScriptGlobals(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read version script " + path);
  std::vector<std::string> names;
  bool global = false;
  for (std::string word; in >> word;) {
    if (word == "global:") {
      global = true;
    } else if (word == "local:" || word.front() == '}') {
      global = false;
    } else if (global && word.back() == ';') {
      names.push_back(word.substr(0, word.size() - 1));
    }
  }
  return names;
}

std::vector<std::string> DefinedDynamicSymbols(const std::string& path) {
  RequireProgram("nm", "binutils");
  const CommandResult r = RunCommand({"nm", "-D", "--defined-only", path});
  if (!r.ok()) throw std::runtime_error("nm failed on " + path + ": " + r.err);
  std::vector<std::string> names;
  std::istringstream lines(r.out);
  for (std::string address, type, name; lines >> address >> type >> name;) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace brelo::test
