#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>

#include "app/KeyTool.h"
#include "core/Format.h"

namespace brelo {

namespace {

using X509Ptr = std::unique_ptr<X509, decltype(&X509_free)>;
using BioPtr = std::unique_ptr<BIO, decltype(&BIO_free)>;

const char* const EntryMeaning[16] = {
    "сертификат удостоверяющего центра (CA)",
    "транспортный сертификат банка",
    "сертификат пользователя",
    "секретный ключ пользователя",
    "ГОСТ сертификат пользователя",
    "ГОСТ секретный ключ пользователя",
    "запрос на сертификат",
    "новый секретный ключ",
    "ГОСТ запрос на сертификат",
    "новый ГОСТ секретный ключ",
    "прежний сертификат пользователя",
    "прежний секретный ключ пользователя",
    "прежний ГОСТ сертификат",
    "прежний ГОСТ секретный ключ",
    "не используется",
    "не используется",
};

// Entries that hold (or held) an X.509 certificate.
bool IsCertificateEntry(int Index) {
    return Index <= 2 || Index == 10;
}

// PEM as written by the bank's tools, or DER.
X509Ptr ParseCertificate(const ByteString& Data) {
    BioPtr bio(BIO_new_mem_buf(Data.data(), static_cast<int>(Data.size())), BIO_free);
    X509Ptr cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr,
                 X509_free);
    if (cert)
        return cert;
    const auto* p = reinterpret_cast<const unsigned char*>(Data.data());
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(Data.size())), X509_free);
}

std::string NameText(const X509_NAME* Name) {
    BioPtr bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio)
        return {};
    X509_NAME_print_ex(bio.get(), Name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string TimeText(const ASN1_TIME* Time) {
    std::tm tm{};
    if (!Time || ASN1_TIME_to_tm(Time, &tm) != 1)
        return "?";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

}  // namespace

std::vector<std::string> DescribeTokenEntry(int Index, const ByteString& Data) {
    std::vector<std::string> lines;
    const char* meaning = Index >= 0 && Index < 16 ? EntryMeaning[Index] : "";
    lines.push_back(Format("%2d  %s: %d байт", {Index, meaning, Data.size()}));
    if (Data.empty() || !IsCertificateEntry(Index))
        return lines;
    const X509Ptr cert = ParseCertificate(Data);
    if (!cert) {
        lines.push_back("    не удалось прочитать сертификат");
        return lines;
    }
    lines.push_back("    субъект: " + NameText(X509_get_subject_name(cert.get())));
    lines.push_back("    действителен с " + TimeText(X509_get0_notBefore(cert.get())) + " по " +
                    TimeText(X509_get0_notAfter(cert.get())));
    return lines;
}

}  // namespace brelo
