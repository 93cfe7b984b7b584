/* Certificates: loading, saving, checking against the centre, small questions. */
#include <stdlib.h>
#include <string.h>

#include "fixture.h"

static ZtCert* load(const char* name) {
    ZtCert* cert = NULL;
    CHECK_OK(zt.LoadCert(path_of(name), ZT_FORMAT_PEM, &cert));
    return cert;
}

static void test_load(void) {
    ZtCert* cert = NULL;
    CHECK_OK(zt.LoadCert("kreda:USER01", ZT_FORMAT_PEM, &cert));
    CHECK(cert != NULL);
    zt.FreeCert(cert);
    CHECK_OK(zt.LoadCert(path_of("user.der"), ZT_FORMAT_DER, &cert));
    int32_t serial = 0;
    CHECK_OK(zt.GetCertSerialNumber(cert, &serial));
    CHECK(serial == 77);
    zt.FreeCert(cert);
    cert = (ZtCert*)1;
    CHECK_OK(zt.LoadCert(path_of("user.cer"), 2, &cert));
    CHECK(cert == NULL);
    CHECK_RC(zt.LoadCert("kreda:Nobody", ZT_FORMAT_PEM, &cert), ZT_E_CRYPTO);
    CHECK(strcmp(last_message(), "Вставьте ключевую дискету пользователя kreda:Nobody в дисковод!") == 0);
    CHECK_RC(zt.LoadCert(path_of("user.der"), ZT_FORMAT_PEM, &cert), ZT_E_OPENSSL);
    CHECK(contains(last_description(), "При чтении сертификата"));
}

static void test_streams(void) {
    const int formats[] = {ZT_FORMAT_PEM, ZT_FORMAT_DER};
    for (int i = 0; i < 2; i++) {
        MemStream m;
        mem_init(&m, "prefix", 6);
        m.position = 6;
        CHECK_OK(zt.SaveCertToStream(user_cert, &m.stream, formats[i]));
        m.position = 6;
        ZtCert* back = NULL;
        CHECK_OK(zt.LoadCertFromStream(&m.stream, formats[i], &back));
        int matches = 0;
        CHECK_OK(zt.CheckCertMatchesKey(back, user_key, &matches));
        CHECK(matches == 1);
        zt.FreeCert(back);
        if (formats[i] == ZT_FORMAT_DER) {
            size_t size = 0;
            unsigned char* der = read_file(path_of("user.der"), &size);
            CHECK(m.size == (int64_t)size + 6 && memcmp(m.data + 6, der, size) == 0);
            free(der);
        }
        mem_free(&m);
    }
    /* Two certificates in a row: each read ends right after its certificate. */
    for (int i = 0; i < 2; i++) {
        MemStream pair;
        mem_init(&pair, NULL, 0);
        CHECK_OK(zt.SaveCertToStream(user_cert, &pair.stream, formats[i]));
        CHECK_OK(zt.SaveCertToStream(ca_cert, &pair.stream, formats[i]));
        pair.position = 0;
        ZtCert *first = NULL, *second = NULL;
        int32_t serial = 0;
        CHECK_OK(zt.LoadCertFromStream(&pair.stream, formats[i], &first));
        CHECK_OK(zt.LoadCertFromStream(&pair.stream, formats[i], &second));
        CHECK_OK(zt.GetCertSerialNumber(first, &serial));
        CHECK(serial == 77);
        CHECK_OK(zt.VerifyCert(second, second));
        CHECK(pair.position == pair.size);
        zt.FreeCert(first);
        zt.FreeCert(second);
        mem_free(&pair);
    }
    MemStream m;
    mem_init(&m, NULL, 0);
    CHECK_OK(zt.SaveCertToStream(user_cert, &m.stream, 7));
    CHECK(m.size == 0);
    m.fail_write = 1;
    CHECK_RC(zt.SaveCertToStream(user_cert, &m.stream, ZT_FORMAT_PEM), ZT_E_STREAM);
    mem_free(&m);
    mem_init(&m, "garbage that is no certificate", 30);
    ZtCert* cert = NULL;
    CHECK_RC(zt.LoadCertFromStream(&m.stream, ZT_FORMAT_DER, &cert), ZT_E_OPENSSL);
    CHECK(cert == NULL && contains(last_description(), "При чтении сертификата"));
    m.position = 0;
    m.fail_read = 1;
    CHECK_RC(zt.LoadCertFromStream(&m.stream, ZT_FORMAT_PEM, &cert), ZT_E_STREAM);
    ZtStream partial = m.stream;
    partial.seek = NULL;
    CHECK_RC(zt.LoadCertFromStream(&partial, ZT_FORMAT_PEM, &cert), ZT_E_INVALID_ARGUMENT);
    CHECK_RC(zt.LoadCertFromStream(NULL, ZT_FORMAT_PEM, &cert), ZT_E_INVALID_ARGUMENT);
    mem_free(&m);
}

