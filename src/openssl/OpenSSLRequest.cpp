#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include "core/Crypto.h"
#include "core/Format.h"
#include "cryptoman/CryptoUtils.h"
#include "openssl/CryptoOpenSSL.h"

namespace brelo {

TOpenSSLRequest::TOpenSSLRequest(TStream& stream) { FData.CopyFrom(stream, 0); }

void TOpenSSLRequest::SetText(const ByteString& text) {
    FData.Clear();
    FData.WriteBytes(text);
}

X509ReqPtr TOpenSSLRequest::ReadRequest() {
    X509ReqPtr request = SslReadRequest(FData);
    Assert(request != nullptr, "ReadRequest: the request does not parse");
    return request;
}

std::string TOpenSSLRequest::GetKeyId(int mode) {
    X509ReqPtr request = ReadRequest();
    EvpPKeyPtr key(X509_REQ_get_pubkey(request.get()));
    Assert(key != nullptr, "GetKeyId: the request holds no public key");
    return PublicKeyId(key.get(), mode != 0);
}

std::string TOpenSSLRequest::GetEncodedText() {
    TMemoryStream copy(FData.Bytes());
    EncodeStreamBase64(copy);
    return copy.Bytes();
}

TOpenSSLDistinguishNames::TOpenSSLDistinguishNames(X509_NAME* name) {
    Assert(name != nullptr, "TOpenSSLDistinguishNames: no name");
    LoadNames(name);
}

void TOpenSSLDistinguishNames::LoadNames(X509_NAME* name) {
    Others.clear();
    const int count = SslNameEntryCount(name);
    for (int i = 0; i < count; ++i) {
        // Lengths first, so that no attribute is too long for its buffer.
        int nameLength = 0, valueLength = 0;
        SslGetNameEntry(name, i, nullptr, nameLength, nullptr, valueLength);
        std::string attribute(static_cast<std::size_t>(nameLength), '\0');
        std::string value(static_cast<std::size_t>(valueLength) + 1, '\0');
        SslGetNameEntry(name, i, attribute.data(), nameLength, value.data(), valueLength);
        AssignEntry(attribute.c_str(), value.c_str());
    }
}

void TOpenSSLDistinguishNames::AssignEntry(const std::string& attributeName, const std::string& value) {
    struct TField {
        const char* Name;
        std::string TOpenSSLDistinguishNames::*Field;
    };
    static constexpr TField Fields[] = {
        {"emailAddress", &TOpenSSLDistinguishNames::Email},
        {"commonName", &TOpenSSLDistinguishNames::CommonName},
        {"organizationalUnitName", &TOpenSSLDistinguishNames::OrganizationalUnit},
        {"organizationName", &TOpenSSLDistinguishNames::Organization},
        {"localityName", &TOpenSSLDistinguishNames::Locality},
        {"countryName", &TOpenSSLDistinguishNames::Country},
        {"stateOrProvinceName", &TOpenSSLDistinguishNames::StateOrProvince},
    };
    for (const TField& field : Fields) {
        if (attributeName == field.Name) {
            this->*field.Field = value;
            return;
        }
    }
    Others.push_back(Format("%S = %S", {attributeName, value}));
}

std::string Sha1HexText(const ByteString& text) {
    static const char Digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char byte : Sha1(text)) {
        hex += Digits[byte >> 4];
        hex += Digits[byte & 15];
    }
    return hex;
}

std::string PublicKeyId(EVP_PKEY* key, bool mode) {
    Assert(key != nullptr, "PublicKeyId: no key");
    Assert(EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA, "PublicKeyId: not an RSA key");
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    OpenSSLMemPtr owned(reinterpret_cast<char*>(der));
    Assert(length > 0 && length <= 1024, "PublicKeyId: public key too long");
    BIGNUM* exponent = nullptr;
    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &exponent);
    BigNumPtr ownedExponent(exponent);
    OpenSSLMemPtr decimal(exponent != nullptr ? BN_bn2dec(exponent) : nullptr);
    const bool usual = decimal != nullptr && std::string_view(decimal.get()) == "65537";
    const int tail = mode || !usual ? 138 : (EVP_PKEY_get_size(key) == 256 ? 270 : 140);
    Assert(length >= tail, "PublicKeyId: public key too short");
    return Sha1HexText(ByteString(owned.get() + (length - tail), static_cast<std::size_t>(tail)));
}

std::string NormalizeCertText(const std::string& text) {
    static const std::string Begin = "-----BEGIN CERTIFICATE-----";
    static const std::string End = "-----END CERTIFICATE-----";
    std::string compact;
    for (char c : text) {
        if (c != '\t' && c != '\n' && c != '\r') {
            compact += c;
        }
    }
    const std::size_t begin = compact.find(Begin);
    const std::size_t from = begin == std::string::npos ? 0 : begin + Begin.size();
    const std::size_t end = compact.find(End, from);
    const std::string body = end == std::string::npos ? std::string() : compact.substr(from, end - from);
    std::string result = Begin + "\r\n";
    for (std::size_t i = 0; i < body.size(); i += 64) {
        result += body.substr(i, 64) + "\r\n";
    }
    return result + End + "\r\n";
}

}  // namespace brelo
