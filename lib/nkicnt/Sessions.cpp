#include "Sessions.h"

#include <map>

namespace brelo::nkicnt {
namespace {

std::map<nkiHandle, Session>& Table() {
  static std::map<nkiHandle, Session> table;
  return table;
}

}  // namespace

// Handles are not reused soon, so a stale handle of a closed session is refused.
nkiHandle OpenSession(const std::string& device) {
  static nkiHandle last = 0;
  auto& table = Table();
  do {
    ++last;
  } while (last == 0 || table.count(last) != 0);
  table[last] = Session{device, false};
  return last;
}

Session* FindSession(nkiHandle handle) {
  auto it = Table().find(handle);
  return it == Table().end() ? nullptr : &it->second;
}

bool CloseSession(nkiHandle handle) { return Table().erase(handle) == 1; }

}  // namespace brelo::nkicnt