/* VerifyCert's result and code for a certificate file against an issuer file. */
static void expect_verify(const char* certFile, const char* issuerFile, int rc, int code) {
    ZtCert* cert = load(certFile);
    ZtCert* issuer = load(issuerFile);
    CHECK_RC(zt.VerifyCert(cert, issuer), rc);
    if (rc == ZT_E_VERIFY_CERT) CHECK(zt.ZtGetLastErrorCode() == code);
    ZtKey* key = (ZtKey*)1;
    CHECK_RC(zt.GetTrustedPublicKey(cert, issuer, &key), rc);
    if (rc == ZT_OK) {
        int32_t size = 0;
        CHECK_OK(zt.GetKeySize(key, &size));
        zt.FreeKey(key);
    } else {
        CHECK(key == (ZtKey*)1);
    }
    zt.FreeCert(cert);
    zt.FreeCert(issuer);
}

static void test_verify(void) {
    expect_verify("user.cer", "ca.cer", ZT_OK, 0);
    /* Issued elsewhere and expired: the issuer check comes first. */
    expect_verify("foreign.cer", "ca.cer", ZT_E_VERIFY_CERT, 1);
    expect_verify("expired.cer", "ca.cer", ZT_E_VERIFY_CERT, 3);
    /* Same centre name, another key: the signature does not verify. */
    expect_verify("user.cer", "fake_ca.cer", ZT_E_OPENSSL, 0);
    CHECK(contains(last_description(), "При проверке подлинности сертификата"));
    CHECK_RC(zt.VerifyCert(user_cert, NULL), ZT_E_INVALID_HANDLE);
}

static void test_questions(void) {
    ZtKey* pub = NULL;
    CHECK_OK(zt.GetPublicKey(user_cert, &pub));
    unsigned char sig[128];
    int32_t length = 128;
    int valid = 0;
    CHECK_OK(zt.SignData(user_key, "", "abc", 3, sig, &length));
    CHECK_OK(zt.VerifySignature(pub, "", "abc", 3, sig, length, &valid));
    CHECK(valid == 1);
    zt.FreeKey(pub);
    CHECK_RC(zt.GetPublicKey(NULL, &pub), ZT_E_INVALID_HANDLE);

    int matches = -1;
    CHECK_OK(zt.CheckCertMatchesKey(user_cert, user_key, &matches));
    CHECK(matches == 1);
    CHECK_OK(zt.CheckCertMatchesKey(user_cert, ca_key, &matches));
    CHECK(matches == 0);

    ZtCert* big = load("big_serial.cer");
    int32_t serial = 0;
    CHECK_RC(zt.GetCertSerialNumber(big, &serial), ZT_E_CRYPTO);
    zt.FreeCert(big);

    const ZtName* subject = NULL;
    CHECK_OK(zt.GetCertSubject(user_cert, &subject));
    int32_t count = 0;
    CHECK_OK(zt.GetDistinguishedNameEntryCount(subject, &count));
    CHECK(count == 1);
    char field[64], value[64];
    int32_t fieldLength = sizeof field, valueLength = sizeof value - 1;
    CHECK_OK(zt.GetDistinguishedNameEntry(subject, 0, field, &fieldLength, value, &valueLength));
    CHECK(strcmp(field, "commonName") == 0 && strcmp(value, "USER01") == 0);
    /* Borrowed: the caller cannot free it, and it dies with its certificate. */
    CHECK_RC(zt.FreeDistinguishedName((ZtName*)subject), ZT_E_INVALID_HANDLE);
    ZtCert* cert = load("user.cer");
    CHECK_OK(zt.GetCertSubject(cert, &subject));
    zt.FreeCert(cert);
    CHECK_RC(zt.GetDistinguishedNameEntryCount(subject, &count), ZT_E_INVALID_HANDLE);
}

void test_certs(void) {
    test_load();
    test_streams();
    test_verify();
    test_questions();
}
