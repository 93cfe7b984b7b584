#pragma once
// The GOST crypto format: GOST R 34.10-94 key pairs in password-protected Base64 files
// (login + ".key2", ".cer2"), in the key folder or in token entries 5 and 4. A newly generated
// key waits as login + "_not_certified" + ".key2" with its request ".req2" (token entries 9, 8);
// a login with a point keeps only the part before its last point in all these names.

#include <memory>
#include <string>

#include "cryptoman/CustomCryptoFormat.h"
#include "gost/CiferObjects.h"

namespace brelo {

class TCiferCryptoFormat : public TCustomCryptoFormat {
public:
    TCiferCryptoFormat();
    ~TCiferCryptoFormat() override;

    void CheckIssuedCert(const SecureString& password, const ByteString& certText) override;
    void SaveNewKey() override;
    void DiscardNewKey() override;
    ByteString GetRequestText() override;
    bool HasNewRequest() override;
    ByteString SignStream(TStream& data) override;
    /// Only the customer's own certificate (signer 2) is known to this format.
    bool VerifyStream(TStream& data, const ByteString& signature, int signer) override;
    void CheckKeyPair() override;
    void CheckUserCert(int warnDays, const std::string& userName) override;
    void CheckUserKey() override;
    void EncryptStream(TStream& inStream, TStream& outStream, bool useSecondPair) override;
    void DecryptStream(TStream& inStream, TStream& outStream, bool useSecondPair) override;
    void ChangePassword(const SecureString& oldPassword, const SecureString& newPassword) override;
    /// Only Password is used: the request is the new public key itself.
    void GenerateKey(const SecureString& password, const std::string& country,
                     const std::string& state, const std::string& organization,
                     const std::string& unit, const std::string& email) override;
    void AddRandomSeed(const void* buffer, std::size_t size) override;
    bool HasNewKey() override;
    const TCustomCertificateClass& CertificateClass() const override;
    const TCustomKeyClass& KeyClass() const override;
    const TCustomCertReqClass& RequestClass() const override;
    std::string GetFormatName() const override;
    std::string GetRequestFileName() override;
    std::unique_ptr<TCustomCertificate> ReadUserCert() override;
    std::unique_ptr<TCustomKey> ReadUserKey() override;

private:
    /// Key path + (login without its extension + "_not_certified") + ".key2", found without
    /// regard to case.
    std::string PendingKeyFileName();
    /// Key path + login with Extension, found without regard to case.
    std::string UserFileName(const std::string& extension);

    std::unique_ptr<TZtCifer> FNewEngine;
    std::unique_ptr<TCiferKey> FNewKey;
};

}  // namespace brelo
