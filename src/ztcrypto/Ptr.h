#pragma once
// Owning pointers for the OpenSSL objects the library makes.

#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>

namespace brelo::ztcrypto {

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const noexcept { Free(p); }
};

using EVP_PKEY_ptr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using EVP_PKEY_CTX_ptr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using EVP_MD_CTX_ptr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using EVP_CIPHER_CTX_ptr = std::unique_ptr<EVP_CIPHER_CTX, Deleter<EVP_CIPHER_CTX_free>>;
using X509_ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using X509_REQ_ptr = std::unique_ptr<X509_REQ, Deleter<X509_REQ_free>>;
using X509_NAME_ptr = std::unique_ptr<X509_NAME, Deleter<X509_NAME_free>>;
using BIO_ptr = std::unique_ptr<BIO, Deleter<BIO_free>>;
using PKCS7_ptr = std::unique_ptr<PKCS7, Deleter<PKCS7_free>>;
using ASN1_INTEGER_ptr = std::unique_ptr<ASN1_INTEGER, Deleter<ASN1_INTEGER_free>>;
using X509_STACK_ptr = std::unique_ptr<STACK_OF(X509), Deleter<[](STACK_OF(X509)* s) { sk_X509_free(s); }>>;

}  // namespace brelo::ztcrypto
