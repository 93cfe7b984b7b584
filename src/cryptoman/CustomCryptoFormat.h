#pragma once
// The crypto format interface: one key format that knows where a customer's keys live, how
// they are named, and how to load, check, save, generate and use them.

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/ByteString.h"
#include "core/Streams.h"
#include "cryptoman/CustomCertificate.h"
#include "cryptoman/CustomKey.h"

namespace brelo {

class TCryptoMan;

/// Signer argument of VerifyStream.
enum TSignerCert : int { scRoot = 0, scTransport = 1, scUser = 2 };

/// Base of every crypto format. Get-operations return objects the format owns (valid until
/// the next ReleaseKeys, or for the private key, under the cache policy below); read-operations
/// hand a new object to the caller.
///
/// Private-key cache policy (GetUserKey): under FLock, when caching is off and no usage bracket
/// is open, the cached key is dropped; when none is cached, ReadUserKey fills it. Inside a
/// manager's bracket, or with caching on, the key is read and opened once. The certificates are
/// cached until ReleaseKeys. ReadUserKey runs under FLock and must not call GetUserKey or
/// ReleaseKeys of the same format.
class TCustomCryptoFormat {
public:
    TCustomCryptoFormat();
    /// Tells every manager that knows this format, so none keeps a dangling reference.
    virtual ~TCustomCryptoFormat();
    TCustomCryptoFormat(const TCustomCryptoFormat&) = delete;
    TCustomCryptoFormat& operator=(const TCustomCryptoFormat&) = delete;

    // Virtual operations, in their declaration order. "NotImpl" bases raise ENotImplemented.

    /// Checks an issued certificate against the pending new key opened with Password. Base:
    /// nothing.
    virtual void CheckIssuedCert(const SecureString& password, const ByteString& certText);
    /// Stores the generated key and request, then forgets them. Base: nothing.
    virtual void SaveNewKey();
    virtual void DiscardNewKey() = 0;
    /// The pending request's text, empty when none.
    virtual ByteString GetRequestText() = 0;
    virtual bool HasNewRequest() = 0;
    /// The certification centre's certificate, cached from ReadRootCert (null when it read none).
    virtual TCustomCertificate* GetRootCert();
    /// The transport certificate, cached from ReadTransportCert (null when it read none).
    virtual TCustomCertificate* GetTransportCert();
    /// Base: nothing.
    virtual void SaveTransportCert();
    /// Base: nothing.
    virtual void SaveRootCert();
    /// Base: false.
    virtual bool VerifyByRoot(TCustomCertificate& cert);
    /// Signature of the stream's bytes with the customer's key, as Base64 text.
    virtual ByteString SignStream(TStream& data) = 0;
    virtual bool VerifyStream(TStream& data, const ByteString& signature, int signer) = 0;
    /// The customer's certificate and private key belong together, else "CertAndKeyMismatch".
    virtual void CheckKeyPair() = 0;
    virtual void CheckUserCert(int warnDays, const std::string& userName) = 0;
    /// GetUserKey, then its Check: the password opens the private key.
    virtual void CheckUserKey() = 0;
    virtual void EncryptStream(TStream& inStream, TStream& outStream, bool useSecondPair) = 0;
    virtual void DecryptStream(TStream& inStream, TStream& outStream, bool useSecondPair) = 0;
    virtual void ChangePassword(const SecureString& oldPassword,
                                const SecureString& newPassword) = 0;
    virtual void GenerateKey(const SecureString& password, const std::string& country,
                             const std::string& state, const std::string& organization,
                             const std::string& unit, const std::string& email) = 0;
    /// Base: NotImpl.
    virtual void IssueKeyPair(TStream& keyStream, TStream& certStream, SecureString& password);
    /// Frees every cached key and certificate. A format that holds more overrides this and
    /// calls the base.
    virtual void ReleaseKeys();
    virtual void AddRandomSeed(const void* buffer, std::size_t size) = 0;
    virtual bool HasNewKey() = 0;
    /// Proves that the customer's key at Path (a folder or a token key path) opens with Password.
    virtual void TestKey(const std::string& userName, const SecureString& password,
                         const std::string& path);
    /// Base: nothing.
    virtual void TestNamedCert(const std::string& path, const std::string& name);
    /// Proves that the customer's certificate at Path loads and is valid.
    virtual void TestCert(const std::string& userName, const SecureString& password,
                          const std::string& path, int warnDays);
    virtual const TCustomCertificateClass& CertificateClass() const = 0;
    virtual const TCustomKeyClass& KeyClass() const = 0;
    virtual const TCustomCertReqClass& RequestClass() const = 0;
    /// Base: NotImpl.
    virtual void EncryptForRecipients(const std::vector<TCustomCertificate*>& certs,
                                      TStream& inStream, TStream& outStream);
    /// Display name; base: the object's class name.
    virtual std::string GetFormatName() const;
    /// The customer's certificate, cached from ReadUserCert (null when it read none).
    virtual TCustomCertificate* GetUserCert();
    /// The customer's private key under the cache policy (null when ReadUserKey read none).
    virtual TCustomKey* GetUserKey();
    virtual std::string GetRequestFileName() = 0;
    virtual std::unique_ptr<TCustomCertificate> ReadUserCert() = 0;
    /// Reads the private key and attaches the manager's password.
    virtual std::unique_ptr<TCustomKey> ReadUserKey() = 0;
    /// Base: NotImpl.
    virtual std::unique_ptr<TCustomCertificate> ReadRootCert();
    /// Base: NotImpl.
    virtual std::unique_ptr<TCustomCertificate> ReadTransportCert();

    // Concrete operations; the manager calls them from its bracket and cache setter.

    void IncUse() { ++FUseCount; }
    /// Decreases the use count when above 0.
    void DecUse();
    void SetCacheKeys(bool value) { FCacheKeys = value; }
    bool CacheKeys() const { return FCacheKeys; }
    int UseCount() const { return FUseCount; }
    /// The manager this format answers to, or null.
    TCryptoMan* CryptoMan() const { return FCryptoMan; }

protected:
    /// Drops the cached private key (under FLock), e.g. after its file or entry was rewritten.
    void ForgetUserKey();

private:
    friend class TCryptoMan;
    /// Registers the mutual destruction notice with Manager (idempotent).
    void LinkManager(TCryptoMan* manager);
    void ManagerDestroyed(TCryptoMan* manager);

    std::atomic<bool> FCacheKeys{false};
    std::atomic<int> FUseCount{0};
    TCryptoMan* FCryptoMan = nullptr;
    /// Managers that hold this format in a slot now or did once; each is told on destruction.
    std::vector<TCryptoMan*> FManagers;
    std::mutex FLock;
    std::unique_ptr<TCustomKey> FUserKey;
    std::unique_ptr<TCustomCertificate> FUserCert;
    std::unique_ptr<TCustomCertificate> FRootCert;
    std::unique_ptr<TCustomCertificate> FTransportCert;
};

}  // namespace brelo
