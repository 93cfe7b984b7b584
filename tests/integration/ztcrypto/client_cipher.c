/* Packages, random data, key wrapping, the symmetric cipher and bad handles. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fixture.h"

/* Binary content with every byte value, CR LF and zero bytes included. */
static void make_content(unsigned char* content, size_t size) {
    for (size_t i = 0; i < size; i++) content[i] = (unsigned char)(i * 7 + (i >> 8));
}

static int same_file(const char* path, const unsigned char* data, size_t size) {
    size_t got = 0;
    unsigned char* bytes = read_file(path, &got);
    int same = bytes && got == size && memcmp(bytes, data, size) == 0;
    free(bytes);
    return same;
}

static void test_package_format(int format, const char* tool_form) {
    unsigned char content[5000];
    make_content(content, sizeof content);
    write_file(path_of("content.bin"), content, sizeof content);
    MemStream source, package, plain;
    mem_init(&source, content, sizeof content);
    mem_init(&package, NULL, 0);
    CHECK_OK(zt.EncryptStream(&source.stream, &package.stream, user_cert, "", format));
    mem_save(&package, path_of("package.p7"));
    CHECK(run("openssl smime -decrypt -binary -inform %s -in package.p7 -recip user.cer -inkey user_plain.key "
              "-out tool_plain.bin 2>/dev/null", tool_form) == 0);
    CHECK(same_file(path_of("tool_plain.bin"), content, sizeof content));
    package.position = 0;
    mem_init(&plain, NULL, 0);
    CHECK_OK(zt.DecryptStream(&package.stream, &plain.stream, user_key, user_cert, format));
    CHECK(plain.size == (int64_t)sizeof content && memcmp(plain.data, content, sizeof content) == 0);
    mem_free(&plain);
    mem_free(&package);
    mem_free(&source);

    /* The other way: a package from the tool. */
    CHECK(run("openssl smime -encrypt -binary -des3 -outform %s -in content.bin -out tool.p7 user.cer", tool_form) == 0);
    mem_load(&package, path_of("tool.p7"));
    mem_init(&plain, NULL, 0);
    CHECK_OK(zt.DecryptStream(&package.stream, &plain.stream, user_key, user_cert, format));
    CHECK(plain.size == (int64_t)sizeof content && memcmp(plain.data, content, sizeof content) == 0);
    mem_free(&plain);
    /* Not addressed to the key. */
    package.position = 0;
    mem_init(&plain, NULL, 0);
    CHECK_RC(zt.DecryptStream(&package.stream, &plain.stream, ca_key, ca_cert, format), ZT_E_OPENSSL);
    CHECK(contains(last_description(), "При расшифровке пакета:"));
    mem_free(&plain);
    /* Damaged: cut in the middle. */
    package.size /= 2;
    package.position = 0;
    mem_init(&plain, NULL, 0);
    CHECK_RC(zt.DecryptStream(&package.stream, &plain.stream, user_key, user_cert, format), ZT_E_OPENSSL);
    CHECK(contains(last_description(), "При чтении шифрованного пакета:"));
    mem_free(&plain);
    mem_free(&package);
}

void test_packages(void) {
    test_package_format(ZT_FORMAT_PEM, "PEM");
    test_package_format(ZT_FORMAT_DER, "DER");
    MemStream source, target;
    mem_init(&source, "abc", 3);
    mem_init(&target, NULL, 0);
    CHECK_OK(zt.EncryptStream(&source.stream, &target.stream, user_cert, "AES-128-CBC", 2));
    CHECK(target.size == 0);
    source.position = 0;
    CHECK_RC(zt.DecryptStream(&source.stream, &target.stream, user_key, user_cert, 2), ZT_E_OPENSSL);
    CHECK_RC(zt.EncryptStream(&source.stream, &target.stream, user_cert, "NoSuchCipher", 0), ZT_E_CRYPTO);
    CHECK_RC(zt.EncryptStream(&source.stream, &target.stream, NULL, "", 0), ZT_E_INVALID_HANDLE);
    source.position = 0;
    target.fail_write = 1;
    CHECK_RC(zt.EncryptStream(&source.stream, &target.stream, user_cert, "", 0), ZT_E_STREAM);
    mem_free(&target);
    /* An empty source makes a package of empty content. */
    MemStream empty, package, plain;
    mem_init(&empty, NULL, 0);
    mem_init(&package, NULL, 0);
    mem_init(&plain, NULL, 0);
    CHECK_OK(zt.EncryptStream(&empty.stream, &package.stream, user_cert, "", ZT_FORMAT_DER));
    package.position = 0;
    CHECK_OK(zt.DecryptStream(&package.stream, &plain.stream, user_key, user_cert, ZT_FORMAT_DER));
    CHECK(plain.size == 0);
    mem_free(&empty);
    mem_free(&package);
    mem_free(&plain);
    mem_free(&source);
}

