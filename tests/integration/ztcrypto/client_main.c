/* The banking client's view of ztcrypto: loads the library with dlopen and calls every export
 * on its main path and its main failure, checking the results against the openssl tool. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fixture.h"

ZtKey *user_key, *ca_key;
ZtCert *user_cert, *ca_cert;

static const unsigned char password_1251[] = {0xEF, 0xE0, 0xF0, 0xEE, 0xEB, 0xFC, '\n'};

int make_fixture(void) {
    if (write_file(path_of("pw1251"), password_1251, sizeof password_1251) != 0) return -1;
    const char* q = " >/dev/null 2>&1";
    int rc = run("mkdir -p disk0 disk1 && "
                 "openssl req -x509 -newkey rsa:1024 -nodes -keyout ca.key -out ca.cer -subj '/CN=Test CA/O=Brelo' -days 30%s && "
                 "openssl req -x509 -newkey rsa:1024 -nodes -keyout fake_ca.key -out fake_ca.cer -subj '/CN=Test CA/O=Brelo' -days 30%s && "
                 "openssl req -x509 -newkey rsa:1024 -nodes -keyout other_ca.key -out other_ca.cer -subj '/CN=Other CA' -days 30%s && "
                 "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out user_plain.key%s && "
                 "openssl rsa -in user_plain.key -traditional -des3 -passout file:pw1251 -out user.key%s && "
                 "openssl req -new -key user_plain.key -subj '/CN=USER01' -out user.req%s && "
                 "openssl x509 -req -in user.req -CA ca.cer -CAkey ca.key -set_serial 77 -days 30 -out user.cer%s && "
                 "openssl x509 -req -in user.req -CA ca.cer -CAkey ca.key -set_serial 78 -days -1 -out expired.cer%s && "
                 "openssl x509 -req -in user.req -CA other_ca.cer -CAkey other_ca.key -set_serial 79 -days -1 -out foreign.cer%s && "
                 "openssl x509 -req -in user.req -CA ca.cer -CAkey ca.key -set_serial 0x112233445566 -days 30 -out big_serial.cer%s && "
                 "openssl x509 -in user.cer -outform DER -out user.der && "
                 "openssl x509 -in user.cer -pubkey -noout > user.pub && "
                 "cp user.key disk1/sUSER01.key && cp user.cer disk0/USER01.cer",
                 q, q, q, q, q, q, q, q, q, q);
    if (rc != 0) return -1;
    char disks[700];
    snprintf(disks, sizeof disks, "%s/disk0:%s/disk1", work_dir, work_dir);
    setenv("ZTCRYPTO_KEY_DISKS", disks, 1);
    return zt.LoadPrivateKey(path_of("user.key"), USER_PASSWORD, ZT_FORMAT_PEM, &user_key) ||
           zt.LoadPrivateKey(path_of("ca.key"), "", ZT_FORMAT_PEM, &ca_key) ||
           zt.LoadCert(path_of("user.cer"), ZT_FORMAT_PEM, &user_cert) ||
           zt.LoadCert(path_of("ca.cer"), ZT_FORMAT_PEM, &ca_cert);
}

void free_fixture(void) {
    zt.FreeKey(user_key);
    zt.FreeKey(ca_key);
    zt.FreeCert(user_cert);
    zt.FreeCert(ca_cert);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s path/to/libztcrypto.so\n", argv[0]);
        return 2;
    }
    if (load_library(argv[1]) != 0) return 2;
    strcpy(work_dir, "/tmp/ztcrypto-client.XXXXXX");
    if (!mkdtemp(work_dir)) return 2;
    if (make_fixture() != 0) {
        fprintf(stderr, "fixture failed (is the openssl tool installed?): %s\n", last_message());
        return 2;
    }
    test_frame();
    test_keys();
    test_signatures();
    test_certs();
    test_requests();
    test_names();
    test_packages();
    test_random_and_cipher();
    test_bad_handles();
    free_fixture();
    run("cd / && rm -rf '%s'", work_dir);
    printf("%d passed, %d failed\n", checks_passed, checks_failed);
    return checks_failed == 0 ? 0 : 1;
}
