/* Key generation, requests, issuing and distinguished names. */
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "fixture.h"

static void progress(int p, int n, void* arg) { ++*(int*)arg; }

static ZtName* user_name(void) {
    ZtName* name = NULL;
    CHECK_OK(zt.CreateDistinguishedName(&name));
    CHECK_OK(zt.AddDistinguishedNameEntry(name, "CN", "Иванов Иван"));
    CHECK_OK(zt.AddDistinguishedNameEntry(name, "BankID", "044525000"));
    CHECK_OK(zt.AddDistinguishedNameEntry(name, "IntPSBranchID", "0042"));
    return name;
}

static void test_generate_and_save(void) {
    int calls = 0;
    ZtKey* key = NULL;
    CHECK_OK(zt.GenerateKey(1024, progress, &calls, &key));
    CHECK(calls > 0);
    int32_t size = 0;
    CHECK_OK(zt.GetKeySize(key, &size));
    CHECK(size == 128);
    CHECK_RC(zt.GenerateKey(100, NULL, NULL, &key), ZT_E_INVALID_ARGUMENT);
    CHECK_RC(zt.GenerateKey(-1024, NULL, NULL, &key), ZT_E_INVALID_ARGUMENT);

    MemStream m;
    mem_init(&m, NULL, 0);
    CHECK_OK(zt.SaveKey(key, &m.stream, "", USER_PASSWORD, 12345));
    mem_save(&m, path_of("saved.key"));
    CHECK(run("grep -q 'BEGIN RSA PRIVATE KEY' saved.key && grep -q 'DEK-Info: DES-EDE3-CBC' saved.key") == 0);
    CHECK(run("openssl rsa -in saved.key -passin file:pw1251 -check -noout >/dev/null 2>&1") == 0);
    CHECK(run("openssl rsa -in saved.key -passin pass:wrong -noout >/dev/null 2>&1") != 0);
    ZtKey* back = NULL;
    CHECK_OK(zt.LoadPrivateKey(path_of("saved.key"), USER_PASSWORD, ZT_FORMAT_PEM, &back));
    zt.FreeKey(back);
    mem_free(&m);
    /* Another cipher and the empty password. */
    mem_init(&m, NULL, 0);
    CHECK_OK(zt.SaveKey(key, &m.stream, "AES-256-CBC", "", 0));
    mem_save(&m, path_of("saved_aes.key"));
    CHECK(run("grep -q 'DEK-Info: AES-256-CBC' saved_aes.key") == 0);
    mem_free(&m);
    mem_init(&m, NULL, 0);
    CHECK_RC(zt.SaveKey(key, &m.stream, "NoSuchCipher", "x", 0), ZT_E_CRYPTO);
    ZtKey* pub = NULL;
    zt.GetPublicKey(user_cert, &pub);
    CHECK_RC(zt.SaveKey(pub, &m.stream, "", "x", 0), ZT_E_OPENSSL);
    zt.FreeKey(pub);
    mem_free(&m);
    CHECK_OK(zt.FreeKey(key));
}

static ZtRequest* make_request(ZtKey* key) {
    ZtName* name = user_name();
    ZtRequest* request = NULL;
    CHECK_OK(zt.CreateCertRequest(key, name, "", &request));
    CHECK_OK(zt.FreeDistinguishedName(name)); /* the request holds a copy */
    return request;
}

static void save_request(ZtRequest* request, const char* file) {
    MemStream m;
    mem_init(&m, NULL, 0);
    CHECK_OK(zt.SaveCertRequest(request, &m.stream));
    mem_save(&m, path_of(file));
    mem_free(&m);
}

static ZtRequest* load_request(const char* file, int expected) {
    MemStream m;
    ZtRequest* request = NULL;
    mem_load(&m, path_of(file));
    CHECK_RC(zt.LoadCertRequest(&m.stream, &request), expected);
    mem_free(&m);
    return request;
}