static void hex(const unsigned char* bytes, int n, char* out) {
    for (int i = 0; i < n; i++) sprintf(out + 2 * i, "%02x", bytes[i]);
}

static void test_cipher(void) {
    unsigned char key[24], iv[8], out[64], back[64];
    int32_t keyLength = sizeof key, ivLength = sizeof iv;
    CHECK_OK(zt.GenRandomKey("", key, iv, &keyLength, &ivLength));
    ZtCipherContext* ctx = NULL;
    CHECK_OK(zt.InitCipher("", key, iv, 1, &ctx));
    const char* plain = "0123456789";
    int32_t outLength = sizeof out;
    CHECK_OK(zt.CipherData(ctx, plain, 10, 1, out, &outLength));
    CHECK(outLength == 16);
    CHECK_RC(zt.CipherData(ctx, plain, 10, 1, out, &outLength), ZT_E_INVALID_HANDLE); /* finished */
    CHECK_OK(zt.DoneCipher(ctx));
    CHECK_RC(zt.DoneCipher(ctx), ZT_E_INVALID_HANDLE);
    /* The same bytes as the tool. */
    char keyHex[49], ivHex[17];
    hex(key, 24, keyHex);
    hex(iv, 8, ivHex);
    write_file(path_of("ten.bin"), plain, 10);
    CHECK(run("openssl enc -des-ede3-cbc -K %s -iv %s -in ten.bin -out ten.enc", keyHex, ivHex) == 0);
    CHECK(same_file(path_of("ten.enc"), out, 16));
    /* Decrypting in two pieces gives the ten bytes back. */
    CHECK_OK(zt.InitCipher(NULL, key, iv, 0, &ctx));
    int32_t first = sizeof back, second = sizeof back - 8;
    CHECK_OK(zt.CipherData(ctx, out, 8, 0, back, &first));
    CHECK_OK(zt.CipherData(ctx, out + 8, 8, 1, back + first, &second));
    CHECK(first + second == 10 && memcmp(back, plain, 10) == 0);
    zt.DoneCipher(ctx);
    /* A cut ciphertext gives a bad final block: a failure, not a short success. */
    CHECK_OK(zt.InitCipher("", key, iv, 0, &ctx));
    outLength = sizeof back;
    CHECK_RC(zt.CipherData(ctx, out, 12, 1, back, &outLength), ZT_E_OPENSSL);
    CHECK(outLength == 8);
    zt.DoneCipher(ctx);
    /* Output buffer too small for input plus padding. */
    CHECK_OK(zt.InitCipher("", key, iv, 1, &ctx));
    outLength = 17;
    CHECK_RC(zt.CipherData(ctx, plain, 10, 1, out, &outLength), ZT_E_BUFFER_TOO_SMALL);
    CHECK(outLength == 26);
    outLength = sizeof out;
    CHECK_RC(zt.CipherData(ctx, plain, -1, 0, out, &outLength), ZT_E_INVALID_ARGUMENT);
    zt.DoneCipher(ctx);
    CHECK_RC(zt.InitCipher("NoSuchCipher", key, iv, 1, &ctx), ZT_E_CRYPTO);
    CHECK_RC(zt.InitCipher("", key, iv, 7, &ctx), ZT_E_INVALID_ARGUMENT);
}

