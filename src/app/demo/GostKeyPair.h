#pragma once
// A customer's GOST pair as the bank's tools hand it out: LOGIN.KEY2 (the private key
// container, protected by the password) and LOGIN.CER2 (the public key file), made by the
// project's GOST engine.

#include <string>

#include "core/ByteString.h"

namespace brelo {

void MakeGostKeyPair(const std::string& Folder, const std::string& Login,
                     const SecureString& Password);

}  // namespace brelo
