// Certificates, their checks, times, names and requests.

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>
#include <openssl/x509.h>

#include "core/CryptoErrors.h"
#include "core/Streams.h"
#include "openssl/OpenSSLCryptoFunc.h"
#include "OpenSSLTestSupport.h"

namespace brelo {
namespace {

X509Ptr ReadCertFile(const std::string& path) {
    TMemoryStream stream(ReadText(path));
    return SslReadCert(stream);
}

EvpPKeyPtr ReadPlainKey(const std::string& path) {
    TMemoryStream stream(ReadText(path));
    return SslReadPrivateKey(stream, SecureString());
}

X509Ptr CA() { return ReadCertFile(SharedKeyFolder().File("CA.CER")); }
X509Ptr User() { return ReadCertFile(SharedKeyFolder().File("USER01.CER")); }

/// A self-signed certificate with a subject of its own, valid from now + From to now + To seconds.
X509Ptr MakeCert(long from, long to, const std::string& commonName = "USER01", long serial = 1) {
    static EvpPKeyPtr key = SslGenerateRSAKey(1024);
    X509NamePtr name = SslNewName();
    SslAddNameEntry(name.get(), "CN", "x");
    X509ReqPtr request = SslMakeRequest(key.get(), name.get(), "");
    X509Ptr cert = SslMakeCertificate(request.get(), serial, 1, "", key.get(), nullptr);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), from);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), to);
    X509_NAME* subject = X509_get_subject_name(cert.get());
    X509_NAME_ENTRY_free(X509_NAME_delete_entry(subject, 0));
    X509_NAME_add_entry_by_txt(subject, "CN", V_ASN1_UTF8STRING,
                               reinterpret_cast<const unsigned char*>(commonName.data()),
                               static_cast<int>(commonName.size()), -1, 0);
    return cert;
}

TEST(SslVerifyCertByCATest, CertificateOfTheCentrePasses) {
    X509Ptr ca = CA(), user = User();
    EXPECT_NO_THROW(SslVerifyCertByCA(user.get(), ca.get()));
}

TEST(SslVerifyCertByCATest, AnotherIssuerIsCodeOneBeforeAnySignatureCheck) {
    X509Ptr user = User(), transport = ReadCertFile(SharedKeyFolder().File("TRANSPORT.CER"));
    try {
        SslVerifyCertByCA(transport.get(), user.get());
        FAIL();
    } catch (const EVerifyCertException& e) {
        EXPECT_EQ(e.VerifyCode, 1);
        EXPECT_EQ(e.Message(), "UnknownCertCenter");
    }
}

TEST(SslVerifyCertByCATest, SameIssuerNameWithAnotherKeyFailsTheSignatureCheck) {
    X509Ptr ca = CA();
    EvpPKeyPtr impostorKey = SslGenerateRSAKey(1024);
    X509ReqPtr request = SslMakeRequest(impostorKey.get(), X509_get_subject_name(ca.get()), "");
    X509Ptr impostor = SslMakeCertificate(request.get(), 5, 10, "md5", impostorKey.get(), nullptr);
    try {
        SslVerifyCertByCA(impostor.get(), ca.get());
        FAIL();
    } catch (const EOpenSSLError& e) {
        EXPECT_EQ(e.ContextText, "OnCheckValidCert");
    }
}

class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            FOld = old;
            FHadOld = true;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone() {
        FHadOld ? setenv("TZ", FOld.c_str(), 1) : unsetenv("TZ");
        tzset();
    }

private:
    std::string FOld;
    bool FHadOld = false;
};

TEST(SslParseCertTimeTest, ReadsUtcTimeIntoLocalTimeWithoutCenturyWindow) {
    LocalZone zone("<+03>-3");  // three hours east of UTC
    EXPECT_DOUBLE_EQ(SslParseCertTime("050101000000Z"), EncodeDateTime(2005, 1, 1, 3, 0, 0));
    EXPECT_DOUBLE_EQ(SslParseCertTime("991231235959Z"), EncodeDateTime(2100, 1, 1, 2, 59, 59));
    EXPECT_DOUBLE_EQ(SslParseCertTime("0501011a0000Z"), EncodeDateTime(2005, 1, 1, 3, 0, 0));
}

