/* The frame (version, last error), key loading and signatures. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fixture.h"

static const char data[] = "Платёжное поручение № 1 на сумму 100.00";

/* Each thread fails in its own way and then finds its own failure in the record. */
static void* fail_in_thread(void* arg) {
    int kind = *(int*)arg, rc;
    for (int i = 0; i < 200; i++) {
        if (kind == 0) {
            rc = zt.GenRandom(NULL, 5);
        } else {
            ZtKey* key = NULL;
            rc = zt.LoadPrivateKey("kreda:Nobody", "", ZT_FORMAT_PEM, &key);
        }
        if (rc != zt.ZtGetLastError()) return arg;
    }
    return NULL;
}

static void test_threads(void) {
    pthread_t threads[2];
    int kinds[2] = {0, 1};
    for (int i = 0; i < 2; i++) pthread_create(&threads[i], NULL, fail_in_thread, &kinds[i]);
    for (int i = 0; i < 2; i++) {
        void* result = &kinds[i];
        pthread_join(threads[i], &result);
        CHECK(result == NULL);
    }
}

void test_frame(void) {
    test_threads();
    CHECK(zt.ZtGetVersion() == ((ZTCRYPTO_VERSION_MAJOR << 16) | (ZTCRYPTO_VERSION_MINOR << 8)));
    /* A non-OpenSSL failure: DescribeOpenSSLError reports size 0 and leaves the buffer alone. */
    ZtKey* key = NULL;
    CHECK_RC(zt.LoadPrivateKey("USER99", "x", ZT_FORMAT_PEM, &key), ZT_E_FAILURE);
    CHECK(zt.ZtGetLastError() == ZT_E_FAILURE);
    char buffer[8] = "keep";
    uint32_t size = sizeof buffer;
    CHECK_OK(zt.DescribeOpenSSLError(buffer, &size));
    CHECK(size == 0 && strcmp(buffer, "keep") == 0);
    CHECK(zt.ZtGetLastErrorEntryCount() == 0);
    /* Message sizes: ask, then too small (record kept), then enough. */
    int32_t needed = 0;
    CHECK_OK(zt.ZtGetLastErrorMessage(NULL, &needed));
    CHECK(needed == (int32_t)strlen("Вставьте ключевую дискету пользователя USER99 в дисковод!") + 1);
    int32_t small = 4;
    CHECK_RC(zt.ZtGetLastErrorMessage(buffer, &small), ZT_E_BUFFER_TOO_SMALL);
    CHECK(small == needed && zt.ZtGetLastError() == ZT_E_FAILURE);
    CHECK_RC(zt.ZtGetLastErrorMessage(NULL, NULL), ZT_E_INVALID_ARGUMENT);
    /* A success leaves the record alone. */
    int32_t bytes = 0;
    CHECK_OK(zt.GetKeySize(user_key, &bytes));
    CHECK(zt.ZtGetLastError() == ZT_E_FAILURE);
}

static void test_key_paths(void) {
    ZtKey* key = NULL;
    /* The mask sUSER01.* finds the key on the second key disk. */
    CHECK_OK(zt.LoadPrivateKey("USER01", USER_PASSWORD, ZT_FORMAT_PEM, &key));
    CHECK(key != NULL);
    CHECK_OK(zt.FreeKey(key));
    /* kreda: names the file with the extension; the prefix is case-blind. */
    run("cp user.key disk0/USER02.key");
    const char* kreda[] = {"kreda:USER02", "KREDA:USER02", "kreda:user02"};
    for (int i = 0; i < 3; i++) {
        key = NULL;
        CHECK_OK(zt.LoadPrivateKey(kreda[i], USER_PASSWORD, ZT_FORMAT_PEM, &key));
        CHECK(key != NULL);
        zt.FreeKey(key);
    }
    /* Nothing on either disk: the prompt names the path exactly as passed. */
    CHECK_RC(zt.LoadPrivateKey("kreda:Nobody", USER_PASSWORD, ZT_FORMAT_PEM, &key), ZT_E_FAILURE);
    CHECK(strcmp(last_message(), "Вставьте ключевую дискету пользователя kreda:Nobody в дисковод!") == 0);
    CHECK_RC(zt.LoadPrivateKey(path_of("missing.key"), "", ZT_FORMAT_PEM, &key), ZT_E_FAILURE);
    /* Format 1 only establishes that the file is there. */
    key = (ZtKey*)1;
    CHECK_OK(zt.LoadPrivateKey(path_of("user.key"), "wrong", ZT_FORMAT_DER, &key));
    CHECK(key == NULL);
}

