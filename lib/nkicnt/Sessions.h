// Open sessions of this process: which device each handle names and whether the PIN was
// checked in it.
#pragma once

#include "nkicnt.h"

#include <string>

namespace brelo::nkicnt {

struct Session {
  std::string device;
  bool pinChecked = false;
};

/// A new session on the device; returns its handle (never 0).
nkiHandle OpenSession(const std::string& device);
/// The session of this handle, or null for a handle that is not open.
Session* FindSession(nkiHandle handle);
/// Ends the session; false when the handle is not open.
bool CloseSession(nkiHandle handle);

}  // namespace brelo::nkicnt
