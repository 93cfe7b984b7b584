#pragma once
// A small but real crypto format over plain files, so that the manager and the model can be
// proven before the real formats exist. A key file holds "PLAINKEY:" + password; a
// certificate file holds "PLAINCERT:" + owner's login.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "cryptoman/CryptoCom.h"

namespace brelo::test {

/// Error of the plain format when a password does not open a key.
BRELO_EXCEPTION_CLASS(EPlainWrongPassword, Exception);

class TPlainKey : public TCustomKey {
public:
    using TCustomKey::TCustomKey;
    static std::string FileExtension() { return ".pkey"; }
    static int TokenEntry() { return 3; }
    static ByteString Content(const std::string& password) { return "PLAINKEY:" + password; }

    void DecryptStream(TStream&, TStream&, TCustomCertificate&) override {}
    void SaveEncrypted(TStream& stream, const SecureString& password) override {
        FPassword = password;
        stream.WriteBytes(Content(password.str()));
    }
    void Check() override {
        if (FData->Bytes() != Content(FPassword.str())) {
            throw EPlainWrongPassword("WrongPassw");
        }
    }
    ByteString Sign(const void* data, std::size_t size, bool asBase64) override {
        const ByteString bytes(static_cast<const char*>(data), size);
        return (asBase64 ? "B64SIG:" : "SIG:") + bytes;
    }
    SecureString DecryptText(const ByteString& text, bool) override { return SecureString(text); }
};

class TPlainCert : public TCustomCertificate {
public:
    static std::string FileExtension() { return ".pcer"; }
    static int TokenEntry() { return 2; }
    static int RequestEntry() { return 6; }
    static ByteString Content(const std::string& owner) { return "PLAINCERT:" + owner; }

    std::string GetKeyId(int) override { return Sha1Text(FText); }
    std::string GetSerialNumber() override { return "1"; }
    ByteString GetText() override { return FText; }
    std::string GetVersionText() override { return "1"; }
    TDateTime GetNotBefore() override { return 0; }
    TDateTime GetNotAfter() override { return 0; }
    void LoadFromText(const ByteString& text) override { FText = text; }
    bool VerifyBy(TCustomCertificate&, bool) override { return false; }
    bool VerifySignature(const void* data, std::size_t size, const ByteString& signature) override {
        return signature == "SIG:" + ByteString(static_cast<const char*>(data), size);
    }
    ByteString EncryptText(const ByteString& text, bool) override { return text; }
    void EncryptStream(TStream&, TStream&) override {}
    void CheckValidity(int, const std::string& userName) override {
        if (FText != Content(userName)) {
            throw ECheckCertUserError("CERTERRORUSERNAME");
        }
    }
    void LoadFromStream(TStream& stream) override { FText = stream.ReadAll(); }
    void LoadFromFile(const std::string& fileName) override { FText = ReadFileBytes(fileName); }
    void SaveToFile(const std::string& fileName) override { WriteFileBytes(fileName, FText); }
    void SaveToStream(TStream& stream) override { stream.WriteBytes(FText); }
    void LoadFromData(const ByteString& data) override { FText = data; }

private:
    ByteString FText;
};

class TPlainRequest : public TCustomCertReq {
public:
    std::string GetKeyId(int) override { return {}; }
    ByteString GetText() override { return FText; }
    void SetText(const ByteString& text) override { FText = text; }

private:
    ByteString FText;
};

/// Reads the customer's key and certificate from the manager's key folder or token, and
/// records what it is asked to do.
class TPlainFormat : public TCustomCryptoFormat {
public:
    explicit TPlainFormat(std::string name = "plain", std::vector<std::string>* log = nullptr)
        : FName(std::move(name)), FLog(log) {}

    std::atomic<int> KeyReads{0};
    std::atomic<int> ReadsInFlight{0};
    std::atomic<int> MaxReadsInFlight{0};
    std::atomic<int> Releases{0};
    std::chrono::milliseconds ReadDelay{0};

