#pragma once
// The crypto format for RSA keys and X.509 certificates in PEM files, read from a key folder
// or, for a "USBToken:" key path, from the token's data entries through the token hooks.

#include <memory>

#include "cryptoman/CustomCryptoFormat.h"
#include "openssl/CryptoOpenSSL.h"

namespace brelo {

/// Start-up of the OpenSSL format: starts libcrypto and registers Sha1HexText as the crypto
/// manager's Sha1TextProc. Programs call it once before they create a crypto manager (it is an
/// explicit call because start-up code in a static library is dropped when nothing refers to it).
void RegisterOpenSSLFormat();

class TOpenSSLCryptoFormat : public TCustomCryptoFormat {
public:
    TOpenSSLCryptoFormat();
    ~TOpenSSLCryptoFormat() override;

    void CheckIssuedCert(const SecureString& password, const ByteString& certText) override;
    void SaveNewKey() override;
    void DiscardNewKey() override;
    ByteString GetRequestText() override;
    bool HasNewRequest() override { return FNewRequest != nullptr; }
    /// ECryptoManError "RootCertNotLoaded" when there is none.
    TCustomCertificate* GetRootCert() override;
    /// ECryptoManError "TransportCertNotLoaded" when there is none.
    TCustomCertificate* GetTransportCert() override;
    void SaveTransportCert() override;
    void SaveRootCert() override;
    bool VerifyByRoot(TCustomCertificate& cert) override;
    ByteString SignStream(TStream& data) override;
    bool VerifyStream(TStream& data, const ByteString& signature, int signer) override;
    void CheckKeyPair() override;
    void CheckUserCert(int warnDays, const std::string& userName) override;
    void CheckUserKey() override;
    void EncryptStream(TStream& inStream, TStream& outStream, bool useSecondPair) override;
    void DecryptStream(TStream& inStream, TStream& outStream, bool useSecondPair) override;
    void ChangePassword(const SecureString& oldPassword, const SecureString& newPassword) override;
    void GenerateKey(const SecureString& password, const std::string& country, const std::string& state,
                     const std::string& organization, const std::string& unit, const std::string& email) override;
    void IssueKeyPair(TStream& keyStream, TStream& certStream, SecureString& password) override;
    void AddRandomSeed(const void* buffer, std::size_t size) override;
    bool HasNewKey() override;
    void TestNamedCert(const std::string& path, const std::string& name) override;
    void TestCert(const std::string& userName, const SecureString& password, const std::string& path,
                  int warnDays) override;
    const TCustomCertificateClass& CertificateClass() const override;
    const TCustomKeyClass& KeyClass() const override;
    const TCustomCertReqClass& RequestClass() const override;
    void EncryptForRecipients(const std::vector<TCustomCertificate*>& certs, TStream& inStream,
                              TStream& outStream) override;
    std::string GetFormatName() const override;
    std::string GetRequestFileName() override;
    std::unique_ptr<TCustomCertificate> ReadUserCert() override;
    std::unique_ptr<TCustomKey> ReadUserKey() override;
    std::unique_ptr<TCustomCertificate> ReadRootCert() override;
    std::unique_ptr<TCustomCertificate> ReadTransportCert() override;

    /// The certificate named Name (the login, "CA" or "TRANSPORT"); null without a manager
    /// (or, on a token, for another name).
    std::unique_ptr<TOpenSSLCert> ReadCertFile(const std::string& name);
    /// The key named Name with Password, not decrypted yet; null without a manager.
    std::unique_ptr<TOpenSSLKey> ReadKeyFile(const std::string& name, const SecureString& password);
    /// The second pair from the manager's OnGetKeyInfoEx, when not loaded yet.
    void LoadCommonKeys();
    TOpenSSLCert& GetCommonCert();
    TOpenSSLKey& GetCommonKey();

private:
    TOpenSSLCert& UserCert();
    TOpenSSLKey& UserKey();
    /// The bytes of a token entry; ECryptoManError "NotFoundUSBToken" when the token is gone,
    /// EStreamError "InsertUSBDisk" when the entry is empty.
    ByteString ReadTokenEntry(int entry);
    /// The file Name in the key folder (found without regard to case); EFileStreamError
    /// "InsertUserDisk" when it is missing.
    std::string ExistingKeyFile(const std::string& folder, const std::string& name);
    std::string NewKeyBaseName();

    std::unique_ptr<TOpenSSLRequest> FNewRequest;
    std::unique_ptr<TOpenSSLKey> FNewKey;
    std::unique_ptr<TOpenSSLCert> FCommonCert;
    std::unique_ptr<TOpenSSLKey> FCommonKey;
    bool FAsymmetric = true;
};

}  // namespace brelo
