#include "openssl/OpenSSL.h"

#include <mutex>

#include <openssl/crypto.h>

namespace brelo {

void InitOpenSSL() {
    static std::once_flag once;
    std::call_once(once, [] {
        OPENSSL_init_crypto(OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_ADD_ALL_CIPHERS |
                                OPENSSL_INIT_ADD_ALL_DIGESTS,
                            nullptr);
    });
}

bool LoadOpenSSLLibrary() {
    InitOpenSSL();
    return true;
}

}  // namespace brelo