    void DiscardNewKey() override {}
    ByteString GetRequestText() override { return {}; }
    bool HasNewRequest() override { return false; }
    ByteString SignStream(TStream& data) override { return GetUserKey()->SignStream(data, true); }
    bool VerifyStream(TStream& data, const ByteString& signature, int) override {
        return VerifyStreamSignature(*GetUserCert(), signature, data);
    }
    void CheckKeyPair() override { Log("CheckKeyPair"); }
    void CheckUserCert(int warnDays, const std::string& userName) override {
        GetUserCert()->CheckValidity(warnDays, userName);
    }
    void CheckUserKey() override {
        Log("CheckUserKey");
        GetUserKey()->Check();
    }
    void EncryptStream(TStream&, TStream&, bool) override {}
    void DecryptStream(TStream&, TStream&, bool) override {}
    void ChangePassword(const SecureString&, const SecureString&) override {}
    void GenerateKey(const SecureString&, const std::string&, const std::string&,
                     const std::string&, const std::string&, const std::string&) override {}
    void ReleaseKeys() override {
        Log("ReleaseKeys");
        ++Releases;
        TCustomCryptoFormat::ReleaseKeys();
    }
    void AddRandomSeed(const void*, std::size_t) override {}
    bool HasNewKey() override { return false; }
    const TCustomCertificateClass& CertificateClass() const override {
        static const TCertificateClassOf<TPlainCert> certClass;
        return certClass;
    }
    const TCustomKeyClass& KeyClass() const override {
        static const TKeyClassOf<TPlainKey> keyClass;
        return keyClass;
    }
    const TCustomCertReqClass& RequestClass() const override {
        static const TCertReqClassOf<TPlainRequest> requestClass;
        return requestClass;
    }
    std::string GetRequestFileName() override { return {}; }

    std::unique_ptr<TCustomCertificate> ReadUserCert() override {
        if (CryptoMan() == nullptr) {
            return nullptr;
        }
        auto cert = CertificateClass().Create();
        TMemoryStream stream(
            ReadUserFile(CertificateClass().TokenEntry(), CertificateClass().FileExtension()));
        cert->LoadFromStream(stream);
        return cert;
    }

    std::unique_ptr<TCustomKey> ReadUserKey() override {
        const int inFlight = ++ReadsInFlight;
        for (int seen = MaxReadsInFlight;
             inFlight > seen && !MaxReadsInFlight.compare_exchange_weak(seen, inFlight);) {
        }
        struct Leave {
            std::atomic<int>& count;
            ~Leave() { --count; }
        } leave{ReadsInFlight};
        ++KeyReads;
        std::this_thread::sleep_for(ReadDelay);
        if (CryptoMan() == nullptr) {
            return nullptr;
        }
        auto key = KeyClass().Create();
        TMemoryStream stream(ReadUserFile(KeyClass().TokenEntry(), KeyClass().FileExtension()));
        key->LoadFromStream(stream, CryptoMan()->GetPassword());
        return key;
    }

private:
    /// The customer's file from the token entry or the key folder, with the manager's errors
    /// for a missing one.
    ByteString ReadUserFile(int entry, const std::string& extension) {
        TCryptoMan& man = *CryptoMan();
        ByteString data;
        if (man.IsTokenKeyPath()) {
            man.GetTokenFile(entry, data);
            TCryptoMan::CheckTokenFileData(data);
            return data;
        }
        const std::string fileName =
            KeyFilePath(man.GetKeyPath(), ChangeFileExt(man.GetUserName(), extension));
        TCryptoMan::CheckUserDiskFile(fileName);
        return ReadFileBytes(fileName);
    }

    void Log(const std::string& what) {
        if (FLog != nullptr) {
            FLog->push_back(FName + "." + what);
        }
    }

    std::string FName;
    std::vector<std::string>* FLog;
};

}  // namespace brelo::test
