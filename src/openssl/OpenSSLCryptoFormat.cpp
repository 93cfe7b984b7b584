#include "openssl/OpenSSLCryptoFormat.h"

#include <openssl/rand.h>

#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "cryptoman/CryptoMan.h"
#include "cryptoman/CryptoUtils.h"
#include "cryptoman/KeyFiles.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo {

void RegisterOpenSSLFormat() {
    InitOpenSSL();
    SslRegisterObjects();
    SetSha1TextProc(&Sha1HexText);
}

TOpenSSLCryptoFormat::TOpenSSLCryptoFormat() = default;
TOpenSSLCryptoFormat::~TOpenSSLCryptoFormat() = default;

const TCustomCertificateClass& TOpenSSLCryptoFormat::CertificateClass() const {
    static const TCertificateClassOf<TOpenSSLCert> Class;
    return Class;
}

const TCustomKeyClass& TOpenSSLCryptoFormat::KeyClass() const {
    static const TKeyClassOf<TOpenSSLKey> Class;
    return Class;
}

const TCustomCertReqClass& TOpenSSLCryptoFormat::RequestClass() const {
    static const TCertReqClassOf<TOpenSSLRequest> Class;
    return Class;
}

std::string TOpenSSLCryptoFormat::GetFormatName() const { return GetMessageText("OpenSSLFormat"); }

ByteString TOpenSSLCryptoFormat::ReadTokenEntry(int entry) {
    CryptoMan()->CheckTokenPresent();
    ByteString data;
    CryptoMan()->GetTokenFile(entry, data);
    TCryptoMan::CheckTokenFileData(data);
    return data;
}

std::string TOpenSSLCryptoFormat::ExistingKeyFile(const std::string& folder, const std::string& name) {
    const std::string file = KeyFilePath(folder, name);
    TCryptoMan::CheckUserDiskFile(file);
    return file;
}

std::unique_ptr<TOpenSSLCert> TOpenSSLCryptoFormat::ReadCertFile(const std::string& name) {
    TCryptoMan* manager = CryptoMan();
    if (manager == nullptr) {
        return nullptr;
    }
    if (manager->IsTokenKeyPath()) {
        const int entry = name == manager->GetUserName() ? TokenEntry::UserCert
                          : name == "CA"                 ? TokenEntry::CaCert
                          : name == "TRANSPORT"          ? TokenEntry::TransportCert
                                                         : -1;
        if (entry < 0) {
            return nullptr;
        }
        TMemoryStream stream(ReadTokenEntry(entry));
        return std::make_unique<TOpenSSLCert>(stream);
    }
    TFileStream file(ExistingKeyFile(manager->GetKeyPath(), TOpenSSLCert::FileName(name)), TFileStream::fmOpenRead);
    return std::make_unique<TOpenSSLCert>(file);
}

std::unique_ptr<TOpenSSLKey> TOpenSSLCryptoFormat::ReadKeyFile(const std::string& name, const SecureString& password) {
    TCryptoMan* manager = CryptoMan();
    if (manager == nullptr) {
        return nullptr;
    }
    if (manager->IsTokenKeyPath()) {
        ByteString data = ReadTokenEntry(TokenEntry::UserKey);
        TMemoryStream stream(data);
        WipeString(data);
        auto key = std::make_unique<TOpenSSLKey>(stream, password);
        return key;
    }
    TFileStream file(ExistingKeyFile(manager->GetKeyPath(), TOpenSSLKey::FileName(name)), TFileStream::fmOpenRead);
    return std::make_unique<TOpenSSLKey>(file, password);
}

std::unique_ptr<TCustomCertificate> TOpenSSLCryptoFormat::ReadUserCert() {
    std::unique_ptr<TOpenSSLCert> cert =
        CryptoMan() != nullptr ? ReadCertFile(CryptoMan()->GetUserName()) : nullptr;
    if (!cert) {
        RaiseKeyed<ECryptoManError>("UserCertNotLoaded");
    }
    return cert;
}