TEST(SslParseCertTimeTest, UnreadableDateIsErrOnParseUserCert) {
    for (const char* text : {"05x101000000Z", "051301000000Z", "0501", ""}) {
        try {
            SslParseCertTime(text);
            FAIL() << text;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "ErrOnParseUserCert") << text;
        }
    }
}

TEST(SslCertPeriodTest, DatesFrom2050OnAreRead) {
    X509Ptr cert = MakeCert(0, 40L * 366 * 86400);
    int year = 0, month = 0, day = 0;
    DecodeDate(SslCertNotAfter(cert.get()), year, month, day);
    EXPECT_GE(year, 2066);
}

TEST(SslCheckCertPeriodTest, NotStartedAndExpiredHaveTheirCodes) {
    struct Case {
        long From, To;
        int Code;
        const char* Text;
    };
    for (const Case& c : {Case{86400, 2 * 86400, 2, "CertNotStarted"}, Case{-2 * 86400, -86400, 3, "CertExpired"}}) {
        X509Ptr cert = MakeCert(c.From, c.To);
        try {
            SslCheckCertPeriod(cert.get());
            FAIL() << c.Text;
        } catch (const ECertInvalidPeriod& e) {
            EXPECT_EQ(e.VerifyCode, c.Code);
            EXPECT_EQ(e.Message(), c.Text);
        }
    }
    X509Ptr valid = MakeCert(-60, 86400);
    EXPECT_NO_THROW(SslCheckCertPeriod(valid.get()));
}

TEST(SslCommonNameTest, GivesTheRawBytesEvenWhenLong) {
    X509Ptr user = User();
    EXPECT_EQ(SslCommonName(user.get()), "USER01");
    const std::string longName(1024, 'N');
    X509Ptr cert = MakeCert(0, 86400, longName);
    EXPECT_EQ(SslCommonName(cert.get()), longName);
}

TEST(SslSerialNumberTextTest, DecimalOfTheSerialOrCertNoErrorBeyond64Bits) {
    X509Ptr user = User();
    EXPECT_EQ(SslSerialNumberText(user.get()), "1001");
    X509Ptr cert = MakeCert(0, 86400, "x", 256);
    EXPECT_EQ(SslSerialNumberText(cert.get()), "256");
    BigNumPtr big(BN_new());
    BN_hex2bn(reinterpret_cast<BIGNUM**>(&big), "0123456789ABCDEF01");
    Asn1IntegerPtr serial(BN_to_ASN1_INTEGER(big.get(), nullptr));
    X509_set_serialNumber(cert.get(), serial.get());
    EXPECT_THROW(SslSerialNumberText(cert.get()), EOpenSSLError);
}

TEST(SslNameTest, PrivateAttributesAreRegisteredAndReadBackByLongName) {
    X509NamePtr name = SslNewName();
    SslAddNameEntry(name.get(), "BankID", "044525225");
    SslAddNameEntry(name.get(), "IntPSBranchID", "7");
    SslAddNameEntry(name.get(), "noSuchAttribute", "skipped");
    SslAddNameEntry(name.get(), "commonName", "Ёлка");
    ASSERT_EQ(SslNameEntryCount(name.get()), 3);
    char attribute[64], value[64];
    int attributeLength = 64, valueLength = 64;
    SslGetNameEntry(name.get(), 0, attribute, attributeLength, value, valueLength);
    EXPECT_STREQ(attribute, "ztBankID");
    EXPECT_STREQ(value, "044525225");
    EXPECT_EQ(OBJ_obj2nid(X509_NAME_ENTRY_get_object(X509_NAME_get_entry(name.get(), 0))), OBJ_txt2nid("1.2.980.31857264.1.1"));
    attributeLength = valueLength = 64;
    SslGetNameEntry(name.get(), 1, attribute, attributeLength, value, valueLength);
    EXPECT_STREQ(attribute, "ztIntPSBranchID");
    attributeLength = valueLength = 64;
    SslGetNameEntry(name.get(), 2, attribute, attributeLength, value, valueLength);
    EXPECT_STREQ(value, "Ёлка");
}

