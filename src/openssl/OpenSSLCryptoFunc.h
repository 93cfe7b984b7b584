#pragma once
// Every RSA/X.509 operation of the OpenSSL format as a plain function over OpenSSL objects and
// byte streams. Objects come back as owning handles (OpenSSLPtr.h); release() hands one to a
// C caller, who frees it with the matching SslFree* function.
//
// Failures: EOpenSSLError with the queued entries (first line: the step's message key where
// the user should recognise the step), EZTCryptoError for private-key reading (39 wrong
// password, 40 damaged structure, 41 damaged header, 42 otherwise) and for a key that does not
// belong to its certificate (44), EVerifyCertException / ECertInvalidPeriod (codes 1-3).
//
// Pass phrases are bytes, used as they are: the caller converts a typed password to the
// Windows-1251 bytes that protected the key disks (Utf8ToCp1251).

#include <cstdint>
#include <string>

#include "core/ByteString.h"
#include "core/Streams.h"
#include "openssl/DateTime.h"
#include "openssl/OpenSSLHelp.h"
#include "openssl/OpenSSLPtr.h"
#include "openssl/ztcryptotype.h"

namespace brelo {

// Keys.

/// Reads the first PEM private key of Stream (from its start): traditional "RSA PRIVATE KEY"
/// with Proc-Type/DEK-Info, or PKCS#8, decrypted with Password. Null only when OpenSSL gave
/// no key and queued no error.
EvpPKeyPtr SslReadPrivateKey(TStream& stream, const SecureString& password);
/// Writes the key as traditional PEM ("RSA PRIVATE KEY", "DSA PRIVATE KEY", ...) encrypted
/// with DES-EDE3-CBC under Password (an empty Password encrypts too), at Stream's position.
void SslWritePrivateKey(EVP_PKEY* key, TStream& stream, const SecureString& password);
void SslFreeKey(EVP_PKEY* key);
/// Maximum signature length in bytes.
int SslKeySize(EVP_PKEY* key);
/// Progress of key generation (p: stage, n: counter), as OpenSSL reports it.
using TSslKeyGenCallback = void (*)(int p, int n, void* argument);
/// A new RSA key with the public exponent 65537.
EvpPKeyPtr SslGenerateRSAKey(int bits, TSslKeyGenCallback callback = nullptr, void* argument = nullptr);
/// True when Key is Cert's private key. A mismatch that OpenSSL reports with an error is
/// EZTCryptoError "CertAndKeyMismatch" code 44; one without an error gives false.
bool SslKeyMatchesCert(X509* cert, EVP_PKEY* key);
void SslRandomBytes(void* buffer, int count);

// Signatures (RSA PKCS#1 v1.5 over the digest; an empty DigestName means SHA-1).

/// SignatureLength := SslKeySize(Key); when Data is null that is all. Otherwise signs
/// DataLength bytes into SignatureBuffer (which holds SignatureLength bytes) and sets
/// SignatureLength to the signature's length.
void SslSignData(EVP_PKEY* key, const std::string& digestName, const void* data, int& signatureLength,
                 void* signatureBuffer, std::int64_t dataLength);
bool SslVerifyData(EVP_PKEY* key, const std::string& digestName, const void* data, std::int64_t dataLength,
                   const void* signature, int signatureLength);

// Certificates.

X509Ptr SslReadCert(TStream& stream);
void SslWriteCert(X509* cert, TStream& stream);
void SslFreeCert(X509* cert);
EvpPKeyPtr SslCertPublicKey(X509* cert);
/// Owned by the certificate.
X509_NAME* SslCertSubject(X509* cert);
/// EVerifyCertException "UnknownCertCenter" code 1 when CACert is not the issuer; then the
/// signature must verify with CACert's key ("OnCheckValidCert").
void SslVerifyCertByCA(X509* cert, X509* caCert);
/// ECertInvalidPeriod "CertNotStarted" (2) / "CertExpired" (3); the bounds count as valid.
void SslCheckCertPeriod(X509* cert);
TDateTime SslCertNotBefore(X509* cert);
TDateTime SslCertNotAfter(X509* cert);
void SslCertPeriod(X509* cert, TDateTime& notBefore, TDateTime& notAfter);
/// A UTCTime text (YYMMDDhhmmss followed by the zone letter; 2000 + YY) as local date-time.
/// Exception "ErrOnParseUserCert" when the date cannot be read.
TDateTime SslParseCertTime(const std::string& text);
/// The raw bytes of the subject's first commonName; empty without one.
ByteString SslCommonName(X509* cert);
/// The serial number as signed 64-bit decimal; "CertNoError" when it does not fit.
std::string SslSerialNumberText(X509* cert);

// Packages (PKCS#7 enveloped data, DES-EDE3-CBC, content taken as binary).

/// Envelopes InStream from its position for RecipientCert; PEM "PKCS7" to OutStream.
void SslEncryptPackage(TStream& inStream, TStream& outStream, X509* recipientCert);
/// Envelopes for several recipients (in stack order).
void SslEncryptPackageFor(TStream& inStream, TStream& outStream, STACK_OF(X509) * recipients);
void SslDecryptPackage(TStream& inStream, TStream& outStream, X509* cert, EVP_PKEY* key);

// Requests, certificates from requests, names.

X509ReqPtr SslMakeRequest(EVP_PKEY* key, X509_NAME* name, const std::string& digestName);
void SslWriteRequest(X509_REQ* request, TStream& stream);
/// Reads a PEM "CERTIFICATE REQUEST"; null when there is none.
X509ReqPtr SslReadRequest(TStream& stream);
void SslFreeRequest(X509_REQ* request);
/// A v3 certificate for the request, signed by IssuerKey; IssuerCert null: self-signed.
X509Ptr SslMakeCertificate(X509_REQ* request, long serialNumber, int days, const std::string& digestName,
                           EVP_PKEY* issuerKey, X509* issuerCert);

X509NamePtr SslNewName();
void SslFreeName(X509_NAME* name);
/// Appends AttributeName (short, long or dotted name, "BankID", "IntPSBranchID") = Value
/// (UTF-8). An attribute name OpenSSL does not know is skipped without a report.
void SslAddNameEntry(X509_NAME* name, const std::string& attributeName, const std::string& value);
int SslNameEntryCount(X509_NAME* name);
/// Entry Index into caller buffers. NameLength counts the terminating zero, ValueLength does
/// not (the value buffer must hold ValueLength + 1 bytes). Null buffers report the lengths.
void SslGetNameEntry(X509_NAME* name, int index, char* nameBuffer, int& nameLength, char* valueBuffer,
                     int& valueLength);
/// Registers "BankID" (1.2.980.31857264.1.1) and "IntPSBranchID" (1.2.980.31857264.1.2) once.
void SslRegisterObjects();

}  // namespace brelo