static void test_key_failures(void) {
    ZtKey* key = NULL;
    CHECK_RC(zt.LoadPrivateKey(path_of("user.key"), "неверный", ZT_FORMAT_PEM, &key), ZT_E_OPENSSL);
    CHECK(key == NULL);
    CHECK(strcmp(last_description(), "Указан неверный пароль для секретного ключа.") == 0);
    CHECK(zt.ZtGetLastErrorEntryCount() > 0);
    uint32_t code = 0;
    char line[512];
    int32_t size = sizeof line;
    CHECK_OK(zt.ZtGetLastErrorEntry(0, &code, line, &size));
    CHECK(code != 0 && contains(line, "Ошибка: "));
    CHECK_RC(zt.ZtGetLastErrorEntry(99, &code, line, &size), ZT_E_INVALID_ARGUMENT);
    /* A password Windows-1251 cannot hold is refused, and the message does not repeat it. */
    CHECK_RC(zt.LoadPrivateKey(path_of("user.key"), "секрет✓", ZT_FORMAT_PEM, &key), ZT_E_ENCODING);
    CHECK(!contains(last_message(), "секрет") && !contains(last_message(), "✓"));
    /* Damaged files: no header, broken body. */
    write_file(path_of("junk.key"), "no key here\n", 12);
    CHECK_RC(zt.LoadPrivateKey(path_of("junk.key"), "", ZT_FORMAT_PEM, &key), ZT_E_OPENSSL);
    CHECK(strcmp(last_description(), "Нарушена структура. Нет заголовка.") == 0);
    run("sed '5s/./#/' user.key > broken.key");
    CHECK_RC(zt.LoadPrivateKey(path_of("broken.key"), USER_PASSWORD, ZT_FORMAT_PEM, &key), ZT_E_OPENSSL);
    CHECK_RC(zt.LoadPrivateKey(NULL, "", ZT_FORMAT_PEM, &key), ZT_E_INVALID_ARGUMENT);
    CHECK_RC(zt.LoadPrivateKey(path_of("user.key"), "", ZT_FORMAT_PEM, NULL), ZT_E_INVALID_ARGUMENT);
}

void test_keys(void) {
    test_key_paths();
    test_key_failures();
    int32_t size = 0;
    CHECK_OK(zt.GetKeySize(user_key, &size));
    CHECK(size == 128);
    CHECK_RC(zt.GetKeySize(NULL, &size), ZT_E_INVALID_HANDLE);
    CHECK_RC(zt.GetKeySize(user_key, NULL), ZT_E_INVALID_ARGUMENT);
}

/* Signs with SignData; the signature goes to sig.bin. */
static int32_t sign(const char* digest, unsigned char* signature) {
    int32_t length = 256;
    CHECK_OK(zt.SignData(user_key, digest, data, (int32_t)strlen(data), signature, &length));
    write_file(path_of("sig.bin"), signature, (size_t)length);
    return length;
}

static void test_sign_data(void) {
    write_file(path_of("data.bin"), data, strlen(data));
    unsigned char signature[256], other[256];
    int32_t length = 0;
    CHECK_OK(zt.SignData(user_key, "", NULL, 0, NULL, &length)); /* size only */
    CHECK(length == 128);
    CHECK(sign("", signature) == 128);
    CHECK(run("openssl dgst -sha1 -verify user.pub -signature sig.bin data.bin >/dev/null") == 0);
    /* The empty name is SHA-1. */
    sign("SHA1", other);
    CHECK(memcmp(signature, other, 128) == 0);
    sign("SHA256", signature);
    CHECK(run("openssl dgst -sha256 -verify user.pub -signature sig.bin data.bin >/dev/null") == 0);
    int32_t small = 64;
    CHECK_RC(zt.SignData(user_key, "", data, 10, signature, &small), ZT_E_BUFFER_TOO_SMALL);
    CHECK(small == 128);
    length = 256;
    CHECK_RC(zt.SignData(user_key, "NoSuchDigest", data, 10, signature, &length), ZT_E_CRYPTO);
    CHECK_RC(zt.SignData(user_key, "", data, -1, signature, &length), ZT_E_INVALID_ARGUMENT);
    CHECK_RC(zt.SignData(NULL, "", data, 10, signature, &length), ZT_E_INVALID_HANDLE);
    /* A public key cannot sign. */
    ZtKey* pub = NULL;
    CHECK_OK(zt.GetPublicKey(user_cert, &pub));
    CHECK_RC(zt.SignData(pub, "", data, 10, signature, &length), ZT_E_OPENSSL);
    CHECK(contains(last_description(), "При вычислении цифровой подписи"));
    zt.FreeKey(pub);
}

