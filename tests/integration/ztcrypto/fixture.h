/* Files and handles every group of the C client shares. */
#ifndef ZTC_FIXTURE_H
#define ZTC_FIXTURE_H

#include "support.h"

/* UTF-8 password; the fixture's key files are protected by its Windows-1251 bytes. */
#define USER_PASSWORD "пароль"

extern ZtKey *user_key, *ca_key;
extern ZtCert *user_cert, *ca_cert;

/* Creates keys and certificates with the openssl tool and opens them; 0 on success. */
int make_fixture(void);
void free_fixture(void);

void test_frame(void);
void test_keys(void);
void test_signatures(void);
void test_certs(void);
void test_requests(void);
void test_names(void);
void test_packages(void);
void test_random_and_cipher(void);
void test_bad_handles(void);

#endif