std::unique_ptr<TCustomKey> TOpenSSLCryptoFormat::ReadUserKey() {
    std::unique_ptr<TOpenSSLKey> key =
        CryptoMan() != nullptr ? ReadKeyFile(CryptoMan()->GetUserName(), CryptoMan()->GetPassword()) : nullptr;
    if (!key) {
        RaiseKeyed<ECryptoManError>("UserKeyNotLoaded");
    }
    return key;
}

std::unique_ptr<TCustomCertificate> TOpenSSLCryptoFormat::ReadRootCert() { return ReadCertFile("CA"); }

std::unique_ptr<TCustomCertificate> TOpenSSLCryptoFormat::ReadTransportCert() { return ReadCertFile("TRANSPORT"); }

TCustomCertificate* TOpenSSLCryptoFormat::GetRootCert() {
    TCustomCertificate* cert = TCustomCryptoFormat::GetRootCert();
    if (cert == nullptr) {
        RaiseKeyed<ECryptoManError>("RootCertNotLoaded");
    }
    return cert;
}

TCustomCertificate* TOpenSSLCryptoFormat::GetTransportCert() {
    TCustomCertificate* cert = TCustomCryptoFormat::GetTransportCert();
    if (cert == nullptr) {
        RaiseKeyed<ECryptoManError>("TransportCertNotLoaded");
    }
    return cert;
}

TOpenSSLCert& TOpenSSLCryptoFormat::UserCert() {
    auto* cert = dynamic_cast<TOpenSSLCert*>(GetUserCert());
    if (cert == nullptr) {
        RaiseKeyed<ECryptoManError>("UserCertNotLoaded");
    }
    return *cert;
}

TOpenSSLKey& TOpenSSLCryptoFormat::UserKey() {
    auto* key = dynamic_cast<TOpenSSLKey*>(GetUserKey());
    if (key == nullptr) {
        RaiseKeyed<ECryptoManError>("UserKeyNotLoaded");
    }
    return *key;
}

bool TOpenSSLCryptoFormat::VerifyByRoot(TCustomCertificate& cert) { return cert.VerifyBy(*GetRootCert(), false); }

ByteString TOpenSSLCryptoFormat::SignStream(TStream& data) {
    if (CryptoMan() == nullptr) {
        return {};
    }
    return UserKey().SignStream(data, true);
}

bool TOpenSSLCryptoFormat::VerifyStream(TStream& data, const ByteString& signature, int signer) {
    if (CryptoMan() == nullptr) {
        return false;
    }
    TCustomCertificate* cert = signer == scRoot ? GetRootCert() : signer == scTransport ? GetTransportCert() : &UserCert();
    return VerifyStreamSignature(*cert, signature, data);
}

void TOpenSSLCryptoFormat::CheckKeyPair() {
    if (CryptoMan() == nullptr) {
        return;
    }
    TOpenSSLCert& cert = UserCert();
    TOpenSSLKey& key = UserKey();
    Assert(cert.X509Cert() != nullptr && key.ParsedKey() != nullptr, "CheckKeyPair: no certificate or key");
    if (!SslKeyMatchesCert(cert.X509Cert(), key.ParsedKey())) {
        RaiseKeyed<ECryptoManError>("CertAndKeyMismatch");
    }
}

void TOpenSSLCryptoFormat::CheckUserCert(int warnDays, const std::string& userName) {
    if (CryptoMan() == nullptr) {
        return;
    }
    TOpenSSLCert& cert = UserCert();
    cert.VerifyBy(*GetRootCert(), true);
    cert.CheckValidity(warnDays, userName);
}

void TOpenSSLCryptoFormat::CheckUserKey() {
    if (CryptoMan() == nullptr) {
        return;
    }
    UserKey().Check();
}

void TOpenSSLCryptoFormat::EncryptStream(TStream& inStream, TStream& outStream, bool useSecondPair) {
    Assert(FAsymmetric, "симметрическое шифрование не реализовано");
    if (useSecondPair) {
        GetCommonCert().EncryptStream(inStream, outStream);
    } else if (CryptoMan() != nullptr) {
        UserCert().EncryptStream(inStream, outStream);
    }
}

