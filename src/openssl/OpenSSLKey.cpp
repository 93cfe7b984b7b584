#include <openssl/evp.h>
#include <openssl/rsa.h>

#include "core/Crypto.h"
#include "core/Encoding.h"
#include "core/Messages.h"
#include "cryptoman/KeyFiles.h"
#include "openssl/CryptoOpenSSL.h"

namespace brelo {

SecureString OpenSSLPassPhrase(const SecureString& password) {
    std::string bytes = Utf8ToCp1251(std::string_view(password.data(), password.size()));
    SecureString phrase(bytes.data(), bytes.size());
    WipeString(bytes);
    return phrase;
}

TOpenSSLKey::TOpenSSLKey(TStream& stream, const SecureString& password) : TCustomKey(stream, password) {
    FData->Seek(0, SeekOrigin::End);
    FData->WriteBytes("\r\n");
    stream.SetPosition(0);
}

std::string TOpenSSLKey::FileName(const std::string& baseName) { return ChangeFileExt(baseName, FileExtension()); }

EVP_PKEY* TOpenSSLKey::ParsedKey() {
    if (!FParsedKey && FData->Size() > 0) {
        FParsedKey = SslReadPrivateKey(*FData, OpenSSLPassPhrase(FPassword));
    }
    return FParsedKey.get();
}

void TOpenSSLKey::DecryptStream(TStream& inStream, TStream& outStream, TCustomCertificate& cert) {
    auto* openSSLCert = dynamic_cast<TOpenSSLCert*>(&cert);
    Assert(openSSLCert != nullptr && openSSLCert->X509Cert() != nullptr, "DecryptStream: no OpenSSL certificate");
    EVP_PKEY* key = ParsedKey();
    Assert(key != nullptr, "DecryptStream: empty key");
    inStream.SetPosition(0);
    SslDecryptPackage(inStream, outStream, openSSLCert->X509Cert(), key);
}

void TOpenSSLKey::SaveEncrypted(TStream& stream, const SecureString& password) {
    EVP_PKEY* key = ParsedKey();
    Assert(key != nullptr, "SaveEncrypted: empty key");
    SslWritePrivateKey(key, stream, OpenSSLPassPhrase(password));
    FPassword = password;
}

void TOpenSSLKey::LoadFromStream(TStream& stream, const SecureString& password) {
    FParsedKey.reset();
    TCustomKey::LoadFromStream(stream, password);
}

void TOpenSSLKey::Check() {
    // The proof decrypts the key anyway; keeping it spares the next use a second decryption.
    FParsedKey = SslReadPrivateKey(*FData, OpenSSLPassPhrase(FPassword));
}

ByteString TOpenSSLKey::Sign(const void* data, std::size_t size, bool asBase64) {
    try {
        EVP_PKEY* key = ParsedKey();
        Assert(key != nullptr, "Sign: empty key");
        int length = SslKeySize(key);
        ByteString signature(static_cast<std::size_t>(length), ' ');
        SslSignData(key, "md5", data != nullptr ? data : "", length, signature.data(), static_cast<std::int64_t>(size));
        signature.resize(static_cast<std::size_t>(length));
        return asBase64 ? Base64Encode(signature) : signature;
    } catch (const std::exception& e) {
        const auto* plain = dynamic_cast<const Exception*>(&e);
        throw ESignError(Format(GetMessageText("CentSetSign") + "\r\n" + GetMessageText("ErrorCrypto"),
                                {plain != nullptr ? plain->Message() : std::string(e.what())}));
    }
}

namespace {
[[noreturn]] void RaiseDecryptError(int step) {
    throw ESSLSimpleAssymetricEncryptError(KeyedText("InfoDecryptError", {step}));
}
}  // namespace

SecureString TOpenSSLKey::DecryptText(const ByteString& text, bool isBase64) {
    EVP_PKEY* key = ParsedKey();
    Assert(key != nullptr, "DecryptText: empty key");
    ByteString cipher = text;
    if (isBase64 && !Base64Decode(text, cipher)) {
        RaiseDecryptError(1);
    }
    const std::size_t keySize = static_cast<std::size_t>(EVP_PKEY_get_size(key));
    if (cipher.size() != keySize) {
        RaiseDecryptError(2);
    }
    EvpPKeyCtxPtr context(EVP_PKEY_CTX_new(key, nullptr));
    SecureString plain(keySize, ' ');
    std::size_t length = plain.size();
    if (!context || EVP_PKEY_decrypt_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_decrypt(context.get(), reinterpret_cast<unsigned char*>(plain.data()), &length,
                         reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size()) <= 0) {
        ClearOpenSSLErrors();
        RaiseDecryptError(3);
    }
    plain.resize(length);
    return plain;
}

}  // namespace brelo
