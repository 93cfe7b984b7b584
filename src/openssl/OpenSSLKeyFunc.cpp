#include <cstring>

#include <openssl/asn1err.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/x509err.h>

#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "openssl/OpenSSLCryptoFunc.h"
#include "openssl/OpenSSLFuncCommon.h"
#include "openssl/OpenSSLStreamBIO.h"

namespace brelo {

using detail::CheckResult;

namespace {

int SslPasswordCallback(char* buffer, int size, int, void* userData) {
    const auto* password = static_cast<const SecureString*>(userData);
    if (password == nullptr || size <= 0) {
        return -1;
    }
    const int n = static_cast<int>(std::min<std::size_t>(password->size(), static_cast<std::size_t>(size)));
    std::memcpy(buffer, password->data(), static_cast<std::size_t>(n));
    return n;
}

/// PEM block fields that OpenSSL allocated; the data may be a decrypted key, so it is wiped.
struct TPemBlock {
    char* Name = nullptr;
    char* Header = nullptr;
    unsigned char* Data = nullptr;
    long Length = 0;
    ~TPemBlock() { Reset(); }
    void Reset() {
        OPENSSL_free(Name);
        OPENSSL_free(Header);
        if (Data != nullptr) {
            OPENSSL_clear_free(Data, static_cast<std::size_t>(Length));
        }
        Name = Header = nullptr;
        Data = nullptr;
        Length = 0;
    }
};

bool IsPrivateKeyName(const char* name) {
    static constexpr std::string_view Suffix = "PRIVATE KEY";
    const std::string_view text(name);
    return text.size() >= Suffix.size() && text.substr(text.size() - Suffix.size()) == Suffix;
}

// The first PEM block whose name ends with "PRIVATE KEY", as PEM_read_bio finds it; false
// with OpenSSL's error (no start line, bad base64, bad end line) queued.
bool ReadPrivateKeyBlock(BIO* bio, TPemBlock& block) {
    for (;;) {
        block.Reset();
        if (PEM_read_bio(bio, &block.Name, &block.Header, &block.Data, &block.Length) == 0) {
            return false;
        }
        if (IsPrivateKeyName(block.Name)) {
            return true;
        }
    }
}

EVP_PKEY* DecodePkcs8(const unsigned char* data, long length, const SecureString* password, bool& decrypted) {
    const unsigned char* p = data;
    if (password == nullptr) {
        Pkcs8InfoPtr info(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, length));
        return info ? EVP_PKCS82PKEY(info.get()) : nullptr;
    }
    X509SigPtr sealed(d2i_X509_SIG(nullptr, &p, length));
    if (!sealed) {
        return nullptr;
    }
    decrypted = true;
    Pkcs8InfoPtr info(PKCS8_decrypt(sealed.get(), password->c_str(), static_cast<int>(password->size())));
    return info ? EVP_PKCS82PKEY(info.get()) : nullptr;
}

EVP_PKEY* DecodeTraditional(const char* name, const unsigned char* data, long length) {
    const std::string_view text(name);
    const std::string_view algorithm = text.substr(0, text.size() - std::strlen(" PRIVATE KEY"));
    const unsigned char* p = data;
    int type = EVP_PKEY_NONE;
    if (const EVP_PKEY_ASN1_METHOD* method =
            EVP_PKEY_asn1_find_str(nullptr, algorithm.data(), static_cast<int>(algorithm.size()))) {
        EVP_PKEY_asn1_get0_info(&type, nullptr, nullptr, nullptr, nullptr, method);
    }
    return type != EVP_PKEY_NONE ? d2i_PrivateKey(type, nullptr, &p, length) : d2i_AutoPrivateKey(nullptr, &p, length);
}

// Decrypted tells whether a pass phrase was applied to the data on the way.
EVP_PKEY* DecodeKeyBlock(const TPemBlock& block, const SecureString& password, bool& decrypted) {
    const std::string_view name(block.Name);
    if (name == "ENCRYPTED PRIVATE KEY") {
        return DecodePkcs8(block.Data, block.Length, &password, decrypted);
    }
    if (name == "PRIVATE KEY") {
        return DecodePkcs8(block.Data, block.Length, nullptr, decrypted);
    }
    return DecodeTraditional(block.Name, block.Data, block.Length);
}

// Reads and decrypts like PEM_read_bio_PrivateKey, but step by step, so that each condition
// keeps OpenSSL's own PEM error (OpenSSL 3's decoder would report all of them as one).
EvpPKeyPtr ReadKey(BIO* bio, const SecureString& password) {
    TPemBlock block;
    if (!ReadPrivateKeyBlock(bio, block)) {
        CheckResult(false, {}, "PEM_read_bio");
    }
    EVP_CIPHER_INFO cipher{};
    CheckResult(PEM_get_EVP_CIPHER_INFO(block.Header, &cipher) != 0, {}, "PEM_get_EVP_CIPHER_INFO");
    bool decrypted = cipher.cipher != nullptr;
    CheckResult(PEM_do_header(&cipher, block.Data, &block.Length, SslPasswordCallback,
                              const_cast<SecureString*>(&password)) != 0,
                {}, "PEM_do_header");
    ERR_set_mark();
    EvpPKeyPtr key(DecodeKeyBlock(block, password, decrypted));
    if (key) {
        ERR_pop_to_mark();  // decoders that were tried first leave their complaints behind
        return key;
    }
    if (!decrypted) {
        ERR_clear_last_mark();
        ERR_raise(ERR_LIB_PEM, ERR_R_ASN1_LIB);
    } else if (KeyErrorCode(ERR_peek_last_error()) == 39) {
        ERR_clear_last_mark();  // the decryption itself reported the wrong password
    } else {
        // The padding happened to fit under a wrong password: the decrypted bytes are noise.
        ERR_pop_to_mark();
        ERR_raise_data(ERR_LIB_ASN1, ASN1_R_DECODE_ERROR, "decrypted key data does not decode");
    }
    CheckOpenSSLError();
    return key;
}

}  // namespace