static void test_request_files(void) {
    ZtRequest* request = make_request(user_key);
    save_request(request, "new.req");
    CHECK(run("openssl req -in new.req -verify -noout >/dev/null 2>&1") == 0);
    CHECK(run("openssl req -in new.req -noout -text | grep -q '1.2.980.31857264.1.1 *= *044525000'") == 0);
    CHECK(run("openssl req -in new.req -noout -text | grep -q '1.2.980.31857264.1.2 *= *0042'") == 0);
    CHECK(run("openssl req -in new.req -noout -subject -nameopt utf8,sep_comma_plus | grep -q 'CN=Иванов Иван'") == 0);
    ZtRequest* back = load_request("new.req", ZT_OK);
    const ZtName* subject = NULL;
    CHECK_OK(zt.GetCertRequestSubject(back, &subject));
    int32_t count = 0;
    CHECK_OK(zt.GetDistinguishedNameEntryCount(subject, &count));
    CHECK(count == 3);
    zt.FreeCertRequest(back);
    /* Damaged requests: no PEM, a broken body, a signature that does not verify. */
    write_file(path_of("junk.req"), "-----BEGIN CERTIFICATE REQUEST-----\nAAAA\n", 42);
    CHECK(load_request("junk.req", ZT_E_OPENSSL) == NULL);
    CHECK(run("openssl req -in new.req -outform DER -out new.der && "
              "size=$(stat -c %%s new.der) && "
              "printf '\\x55' | dd of=new.der bs=1 seek=$((size-5)) conv=notrunc 2>/dev/null && "
              "openssl req -inform DER -in new.der -out bad_sig.req") == 0);
    ZtRequest* bad = load_request("bad_sig.req", ZT_OK);
    ZtCert* cert = NULL;
    CHECK_RC(zt.SignRequest(bad, 5, 30, ca_cert, ca_key, "", &cert), ZT_E_OPENSSL);
    CHECK(contains(last_description(), "При проверке подписи на запросе"));
    zt.FreeCertRequest(bad);
    CHECK_RC(zt.CreateCertRequest(user_key, NULL, "", &request), ZT_E_INVALID_HANDLE);
    CHECK_OK(zt.FreeCertRequest(request));
    CHECK_RC(zt.FreeCertRequest(request), ZT_E_INVALID_HANDLE);
}

static double local_now(void) {
    time_t now = time(NULL);
    struct tm local;
    localtime_r(&now, &local);
    return (double)(now + local.tm_gmtoff) / 86400.0 + 25569.0;
}

static void test_issuing(void) {
    ZtRequest* request = make_request(user_key);
    ZtCert* cert = NULL;
    CHECK_OK(zt.SignRequest(request, 1001, 365, ca_cert, ca_key, "SHA256", &cert));
    MemStream m;
    mem_init(&m, NULL, 0);
    zt.SaveCertToStream(cert, &m.stream, ZT_FORMAT_PEM);
    mem_save(&m, path_of("issued.cer"));
    mem_free(&m);
    CHECK(run("openssl verify -CAfile ca.cer issued.cer >/dev/null 2>&1") == 0);
    CHECK(run("openssl x509 -in issued.cer -noout -text | grep -q 'Version: 3'") == 0);
    int32_t serial = 0;
    CHECK_OK(zt.GetCertSerialNumber(cert, &serial));
    CHECK(serial == 1001);
    CHECK_OK(zt.VerifyCert(cert, ca_cert));
    zt.FreeCert(cert);
    /* Self-issued: the issuer is the request's subject, signed by the request's key. */
    CHECK_OK(zt.SignRequest(request, 1, 10, NULL, user_key, "", &cert));
    CHECK_OK(zt.VerifyCert(cert, cert));
    zt.FreeCert(cert);
    /* An issuer key that is not the issuer certificate's. */
    cert = NULL;
    CHECK_RC(zt.SignRequest(request, 1, 10, ca_cert, user_key, "", &cert), ZT_E_OPENSSL);
    CHECK(cert == NULL);
    CHECK_RC(zt.SignRequest(request, 1, 30000, ca_cert, ca_key, "", &cert), ZT_E_CRYPTO);
    CHECK(contains(last_message(), "слишком велик"));
    /* Starting two days ahead: not valid yet. */
    CHECK_OK(zt.SignRequest2(request, 2, 365, local_now() + 2, ca_cert, ca_key, "", &cert));
    CHECK_RC(zt.VerifyCert(cert, ca_cert), ZT_E_VERIFY_CERT);
    CHECK(zt.ZtGetLastErrorCode() == 2);
    mem_init(&m, NULL, 0);
    zt.SaveCertToStream(cert, &m.stream, ZT_FORMAT_PEM);
    mem_save(&m, path_of("later.cer"));
    mem_free(&m);
    CHECK(run("test $(( ($(date -d \"$(openssl x509 -in later.cer -noout -enddate | cut -d= -f2)\" +%%s) - $(date +%%s)) / 3600 )) -ge $((367*24 - 1))") == 0);
    zt.FreeCert(cert);
    const int bad_days[] = {25000, -1};
    for (int i = 0; i < 2; i++) {
        CHECK_RC(zt.SignRequest2(request, 3, bad_days[i], local_now(), ca_cert, ca_key, "", &cert), ZT_E_CRYPTO);
        CHECK(strcmp(last_message(), "Параметр \"количество дней действия сертификата\" слишком велик.") == 0);
    }
    CHECK_RC(zt.SignRequest2(request, 3, 10, local_now() - 30, ca_cert, ca_key, "", &cert), ZT_E_CRYPTO);
    zt.FreeCertRequest(request);
}

