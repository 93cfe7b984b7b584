// Private-key and certificate reading of the OpenSSL format on arbitrary bytes: the first
// byte chooses the password, the rest is the file.

#include <cstddef>
#include <cstdint>

#include "core/CryptoErrors.h"
#include "openssl/OpenSSLCryptoFunc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brelo;
    if (size == 0) {
        return 0;
    }
    const SecureString password(data[0] & 1 ? "secret" : "");
    const ByteString bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        TMemoryStream stream(bytes);
        EvpPKeyPtr key = SslReadPrivateKey(stream, password);
    } catch (const EZTCryptoError&) {
    }
    try {
        TMemoryStream stream(bytes);
        X509Ptr cert = SslReadCert(stream);
        TDateTime from = 0, to = 0;
        SslCertPeriod(cert.get(), from, to);
        SslCommonName(cert.get());
        SslSerialNumberText(cert.get());
    } catch (const Exception&) {
    }
    return 0;
}