void test_random_and_cipher(void) {
    unsigned char a[32] = {0}, b[32] = {0};
    CHECK_OK(zt.GenRandom(a, 32));
    CHECK_OK(zt.GenRandom(b, 32));
    CHECK(memcmp(a, b, 32) != 0);
    CHECK_OK(zt.GenRandom(NULL, 0));
    CHECK_RC(zt.GenRandom(a, -1), ZT_E_INVALID_ARGUMENT);
    CHECK_RC(zt.GenRandom(NULL, 5), ZT_E_INVALID_ARGUMENT);

    int32_t keyLength = 0, ivLength = 0;
    CHECK_OK(zt.GenRandomKey("", NULL, NULL, &keyLength, &ivLength));
    CHECK(keyLength == 24 && ivLength == 8);
    CHECK_OK(zt.GenRandomKey("AES-128-CBC", NULL, NULL, &keyLength, &ivLength));
    CHECK(keyLength == 16 && ivLength == 16);
    unsigned char key[24];
    keyLength = 16;
    CHECK_RC(zt.GenRandomKey("", key, NULL, &keyLength, &ivLength), ZT_E_BUFFER_TOO_SMALL);
    CHECK(keyLength == 24);
    CHECK_RC(zt.GenRandomKey("NoSuchCipher", NULL, NULL, &keyLength, &ivLength), ZT_E_CRYPTO);

    /* Key wrapping: the tool unwraps what EncryptKey wrapped, DecryptKey gives it back. */
    keyLength = sizeof key;
    ivLength = 0;
    CHECK_OK(zt.GenRandomKey("", key, NULL, &keyLength, &ivLength));
    unsigned char wrapped[128], unwrapped[64];
    int32_t wrappedLength = 100;
    CHECK_RC(zt.EncryptKey(key, 24, user_key, wrapped, &wrappedLength), ZT_E_BUFFER_TOO_SMALL);
    CHECK(wrappedLength == 128);
    CHECK_OK(zt.EncryptKey(key, 24, user_key, wrapped, &wrappedLength));
    write_file(path_of("wrapped.bin"), wrapped, 128);
    CHECK(run("openssl pkeyutl -decrypt -inkey user_plain.key -in wrapped.bin -out unwrapped.bin") == 0);
    CHECK(same_file(path_of("unwrapped.bin"), key, 24));
    int32_t unwrappedLength = 0;
    CHECK_OK(zt.DecryptKey("", wrapped, 128, user_key, NULL, &unwrappedLength));
    CHECK(unwrappedLength == 24);
    unwrappedLength = sizeof unwrapped;
    CHECK_OK(zt.DecryptKey("", wrapped, 128, user_key, unwrapped, &unwrappedLength));
    CHECK(unwrappedLength == 24 && memcmp(unwrapped, key, 24) == 0);
    unwrappedLength = 8;
    CHECK_RC(zt.DecryptKey("", wrapped, 128, user_key, unwrapped, &unwrappedLength), ZT_E_BUFFER_TOO_SMALL);
    unwrappedLength = sizeof unwrapped;
    CHECK_RC(zt.DecryptKey("", wrapped, 128, ca_key, unwrapped, &unwrappedLength), ZT_E_OPENSSL);
    CHECK_RC(zt.EncryptKey(key, 200, user_key, wrapped, &wrappedLength), ZT_E_OPENSSL);
    test_cipher();
}

void test_bad_handles(void) {
    /* Null, freed, foreign and wrong-kind handles are refused without a crash. */
    int local = 0;
    ZtKey* freed = NULL;
    zt.GenerateKey(512, NULL, NULL, &freed);
    zt.FreeKey(freed);
    void* bad[] = {NULL, &local, freed, user_cert};
    for (int i = 0; i < 4; i++) {
        int32_t n = 0;
        int valid = 0;
        CHECK_RC(zt.FreeKey(bad[i]), ZT_E_INVALID_HANDLE);
        CHECK_RC(zt.GetKeySize(bad[i], &n), ZT_E_INVALID_HANDLE);
        CHECK_RC(zt.VerifySignature(bad[i], "", "a", 1, "b", 1, &valid), ZT_E_INVALID_HANDLE);
        CHECK_RC(zt.FreeCertRequest(bad[i]), ZT_E_INVALID_HANDLE);
        CHECK_RC(zt.DoneCipher(bad[i]), ZT_E_INVALID_HANDLE);
        CHECK_RC(zt.FreeDistinguishedName(bad[i]), ZT_E_INVALID_HANDLE);
    }
    CHECK_RC(zt.FreeCert((ZtCert*)(void*)user_key), ZT_E_INVALID_HANDLE);
    CHECK_RC(zt.GetCertSerialNumber((ZtCert*)&local, NULL), ZT_E_INVALID_HANDLE);
    CHECK(contains(last_message(), "недопустимый дескриптор"));
}
