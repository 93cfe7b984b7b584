#include <cmath>

#include <openssl/evp.h>
#include <openssl/rsa.h>

#include "core/Crypto.h"
#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "cryptoman/KeyFiles.h"
#include "openssl/CryptoOpenSSL.h"

namespace brelo {

TOpenSSLCert::TOpenSSLCert(TStream& stream) { LoadFromStream(stream); }

std::string TOpenSSLCert::FileName(const std::string& baseName) { return ChangeFileExt(baseName, FileExtension()); }

std::string TOpenSSLCert::GetKeyId(int mode) {
    Assert(FX509 != nullptr, "GetKeyId: no certificate");
    EvpPKeyPtr key = SslCertPublicKey(FX509.get());
    return PublicKeyId(key.get(), mode != 0);
}

ByteString TOpenSSLCert::GetText() {
    TMemoryStream stream;
    SaveToStream(stream);
    return stream.Bytes();
}

TDateTime TOpenSSLCert::GetNotBefore() {
    Assert(FX509 != nullptr, "GetNotBefore: no certificate");
    return SslCertNotBefore(FX509.get());
}

TDateTime TOpenSSLCert::GetNotAfter() {
    Assert(FX509 != nullptr, "GetNotAfter: no certificate");
    return SslCertNotAfter(FX509.get());
}

void TOpenSSLCert::LoadFromText(const ByteString& text) {
    TMemoryStream stream(NormalizeCertText(text));
    LoadFromStream(stream);
}

bool TOpenSSLCert::VerifyBy(TCustomCertificate& issuer, bool raiseOnFailure) {
    try {
        auto* openSSLIssuer = dynamic_cast<TOpenSSLCert*>(&issuer);
        Assert(FX509 != nullptr && openSSLIssuer != nullptr && openSSLIssuer->FX509 != nullptr,
               "VerifyBy: no OpenSSL certificate");
        SslVerifyCertByCA(FX509.get(), openSSLIssuer->FX509.get());
        return true;
    } catch (const Exception&) {
        if (raiseOnFailure) {
            throw;
        }
        return false;
    }
}

bool TOpenSSLCert::VerifySignature(const void* data, std::size_t size, const ByteString& signature) {
    Assert(FX509 != nullptr, "VerifySignature: no certificate");
    EvpPKeyPtr key = SslCertPublicKey(FX509.get());
    ByteString bytes;
    if (!Base64Decode(signature, bytes)) {
        return false;
    }
    return SslVerifyData(key.get(), "md5", data != nullptr ? data : "", static_cast<std::int64_t>(size), bytes.data(),
                         static_cast<int>(bytes.size()));
}

ByteString TOpenSSLCert::EncryptText(const ByteString& text, bool asBase64) {
    Assert(FX509 != nullptr, "EncryptText: no certificate");
    EvpPKeyPtr key = SslCertPublicKey(FX509.get());
    const std::size_t keySize = static_cast<std::size_t>(EVP_PKEY_get_size(key.get()));
    if (text.size() > keySize) {
        RaiseKeyed<ESSLSimpleAssymetricEncryptError>("CryptedDataIsBiggerThanKeySizeError");
    }
    EvpPKeyCtxPtr context(EVP_PKEY_CTX_new(key.get(), nullptr));
    ByteString cipher(keySize, '\0');
    std::size_t length = cipher.size();
    // PKCS#1 v1.5 takes at most the key size less 11 bytes; such a text must not pass as
    // encrypted.
    if (!context || EVP_PKEY_encrypt_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_encrypt(context.get(), reinterpret_cast<unsigned char*>(cipher.data()), &length,
                         reinterpret_cast<const unsigned char*>(text.data()), text.size()) <= 0) {
        ClearOpenSSLErrors();
        RaiseKeyed<ESSLSimpleAssymetricEncryptError>("CryptedDataIsBiggerThanKeySizeError");
    }
    cipher.resize(length);
    return asBase64 ? Base64Encode(cipher) : cipher;
}

void TOpenSSLCert::EncryptStream(TStream& inStream, TStream& outStream) {
    if (!FX509) {
        RaiseKeyed<ECryptoManError>("CertNotInit");
    }
    inStream.SetPosition(0);
    SslEncryptPackage(inStream, outStream, FX509.get());
}

namespace {

void CheckEndDate(TDateTime notAfter, int warnDays) {
    const TDateTime now = Now();
    const double left = notAfter - now;
    if (left <= 0) {
        throw ECheckCertExpireDayError(KeyedText("CertTimeEnd", {FormatDate(notAfter)}),
                                       static_cast<int>(std::trunc(std::fabs(left))));
    }
    const double timeOfDay = now - std::floor(now);
    if (warnDays > left) {
        const int days = static_cast<int>(std::trunc(left - timeOfDay + 1));
        const std::string text = 1 - timeOfDay > left
                                     ? KeyedText("CertTodayMsg", {FormatDate(notAfter)})
                                     : KeyedText("CertTimeMsg", {FormatDate(notAfter), std::to_string(days)});
        throw ECheckCertEndDayWarning(text, days);
    }
}

}  // namespace

void TOpenSSLCert::CheckValidity(int warnDays, const std::string& userName) {
    Assert(FX509 != nullptr, "CheckValidity: no certificate");
    TDateTime notBefore = 0, notAfter = 0;
    SslCertPeriod(FX509.get(), notBefore, notAfter);
    CheckEndDate(notAfter, warnDays);
    try {
        SslCheckCertPeriod(FX509.get());
    } catch (const Exception& e) {
        ECheckCertExpireDayError error(e.Message(), 0);
        error.SetHelpContext(0);
        throw error;
    }
    if (userName.empty() || IsFirstCertificate()) {
        return;
    }
    const ByteString commonName = SslCommonName(FX509.get());
    if (!commonName.empty() && UpperCase(userName) != UpperCase(commonName)) {
        throw ECheckCertUserError(KeyedText("CERTERRORUSERNAME", {commonName}));
    }
}

void TOpenSSLCert::LoadFromStream(TStream& stream) {
    FX509.reset();
    stream.SetPosition(0);
    FX509 = SslReadCert(stream);
    try {
        FSerialNumber = SslSerialNumberText(FX509.get());
    } catch (...) {
        FX509.reset();
        throw;
    }
}

void TOpenSSLCert::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileStream::fmOpenRead);
    LoadFromStream(file);
}

void TOpenSSLCert::SaveToFile(const std::string& fileName) {
    const ByteString text = GetText();
    try {
        MakeFileWritable(fileName);
        WriteFileBytes(fileName, text);
    } catch (const EStreamError&) {
        RaiseKeyed<ECryptoManError>("CantSaveCert", {fileName});
    }
}

void TOpenSSLCert::SaveToStream(TStream& stream) {
    if (FX509) {
        SslWriteCert(FX509.get(), stream);
    }
}

void TOpenSSLCert::LoadFromData(const ByteString& data) {
    TMemoryStream stream(data);
    LoadFromStream(stream);
}

TOpenSSLDistinguishNames& TOpenSSLCert::DistinguishedNames() {
    if (!FNames) {
        Assert(FX509 != nullptr, "DistinguishedNames: no certificate");
        FNames = std::make_unique<TOpenSSLDistinguishNames>(SslCertSubject(FX509.get()));
    }
    return *FNames;
}

bool TOpenSSLCert::IsFirstCertificate() { return SameText(Trim(DistinguishedNames().Locality), "First Certificate"); }

}  // namespace brelo
