#pragma once
// Owning handles for every OpenSSL object the system makes: each alias frees its object with
// the matching free function, so no other file calls a *_free directly.

#include <memory>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

namespace brelo {

template <auto FreeFn>
struct TOpenSSLDeleter {
    template <typename T>
    void operator()(T* object) const noexcept { FreeFn(object); }
};

using EvpPKeyPtr = std::unique_ptr<EVP_PKEY, TOpenSSLDeleter<EVP_PKEY_free>>;
using EvpPKeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, TOpenSSLDeleter<EVP_PKEY_CTX_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, TOpenSSLDeleter<EVP_MD_CTX_free>>;
using EvpCipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, TOpenSSLDeleter<EVP_CIPHER_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, TOpenSSLDeleter<X509_free>>;
using X509ReqPtr = std::unique_ptr<X509_REQ, TOpenSSLDeleter<X509_REQ_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, TOpenSSLDeleter<X509_NAME_free>>;
using X509SigPtr = std::unique_ptr<X509_SIG, TOpenSSLDeleter<X509_SIG_free>>;
using Pkcs8InfoPtr = std::unique_ptr<PKCS8_PRIV_KEY_INFO, TOpenSSLDeleter<PKCS8_PRIV_KEY_INFO_free>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, TOpenSSLDeleter<PKCS7_free>>;
using BioPtr = std::unique_ptr<BIO, TOpenSSLDeleter<BIO_free>>;
using BioMethodPtr = std::unique_ptr<BIO_METHOD, TOpenSSLDeleter<BIO_meth_free>>;
using BigNumPtr = std::unique_ptr<BIGNUM, TOpenSSLDeleter<BN_free>>;
using Asn1IntegerPtr = std::unique_ptr<ASN1_INTEGER, TOpenSSLDeleter<ASN1_INTEGER_free>>;

inline void FreeX509Stack(STACK_OF(X509) * stack) noexcept { sk_X509_free(stack); }
/// A stack that does not own its certificates.
using X509StackPtr = std::unique_ptr<STACK_OF(X509), TOpenSSLDeleter<FreeX509Stack>>;

inline void FreeOpenSSLMemory(void* block) noexcept { OPENSSL_free(block); }
/// A block OpenSSL allocated (names, texts, DER buffers).
using OpenSSLMemPtr = std::unique_ptr<char, TOpenSSLDeleter<FreeOpenSSLMemory>>;

}  // namespace brelo