EvpPKeyPtr SslReadPrivateKey(TStream& stream, const SecureString& password) {
    InitOpenSSL();
    ClearOpenSSLErrors();
    SecureString bytes;
    {
        std::string all = stream.ReadAll();
        bytes.assign(all.data(), all.size());
        WipeString(all);
    }
    bytes += "\r\n";  // a last line without its line end still reads
    try {
        BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
        CheckResult(bio != nullptr, {}, "BIO_new_mem_buf");
        return ReadKey(bio.get(), password);
    } catch (const EOpenSSLError& e) {
        const std::string text = OpenSSLErrorText(e);
        throw EZTCryptoError(text, LastKeyErrorCode());
    }
}

void SslWritePrivateKey(EVP_PKEY* key, TStream& stream, const SecureString& password) {
    Assert(key != nullptr, "SslWritePrivateKey: no key");
    InitOpenSSL();
    ClearOpenSSLErrors();
    BioPtr bio = NewStreamBIO(stream);
    auto* phrase = reinterpret_cast<unsigned char*>(const_cast<char*>(password.c_str()));
    const int ok = PEM_write_bio_PrivateKey_traditional(bio.get(), key, EVP_des_ede3_cbc(), phrase,
                                                        static_cast<int>(password.size()), nullptr, nullptr);
    CheckResult(ok != 0, {}, "PEM_write_bio_PrivateKey");
}

void SslFreeKey(EVP_PKEY* key) { EvpPKeyPtr owned(key); }

int SslKeySize(EVP_PKEY* key) {
    Assert(key != nullptr, "SslKeySize: no key");
    return EVP_PKEY_get_size(key);
}

namespace {
struct TKeyGenProgress {
    TSslKeyGenCallback Callback;
    void* Argument;
};

int KeyGenProgress(EVP_PKEY_CTX* context) {
    auto* progress = static_cast<TKeyGenProgress*>(EVP_PKEY_CTX_get_app_data(context));
    progress->Callback(EVP_PKEY_CTX_get_keygen_info(context, 0), EVP_PKEY_CTX_get_keygen_info(context, 1),
                       progress->Argument);
    return 1;
}
}  // namespace

EvpPKeyPtr SslGenerateRSAKey(int bits, TSslKeyGenCallback callback, void* argument) {
    InitOpenSSL();
    ClearOpenSSLErrors();
    EvpPKeyCtxPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    CheckResult(context != nullptr, {}, "EVP_PKEY_CTX_new");
    CheckResult(EVP_PKEY_keygen_init(context.get()) > 0, {}, "EVP_PKEY_keygen_init");
    CheckResult(EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), bits) > 0, {}, "RSA key size");
    TKeyGenProgress progress{callback, argument};
    if (callback != nullptr) {
        EVP_PKEY_CTX_set_app_data(context.get(), &progress);
        EVP_PKEY_CTX_set_cb(context.get(), KeyGenProgress);
    }
    EVP_PKEY* raw = nullptr;
    const int ok = EVP_PKEY_generate(context.get(), &raw);
    EvpPKeyPtr key(raw);
    CheckResult(ok > 0 && key != nullptr, {}, "RSA key generation");
    return key;
}

bool SslKeyMatchesCert(X509* cert, EVP_PKEY* key) {
    Assert(cert != nullptr && key != nullptr, "SslKeyMatchesCert: no certificate or key");
    ClearOpenSSLErrors();
    const bool matches = X509_check_private_key(cert, key) != 0;
    static const std::string Marker = "Key And Cert mismatch";
    try {
        CheckOpenSSLError(Marker);
    } catch (const EOpenSSLError& e) {
        if (e.Message().find(Marker) != std::string::npos) {
            throw EZTCryptoError(GetMessageText("CertAndKeyMismatch"), 44);
        }
        throw;
    }
    return matches;
}

void SslRandomBytes(void* buffer, int count) {
    InitOpenSSL();
    ClearOpenSSLErrors();
    if (count <= 0) {
        return;
    }
    CheckResult(RAND_bytes(static_cast<unsigned char*>(buffer), count) > 0, {}, "RAND_bytes");
}

}  // namespace brelo
