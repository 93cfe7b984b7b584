#include <cctype>
#include <cstdint>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include "core/Messages.h"
#include "openssl/OpenSSLCryptoFunc.h"
#include "openssl/OpenSSLFuncCommon.h"
#include "openssl/OpenSSLStreamBIO.h"

namespace brelo {

using detail::CheckResult;

X509Ptr SslReadCert(TStream& stream) {
    InitOpenSSL();
    ClearOpenSSLErrors();
    TMemoryStream copy(stream.ReadAll() + "\r\n");  // a last line without its line end still reads
    BioPtr bio = NewStreamBIO(copy);
    X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    CheckResult(cert != nullptr, GetMessageText("OnReadCert"), "PEM_read_bio_X509");
    return cert;
}

void SslWriteCert(X509* cert, TStream& stream) {
    Assert(cert != nullptr, "SslWriteCert: no certificate");
    BioPtr bio = NewStreamBIO(stream);
    PEM_write_bio_X509(bio.get(), cert);
}

void SslFreeCert(X509* cert) { X509Ptr owned(cert); }

EvpPKeyPtr SslCertPublicKey(X509* cert) {
    Assert(cert != nullptr, "SslCertPublicKey: no certificate");
    ClearOpenSSLErrors();
    EvpPKeyPtr key(X509_get_pubkey(cert));
    CheckResult(key != nullptr, {}, "X509_get_pubkey");
    return key;
}

X509_NAME* SslCertSubject(X509* cert) {
    Assert(cert != nullptr, "SslCertSubject: no certificate");
    return X509_get_subject_name(cert);
}

void SslVerifyCertByCA(X509* cert, X509* caCert) {
    Assert(cert != nullptr && caCert != nullptr, "SslVerifyCertByCA: no certificate");
    ClearOpenSSLErrors();
    if (X509_NAME_cmp(X509_get_issuer_name(cert), X509_get_subject_name(caCert)) != 0) {
        throw EVerifyCertException(GetMessageText("UnknownCertCenter"), 1);
    }
    EvpPKeyPtr key(X509_get_pubkey(caCert));
    CheckResult(key != nullptr, GetMessageText("OnCheckValidCert"), "X509_get_pubkey");
    // A signature that does not verify must fail even when OpenSSL queues nothing for it.
    CheckResult(X509_verify(cert, key.get()) > 0, GetMessageText("OnCheckValidCert"), "X509_verify");
}

void SslCheckCertPeriod(X509* cert) {
    TDateTime notBefore = 0, notAfter = 0;
    SslCertPeriod(cert, notBefore, notAfter);
    const TDateTime now = Now();
    if (now < notBefore) {
        throw ECertInvalidPeriod(GetMessageText("CertNotStarted"), 2);
    }
    if (now > notAfter) {
        throw ECertInvalidPeriod(GetMessageText("CertExpired"), 3);
    }
}

namespace {

[[noreturn]] void RaiseParseError() { throw Exception(GetMessageText("ErrOnParseUserCert")); }

int Pair(const std::string& text, std::size_t at, bool required) {
    const bool digits = text.size() >= at + 2 && std::isdigit(static_cast<unsigned char>(text[at])) &&
                        std::isdigit(static_cast<unsigned char>(text[at + 1]));
    if (!digits) {
        if (required) {
            RaiseParseError();
        }
        return 0;
    }
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

TDateTime UtcToLocal(int year, int month, int day, int hour, int minute, int second) {
    TDateTime utc = 0;
    try {
        utc = EncodeDateTime(year, month, day, hour, minute, second);
    } catch (const EConvertError&) {
        RaiseParseError();
    }
    const double seconds = (utc - EncodeDateTime(1970, 1, 1, 0, 0, 0)) * 86400.0;
    return UnixToLocal(static_cast<std::time_t>(seconds + (seconds >= 0 ? 0.5 : -0.5)));
}

// GeneralizedTime (dates from 2050 on): four-digit year, then as UTCTime.
TDateTime ParseGeneralizedTime(const std::string& text) {
    const int year = Pair(text, 0, true) * 100 + Pair(text, 2, true);
    const std::string rest = text.substr(2);
    return UtcToLocal(year, Pair(rest, 2, true), Pair(rest, 4, true), Pair(rest, 6, false), Pair(rest, 8, false),
                      Pair(rest, 10, false));
}

TDateTime ReadTime(const ASN1_TIME* time) {
    CheckResult(time != nullptr, {}, "X509_get0_notBefore/notAfter");
    const std::string text(reinterpret_cast<const char*>(ASN1_STRING_get0_data(time)),
                           static_cast<std::size_t>(ASN1_STRING_length(time)));
    return ASN1_STRING_type(time) == V_ASN1_GENERALIZEDTIME ? ParseGeneralizedTime(text) : SslParseCertTime(text);
}

}  // namespace

TDateTime SslParseCertTime(const std::string& text) {
    return UtcToLocal(2000 + Pair(text, 0, true), Pair(text, 2, true), Pair(text, 4, true), Pair(text, 6, false),
                      Pair(text, 8, false), Pair(text, 10, false));
}

TDateTime SslCertNotBefore(X509* cert) {
    Assert(cert != nullptr, "SslCertNotBefore: no certificate");
    ClearOpenSSLErrors();
    return ReadTime(X509_get0_notBefore(cert));
}

TDateTime SslCertNotAfter(X509* cert) {
    Assert(cert != nullptr, "SslCertNotAfter: no certificate");
    ClearOpenSSLErrors();
    return ReadTime(X509_get0_notAfter(cert));
}

void SslCertPeriod(X509* cert, TDateTime& notBefore, TDateTime& notAfter) {
    notBefore = SslCertNotBefore(cert);
    notAfter = SslCertNotAfter(cert);
}

ByteString SslCommonName(X509* cert) {
    Assert(cert != nullptr, "SslCommonName: no certificate");
    X509_NAME* subject = X509_get_subject_name(cert);
    const int count = SslNameEntryCount(subject);
    for (int i = 0; i < count; ++i) {
        // Lengths first, so that no value is too long for its buffer.
        int nameLength = 0, valueLength = 0;
        SslGetNameEntry(subject, i, nullptr, nameLength, nullptr, valueLength);
        std::string name(static_cast<std::size_t>(nameLength), '\0');
        std::string value(static_cast<std::size_t>(valueLength) + 1, '\0');
        SslGetNameEntry(subject, i, name.data(), nameLength, value.data(), valueLength);
        if (std::string_view(name.c_str()) == "commonName") {
            const X509_NAME_ENTRY* entry = X509_NAME_get_entry(subject, i);
            const ASN1_STRING* data = X509_NAME_ENTRY_get_data(entry);
            return ByteString(reinterpret_cast<const char*>(ASN1_STRING_get0_data(data)),
                              static_cast<std::size_t>(ASN1_STRING_length(data)));
        }
    }
    return {};
}

std::string SslSerialNumberText(X509* cert) {
    Assert(cert != nullptr, "SslSerialNumberText: no certificate");
    ClearOpenSSLErrors();
    const ASN1_INTEGER* serial = X509_get_serialNumber(cert);
    CheckResult(serial != nullptr, {}, "X509_get_serialNumber");
    static const char Digits[] = "0123456789ABCDEF";
    std::string hex = "$0";
    const unsigned char* bytes = ASN1_STRING_get0_data(serial);
    for (int i = 0; i < ASN1_STRING_length(serial); ++i) {
        hex += Digits[bytes[i] >> 4];
        hex += Digits[bytes[i] & 15];
    }
    const std::size_t first = hex.find_first_not_of('0', 1);
    const std::size_t significant = first == std::string::npos ? 0 : hex.size() - first;
    if (significant > 16) {
        throw EOpenSSLError(GetMessageText("CertNoError"), {"'" + hex + "' is not a valid integer value", hex});
    }
    std::uint64_t value = 0;
    for (std::size_t i = 2; i < hex.size(); ++i) {
        value = value * 16 + static_cast<std::uint64_t>(std::string_view(Digits).find(hex[i]));
    }
    return std::to_string(static_cast<std::int64_t>(value));
}

}  // namespace brelo
