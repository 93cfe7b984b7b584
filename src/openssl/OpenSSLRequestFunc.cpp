#include <openssl/pem.h>
#include <openssl/x509.h>

#include "core/Messages.h"
#include "openssl/OpenSSLCryptoFunc.h"
#include "openssl/OpenSSLFuncCommon.h"
#include "openssl/OpenSSLStreamBIO.h"

namespace brelo {

using detail::CheckResult;
using detail::DigestByName;

X509ReqPtr SslMakeRequest(EVP_PKEY* key, X509_NAME* name, const std::string& digestName) {
    Assert(key != nullptr && name != nullptr, "SslMakeRequest: no key or name");
    InitOpenSSL();
    ClearOpenSSLErrors();
    X509ReqPtr request(X509_REQ_new());
    CheckResult(request != nullptr, {}, "X509_REQ_new");
    CheckResult(X509_REQ_set_version(request.get(), 0) != 0, {}, "X509_REQ_set_version");
    CheckResult(X509_REQ_set_pubkey(request.get(), key) != 0, {}, "X509_REQ_set_pubkey");
    CheckResult(X509_REQ_set_subject_name(request.get(), name) != 0, {}, "X509_REQ_set_subject_name");
    const EVP_MD* md = DigestByName(digestName);
    CheckResult(X509_REQ_sign(request.get(), key, md) > 0, {}, "X509_REQ_sign");
    return request;
}

void SslWriteRequest(X509_REQ* request, TStream& stream) {
    Assert(request != nullptr, "SslWriteRequest: no request");
    ClearOpenSSLErrors();
    BioPtr bio = NewStreamBIO(stream);
    CheckResult(PEM_write_bio_X509_REQ(bio.get(), request) != 0, {}, "PEM_write_bio_X509_REQ");
}

X509ReqPtr SslReadRequest(TStream& stream) {
    InitOpenSSL();
    ClearOpenSSLErrors();
    stream.SetPosition(0);
    BioPtr bio = NewStreamBIO(stream);
    X509ReqPtr request(PEM_read_bio_X509_REQ(bio.get(), nullptr, nullptr, nullptr));
    ClearOpenSSLErrors();
    return request;
}

void SslFreeRequest(X509_REQ* request) { X509ReqPtr owned(request); }

X509Ptr SslMakeCertificate(X509_REQ* request, long serialNumber, int days, const std::string& digestName,
                           EVP_PKEY* issuerKey, X509* issuerCert) {
    Assert(request != nullptr && issuerKey != nullptr, "SslMakeCertificate: no request or issuer key");
    InitOpenSSL();
    ClearOpenSSLErrors();
    if (issuerCert != nullptr) {
        // Its result alone says nothing; a mismatch queues an error, which the check raises.
        X509_check_private_key(issuerCert, issuerKey);
        CheckOpenSSLError();
    }
    X509Ptr cert(X509_new());
    CheckResult(cert != nullptr, {}, "X509_new");
    CheckResult(X509_set_version(cert.get(), 2) != 0, {}, "X509_set_version");
    Asn1IntegerPtr serial(ASN1_INTEGER_new());
    CheckResult(serial != nullptr && ASN1_INTEGER_set(serial.get(), serialNumber) != 0 &&
                    X509_set_serialNumber(cert.get(), serial.get()) != 0,
                {}, "X509_set_serialNumber");
    X509_NAME* issuer = issuerCert != nullptr ? X509_get_subject_name(issuerCert) : X509_REQ_get_subject_name(request);
    CheckResult(X509_set_issuer_name(cert.get(), issuer) != 0, {}, "X509_set_issuer_name");
    CheckResult(X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr, {}, "X509_gmtime_adj");
    CheckResult(X509_gmtime_adj(X509_getm_notAfter(cert.get()), static_cast<long>(days) * 86400L) != nullptr, {},
                "X509_gmtime_adj");
    CheckResult(X509_set_subject_name(cert.get(), X509_REQ_get_subject_name(request)) != 0, {},
                "X509_set_subject_name");
    EvpPKeyPtr publicKey(X509_REQ_get_pubkey(request));
    CheckResult(publicKey != nullptr, GetMessageText("OnReadOpenKey"), "X509_REQ_get_pubkey");
    CheckResult(X509_REQ_verify(request, publicKey.get()) > 0, GetMessageText("OnCkeckSigOnReq"), "X509_REQ_verify");
    CheckResult(X509_set_pubkey(cert.get(), publicKey.get()) != 0, {}, "X509_set_pubkey");
    const EVP_MD* md = DigestByName(digestName);
    CheckResult(X509_sign(cert.get(), issuerKey, md) > 0, {}, "X509_sign");
    return cert;
}

}  // namespace brelo