static void test_verify_signature(void) {
    int valid = -1;
    run("openssl dgst -sha256 -sign user_plain.key -out tool.sig data.bin");
    size_t size = 0;
    unsigned char* sig = read_file(path_of("tool.sig"), &size);
    CHECK_OK(zt.VerifySignature(user_key, "SHA256", data, (int32_t)strlen(data), sig, (int32_t)size, &valid));
    CHECK(valid == 1);
    sig[10] ^= 1;
    CHECK_OK(zt.VerifySignature(user_key, "SHA256", data, (int32_t)strlen(data), sig, (int32_t)size, &valid));
    CHECK(valid == 0);
    CHECK_OK(zt.VerifySignature(user_key, "SHA256", data, (int32_t)strlen(data), sig, 3, &valid));
    CHECK(valid == 0);
    CHECK_RC(zt.VerifySignature(user_key, "SHA256", data, (int32_t)strlen(data), sig, -3, &valid),
             ZT_E_INVALID_ARGUMENT);
    free(sig);
}

/* Feeds data in pieces of the given sizes (cycled). */
static void feed(ZtDigestContext* ctx, int verify, const int* pieces, int count) {
    int32_t at = 0, total = (int32_t)strlen(data);
    for (int i = 0; at < total; i = (i + 1) % count) {
        int32_t n = pieces[i] < total - at ? pieces[i] : total - at;
        CHECK_OK(verify ? zt.UpdateVerifySignEx(ctx, i * 7777, data + at, n) : zt.SignDataEx(ctx, data + at, n));
        at += n;
    }
}

static void test_incremental(void) {
    unsigned char whole[256], pieces_sig[256];
    sign("", whole);
    static const int splits[][3] = {{1, 1, 1}, {5, 0, 13}, {1000, 1000, 1000}};
    for (int s = 0; s < 3; s++) {
        ZtDigestContext ctx = ZT_DIGEST_CONTEXT_INIT;
        int32_t size = 0, length = 256;
        CHECK_OK(zt.InitSignDataEx(user_key, "", &size, &ctx));
        CHECK(size == 128);
        feed(&ctx, 0, splits[s], 3);
        CHECK_OK(zt.DoneSignDataEx(&ctx, user_key, &length, pieces_sig));
        CHECK(length == 128 && memcmp(whole, pieces_sig, 128) == 0);
        CHECK(ctx.state == NULL);
        int valid = -1;
        CHECK_OK(zt.InitVerifySignEx("SHA1", &ctx));
        feed(&ctx, 1, splits[s], 3);
        CHECK_OK(zt.DoneVerifySignEx(&ctx, user_key, pieces_sig, length, &valid));
        CHECK(valid == 1);
    }
    write_file(path_of("sig.bin"), pieces_sig, 128);
    CHECK(run("openssl dgst -sha1 -verify user.pub -signature sig.bin data.bin >/dev/null") == 0);

    /* Misuse: wrong kind, finished runs, short buffers keep the run. */
    ZtDigestContext ctx = ZT_DIGEST_CONTEXT_INIT;
    CHECK_RC(zt.SignDataEx(&ctx, data, 3), ZT_E_INVALID_HANDLE);
    CHECK_OK(zt.InitVerifySignEx("", &ctx));
    CHECK_RC(zt.SignDataEx(&ctx, data, 3), ZT_E_INVALID_HANDLE);
    int32_t size = 0, length = 16;
    CHECK_OK(zt.InitSignDataEx(user_key, "", &size, &ctx)); /* replaces the verification run */
    CHECK_OK(zt.SignDataEx(&ctx, data, (int32_t)strlen(data)));
    CHECK_RC(zt.DoneSignDataEx(&ctx, user_key, &length, pieces_sig), ZT_E_BUFFER_TOO_SMALL);
    CHECK(length == 128);
    CHECK_OK(zt.DoneSignDataEx(&ctx, user_key, &length, pieces_sig));
    CHECK(memcmp(whole, pieces_sig, 128) == 0);
    CHECK_RC(zt.DoneSignDataEx(&ctx, user_key, &length, pieces_sig), ZT_E_INVALID_HANDLE);
    CHECK_RC(zt.InitSignDataEx(user_key, "NoSuchDigest", &size, &ctx), ZT_E_CRYPTO);
    CHECK_RC(zt.InitVerifySignEx("", NULL), ZT_E_INVALID_ARGUMENT);
    /* A damaged signature is an answer, and the run ends all the same. */
    int valid = -1;
    pieces_sig[0] ^= 0x80;
    CHECK_OK(zt.InitVerifySignEx("", &ctx));
    CHECK_OK(zt.UpdateVerifySignEx(&ctx, 0, data, (int32_t)strlen(data)));
    CHECK_OK(zt.DoneVerifySignEx(&ctx, user_key, pieces_sig, 128, &valid));
    CHECK(valid == 0 && ctx.state == NULL);
    CHECK_RC(zt.UpdateVerifySignEx(&ctx, 0, data, 1), ZT_E_INVALID_HANDLE);
    /* A garbage state pointer is refused, not followed. */
    ZtDigestContext forged = {0x5A544443, 1, &forged};
    CHECK_RC(zt.SignDataEx(&forged, data, 1), ZT_E_INVALID_HANDLE);
}

void test_signatures(void) {
    test_sign_data();
    test_verify_signature();
    test_incremental();
}