void test_requests(void) {
    test_generate_and_save();
    test_request_files();
    test_issuing();
}

void test_names(void) {
    ZtName* name = NULL;
    CHECK_OK(zt.CreateDistinguishedName(&name));
    const char* bank_fields[] = {"BankID", "ztBankID", "1.2.980.31857264.1.1"};
    for (int i = 0; i < 3; i++) CHECK_OK(zt.AddDistinguishedNameEntry(name, bank_fields[i], "7"));
    CHECK_OK(zt.AddDistinguishedNameEntry(name, "NoSuchField", "ignored"));
    CHECK_OK(zt.AddDistinguishedNameEntry(name, "O", "ООО \"Ромашка\""));
    int32_t count = 0;
    CHECK_OK(zt.GetDistinguishedNameEntryCount(name, &count));
    CHECK(count == 4);
    for (int i = 0; i < 3; i++) {
        char field[32];
        int32_t fieldLength = sizeof field, valueLength = 1;
        char value[2];
        CHECK_OK(zt.GetDistinguishedNameEntry(name, i, field, &fieldLength, value, &valueLength));
        CHECK(strcmp(field, "ztBankID") == 0 && fieldLength == 9 && strcmp(value, "7") == 0);
    }
    /* Sizes first, then exact buffers, then one byte short. */
    int32_t fieldLength = 0, valueLength = 0;
    CHECK_OK(zt.GetDistinguishedNameEntry(name, 3, NULL, &fieldLength, NULL, &valueLength));
    CHECK(fieldLength == (int32_t)strlen("organizationName") + 1);
    CHECK(valueLength == (int32_t)strlen("ООО \"Ромашка\""));
    char* field = malloc((size_t)fieldLength);
    char* value = malloc((size_t)valueLength + 1);
    CHECK_OK(zt.GetDistinguishedNameEntry(name, 3, field, &fieldLength, value, &valueLength));
    CHECK(strcmp(field, "organizationName") == 0 && strcmp(value, "ООО \"Ромашка\"") == 0);
    int32_t shortField = fieldLength - 1, fullValue = valueLength;
    CHECK_RC(zt.GetDistinguishedNameEntry(name, 3, field, &shortField, value, &fullValue), ZT_E_BUFFER_TOO_SMALL);
    CHECK(shortField == fieldLength && contains(last_message(), "недостаточный буфер для имени"));
    int32_t fullField = fieldLength, shortValue = valueLength - 1;
    CHECK_RC(zt.GetDistinguishedNameEntry(name, 3, field, &fullField, value, &shortValue), ZT_E_BUFFER_TOO_SMALL);
    CHECK(shortValue == valueLength && contains(last_message(), "недостаточный буфер для значения"));
    free(field);
    free(value);
    const int32_t bad_index[] = {4, -1};
    for (int i = 0; i < 2; i++) {
        CHECK_RC(zt.GetDistinguishedNameEntry(name, bad_index[i], NULL, &fieldLength, NULL, &valueLength),
                 ZT_E_FAILURE);
    }
    CHECK(strcmp(last_message(), "GetDistinguishedNameEntry: Неверный индекс -1") == 0);
    CHECK_RC(zt.AddDistinguishedNameEntry(name, NULL, "x"), ZT_E_INVALID_ARGUMENT);
    CHECK_OK(zt.FreeDistinguishedName(name));
    CHECK_RC(zt.FreeDistinguishedName(name), ZT_E_INVALID_HANDLE);
    CHECK_RC(zt.CreateDistinguishedName(NULL), ZT_E_INVALID_ARGUMENT);
}
