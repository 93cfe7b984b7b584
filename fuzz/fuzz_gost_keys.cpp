// GOST key texts as they come from a key folder or a token: the private key container and the
// public key file (the password is the one of the corpus key). Any input must end in a keyed
// failure or a loaded key, never in a crash.
#include <cstddef>
#include <cstdint>

#include "core/Exceptions.h"
#include "gost/ZtCiferNew.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const brelo::ByteString text(reinterpret_cast<const char*>(data), size);
    brelo::TZtCifer cifer;
    try {
        cifer.LoadPublicKeyFromString(text);
        cifer.CheckPublicKey();
    } catch (const brelo::ECiferError&) {
    }
    try {
        cifer.LoadPrivateKeyFromString(text, "Пароль-1");
        cifer.CheckPrivateKey();
    } catch (const brelo::ECiferError&) {
    }
    return 0;
}