void TOpenSSLCryptoFormat::DecryptStream(TStream& inStream, TStream& outStream, bool useSecondPair) {
    Assert(FAsymmetric, "симметрическое шифрование не реализовано");
    if (useSecondPair) {
        GetCommonKey().DecryptStream(inStream, outStream, GetCommonCert());
    } else if (CryptoMan() != nullptr) {
        UserKey().DecryptStream(inStream, outStream, UserCert());
    }
}

void TOpenSSLCryptoFormat::EncryptForRecipients(const std::vector<TCustomCertificate*>& certs, TStream& inStream,
                                                TStream& outStream) {
    X509StackPtr stack(sk_X509_new_null());
    Assert(stack != nullptr, "EncryptForRecipients: no stack");
    for (TCustomCertificate* cert : certs) {
        auto* openSSLCert = dynamic_cast<TOpenSSLCert*>(cert);
        Assert(openSSLCert != nullptr && openSSLCert->X509Cert() != nullptr, "EncryptForRecipients: not an OpenSSL certificate");
        sk_X509_push(stack.get(), openSSLCert->X509Cert());
    }
    inStream.SetPosition(0);
    SslEncryptPackageFor(inStream, outStream, stack.get());
}

void TOpenSSLCryptoFormat::AddRandomSeed(const void* buffer, std::size_t size) {
    if (buffer != nullptr && size > 0) {
        RAND_seed(buffer, static_cast<int>(size));
    }
}

void TOpenSSLCryptoFormat::TestNamedCert(const std::string& path, const std::string& name) {
    TCryptoMan* manager = CryptoMan();
    if (manager == nullptr) {
        return;
    }
    if (TBreloUsbTokenInt::IsTokenPath(path)) {
        if (name == manager->GetUserName() || name == "CA" || name == "TRANSPORT") {
            ReadCertFile(name);
        }
        return;
    }
    const std::string fileName = TOpenSSLCert::FileName(name);
    TFileStream file(ExistingKeyFile(IncludeTrailingPathDelimiter(path), fileName), TFileStream::fmOpenRead);
    try {
        TOpenSSLCert cert(file);
    } catch (Exception& e) {
        // Tell the customer which file did not read.
        const std::string marker = GetMessageText("OnReadCert");
        const std::string upper = UpperCase(e.Message());
        const std::size_t at = marker.empty() ? std::string::npos : upper.find(UpperCase(marker));
        if (at != std::string::npos) {
            std::string message = e.Message();
            message.replace(at, marker.size(), marker + " " + fileName);
            e.SetMessage(message);
        }
        throw;
    }
}

void TOpenSSLCryptoFormat::TestCert(const std::string& userName, const SecureString& password, const std::string& path,
                                    int warnDays) {
    if (CryptoMan() != nullptr && !CryptoMan()->IsTokenKeyPath()) {
        TestNamedCert(path, "CA");
        TestNamedCert(path, "TRANSPORT");
    }
    TCustomCryptoFormat::TestCert(userName, password, path, warnDays);
}

void TOpenSSLCryptoFormat::LoadCommonKeys() {
    if (FCommonCert && FCommonKey) {
        return;
    }
    FCommonCert.reset();
    FCommonKey.reset();
    if (CryptoMan() == nullptr) {
        return;
    }
    SecureString password;
    TMemoryStream certStream, keyStream;
    CryptoMan()->GetKeyInfoEx(password, certStream, keyStream);
    if (certStream.Size() > 0) {
        FCommonCert = std::make_unique<TOpenSSLCert>(certStream);
    }
    if (keyStream.Size() > 0) {
        FCommonKey = std::make_unique<TOpenSSLKey>(keyStream, password);
    }
}

TOpenSSLCert& TOpenSSLCryptoFormat::GetCommonCert() {
    LoadCommonKeys();
    if (!FCommonCert) {
        RaiseKeyed<ECryptoManError>("ComonCertNotLoaded");
    }
    return *FCommonCert;
}

TOpenSSLKey& TOpenSSLCryptoFormat::GetCommonKey() {
    LoadCommonKeys();
    if (!FCommonKey) {
        RaiseKeyed<ECryptoManError>("ComonKeyNotLoaded");
    }
    return *FCommonKey;
}

}  // namespace brelo