TEST(SslNameTest, LengthsBuffersAndIndexAreChecked) {
    X509NamePtr name = SslNewName();
    SslAddNameEntry(name.get(), "CN", "USER01");
    int attributeLength = 0, valueLength = 0;
    SslGetNameEntry(name.get(), 0, nullptr, attributeLength, nullptr, valueLength);
    EXPECT_EQ(attributeLength, 11);  // "commonName" and its terminator
    EXPECT_EQ(valueLength, 6);       // without the terminator
    char small[4];
    int smallLength = 4, bigLength = 64;
    char big[64];
    struct Case {
        char* Name;
        int* NameLength;
        char* Value;
        int* ValueLength;
        int Index;
        const char* Text;
    };
    for (const Case& c : {Case{small, &smallLength, big, &bigLength, 0, "LowBufferDist"},
                          Case{big, &bigLength, small, &smallLength, 0, "LowSizeBufferDist"},
                          Case{big, &bigLength, big, &bigLength, 1, "WrongDistIndex"}}) {
        smallLength = 4;
        bigLength = 64;
        try {
            SslGetNameEntry(name.get(), c.Index, c.Name, *c.NameLength, c.Value, *c.ValueLength);
            FAIL() << c.Text;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), c.Text);
        }
    }
}

TEST(SslNameTest, ValueOpenSSLRefusesIsAnOpenSSLError) {
    X509NamePtr name = SslNewName();
    EXPECT_THROW(SslAddNameEntry(name.get(), "countryName", "RUS"), EOpenSSLError);
}

TEST(SslRequestTest, RequestAndIssuedCertificatePassOpensslChecks) {
    TTempDir dir;
    EvpPKeyPtr key = SslGenerateRSAKey(1024);
    X509NamePtr name = SslNewName();
    for (const auto& [attribute, value] : std::initializer_list<std::pair<const char*, const char*>>{
             {"countryName", "RU"}, {"organizationName", "Банк"}, {"commonName", "USER02"}, {"BankID", "42"}}) {
        SslAddNameEntry(name.get(), attribute, value);
    }
    X509ReqPtr request = SslMakeRequest(key.get(), name.get(), "");
    TMemoryStream requestText;
    SslWriteRequest(request.get(), requestText);
    WriteText(dir / "req.pem", requestText.Bytes());
    const std::string shown = MustShell("openssl req -verify -noout -text -in " + Quote(dir / "req.pem") + " 2>&1");
    EXPECT_NE(shown.find("verify OK"), std::string::npos) << shown;
    EXPECT_NE(shown.find("1.2.980.31857264.1.1"), std::string::npos) << shown;

    X509Ptr ca = CA();
    EvpPKeyPtr caKey = ReadPlainKey(SharedKeyFolder().Fixture("ca.key"));
    X509Ptr cert = SslMakeCertificate(request.get(), 77, 30, "md5", caKey.get(), ca.get());
    TMemoryStream certText;
    SslWriteCert(cert.get(), certText);
    WriteText(dir / "cert.pem", certText.Bytes());
    EXPECT_EQ(MustShell("openssl verify -CAfile " + Quote(SharedKeyFolder().File("CA.CER")) + " " +
                        Quote(dir / "cert.pem")),
              dir / "cert.pem" + ": OK\n");
    EXPECT_EQ(SslSerialNumberText(cert.get()), "77");
    EXPECT_TRUE(SslKeyMatchesCert(cert.get(), key.get()));
}

TEST(SslRequestTest, IssuerKeyThatIsNotTheIssuerCertificatesIsRefused) {
    EvpPKeyPtr key = SslGenerateRSAKey(1024);
    X509NamePtr name = SslNewName();
    SslAddNameEntry(name.get(), "CN", "x");
    X509ReqPtr request = SslMakeRequest(key.get(), name.get(), "");
    X509Ptr ca = CA();
    EXPECT_THROW(SslMakeCertificate(request.get(), 1, 1, "", key.get(), ca.get()), EOpenSSLError);
}

}  // namespace
}  // namespace brelo
