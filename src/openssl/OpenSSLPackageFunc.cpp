#include <openssl/pem.h>
#include <openssl/pkcs7.h>

#include "core/Messages.h"
#include "openssl/OpenSSLCryptoFunc.h"
#include "openssl/OpenSSLFuncCommon.h"
#include "openssl/OpenSSLStreamBIO.h"

namespace brelo {

using detail::CheckResult;

void SslEncryptPackageFor(TStream& inStream, TStream& outStream, STACK_OF(X509) * recipients) {
    Assert(recipients != nullptr && sk_X509_num(recipients) > 0, "SslEncryptPackage: no recipient");
    InitOpenSSL();
    ClearOpenSSLErrors();
    const EVP_CIPHER* cipher = EVP_des_ede3_cbc();
    CheckResult(cipher != nullptr, {}, "EVP_des_ede3_cbc");
    BioPtr in = NewStreamBIO(inStream);
    // Binary: the content is taken as it is, without line-end conversion.
    Pkcs7Ptr envelope(PKCS7_encrypt(recipients, in.get(), cipher, PKCS7_BINARY));
    CheckResult(envelope != nullptr, {}, "PKCS7_encrypt");
    BioPtr out = NewStreamBIO(outStream);
    CheckResult(PEM_write_bio_PKCS7(out.get(), envelope.get()) != 0, {}, "PEM_write_bio_PKCS7");
}

void SslEncryptPackage(TStream& inStream, TStream& outStream, X509* recipientCert) {
    Assert(recipientCert != nullptr, "SslEncryptPackage: no recipient");
    X509StackPtr recipients(sk_X509_new_null());
    CheckResult(recipients != nullptr && sk_X509_push(recipients.get(), recipientCert) > 0, {}, "sk_X509_push");
    SslEncryptPackageFor(inStream, outStream, recipients.get());
}

void SslDecryptPackage(TStream& inStream, TStream& outStream, X509* cert, EVP_PKEY* key) {
    Assert(cert != nullptr && key != nullptr, "SslDecryptPackage: no certificate or key");
    InitOpenSSL();
    ClearOpenSSLErrors();
    BioPtr in = NewStreamBIO(inStream);
    Pkcs7Ptr envelope(PEM_read_bio_PKCS7(in.get(), nullptr, nullptr, nullptr));
    CheckResult(envelope != nullptr, GetMessageText("OnReadingCryptedPackageError"), "PEM_read_bio_PKCS7");
    BioPtr out = NewStreamBIO(outStream);
    const int ok = PKCS7_decrypt(envelope.get(), key, cert, out.get(), PKCS7_BINARY);
    CheckResult(ok != 0, GetMessageText("OnDecryptingPackageError"), "PKCS7_decrypt");
}

}  // namespace brelo
