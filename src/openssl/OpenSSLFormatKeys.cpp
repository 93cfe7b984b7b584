// The OpenSSL format's operations that make or store keys: generation and the pending key,
// password change, saved certificates and the common pair.

#include "core/Crypto.h"
#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "core/Text.h"
#include "cryptoman/CryptoMan.h"
#include "cryptoman/KeyFiles.h"
#include "openssl/OpenSSLCryptoFormat.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo {

namespace {

std::string PemOf(X509_REQ* request) {
    TMemoryStream stream;
    SslWriteRequest(request, stream);
    return stream.Bytes();
}

}  // namespace

std::string TOpenSSLCryptoFormat::NewKeyBaseName() { return CryptoMan()->GetUserName() + "_not_certified"; }

ByteString TOpenSSLCryptoFormat::GetRequestText() { return FNewRequest ? FNewRequest->GetEncodedText() : ByteString(); }

void TOpenSSLCryptoFormat::DiscardNewKey() {
    FNewRequest.reset();
    FNewKey.reset();
}

std::string TOpenSSLCryptoFormat::GetRequestFileName() {
    if (CryptoMan() == nullptr) {
        return {};
    }
    return KeyFilePath(CryptoMan()->GetKeyPath(), NewKeyBaseName() + ".req");
}

bool TOpenSSLCryptoFormat::HasNewKey() {
    TCryptoMan* manager = CryptoMan();
    if (manager == nullptr) {
        return false;
    }
    if (manager->IsTokenKeyPath()) {
        ByteString data;
        return manager->GetTokenFile(TokenEntry::NewUserKey, data) && !data.empty();
    }
    return !FindFileNoCase(manager->GetKeyPath(), TOpenSSLKey::FileName(NewKeyBaseName())).empty();
}

void TOpenSSLCryptoFormat::GenerateKey(const SecureString& password, const std::string& country,
                                       const std::string& state, const std::string& organization,
                                       const std::string& unit, const std::string& email) {
    TCryptoMan* manager = CryptoMan();
    if (manager == nullptr) {
        return;
    }
    try {
        X509NamePtr name = SslNewName();
        const std::pair<const char*, std::string> entries[] = {
            {"countryName", country},           {"stateOrProvinceName", state},
            {"organizationName", organization}, {"organizationalUnitName", unit},
            {"commonName", manager->GetUserName()}, {"emailAddress", email}};
        for (const auto& [attribute, value] : entries) {
            const std::string trimmed = Trim(value);
            if (!trimmed.empty()) {
                SslAddNameEntry(name.get(), attribute, trimmed);
            }
        }
        EvpPKeyPtr key = SslGenerateRSAKey(1024);
        TMemoryStream pem;
        SslWritePrivateKey(key.get(), pem, OpenSSLPassPhrase(password));
        FNewKey = std::make_unique<TOpenSSLKey>(pem, password);
        X509ReqPtr request = SslMakeRequest(key.get(), name.get(), "");
        FNewRequest = std::make_unique<TOpenSSLRequest>();
        FNewRequest->SetText(PemOf(request.get()));
    } catch (Exception& e) {
        e.SetMessage(GetMessageText("CantCreateReq") + e.Message());
        throw;
    }
}

void TOpenSSLCryptoFormat::SaveNewKey() {
    TCryptoMan* manager = CryptoMan();
    if (!FNewKey || manager == nullptr) {
        return;
    }
    const std::string keyPath = manager->GetKeyPath();
    if (manager->IsTokenKeyPath()) {
        const SecureString password = manager->GetPassword();
        TBreloUsbTokenInt::WriteTokenText(keyPath, TokenEntry::NewUserKey, password, FNewKey->Data().Bytes());
        TBreloUsbTokenInt::WriteTokenText(keyPath, TokenEntry::UserRequest, password, FNewRequest->GetText());
    } else {
        FNewKey->SaveToFile(KeyFilePath(keyPath, TOpenSSLKey::FileName(NewKeyBaseName())));
        SaveRequestToFile(*FNewRequest, KeyFilePath(keyPath, NewKeyBaseName() + ".req"));
    }
    DiscardNewKey();
}

void TOpenSSLCryptoFormat::CheckIssuedCert(const SecureString& password, const ByteString& certText) {
    TCryptoMan* manager = CryptoMan();
    if (manager == nullptr) {
        return;
    }
    TOpenSSLKey key;
    if (manager->IsTokenKeyPath()) {
        TMemoryStream stream(ReadTokenEntry(TokenEntry::NewUserKey));
        key.LoadFromStream(stream, password);
    } else {
        key.LoadFromFile(ExistingKeyFile(manager->GetKeyPath(), TOpenSSLKey::FileName(NewKeyBaseName())), password);
    }
    key.Check();
    TOpenSSLCert cert;
    cert.LoadFromText(certText);
    cert.VerifyBy(*GetRootCert(), true);
    cert.CheckValidity(0, {});
    SslKeyMatchesCert(cert.X509Cert(), key.ParsedKey());
}

void TOpenSSLCryptoFormat::ChangePassword(const SecureString& oldPassword, const SecureString& newPassword) {
    TCryptoMan* manager = CryptoMan();
    if (manager == nullptr) {
        return;
    }
    TOpenSSLKey& key = UserKey();
    if (oldPassword != key.Password()) {
        RaiseKeyed<ECryptoManError>("WrongPassw");
    }
    const std::string keyPath = manager->GetKeyPath();
    if (manager->IsTokenKeyPath()) {
        TMemoryStream stream;
        key.SaveEncrypted(stream, newPassword);
        stream.SetPosition(0);
        TBreloUsbTokenInt::WriteTokenFile(keyPath, TOpenSSLKey::TokenEntry(), oldPassword, stream);
    } else {
        key.SaveToFileEncrypted(KeyFilePath(keyPath, TOpenSSLKey::FileName(manager->GetUserName())), newPassword);
    }
}

void TOpenSSLCryptoFormat::IssueKeyPair(TStream& keyStream, TStream& certStream, SecureString& password) {
    EvpPKeyPtr key = SslGenerateRSAKey(1024);
    X509NamePtr name = SslNewName();
    SslAddNameEntry(name.get(), "CN", "COMMON");
    X509ReqPtr request = SslMakeRequest(key.get(), name.get(), "md5");
    X509Ptr cert = SslMakeCertificate(request.get(), 1, 3650, "md5", UserKey().ParsedKey(), UserCert().X509Cert());
    if (password.empty()) {
        SecureBytes random(20);
        SslRandomBytes(random.data(), static_cast<int>(random.size()));
        std::string text = Base64Encode(std::string_view(reinterpret_cast<const char*>(random.data()), random.size()));
        password.assign(text.data(), text.size());
        WipeString(text);
    }
    keyStream.SetPosition(0);
    certStream.SetPosition(0);
    SslWritePrivateKey(key.get(), keyStream, OpenSSLPassPhrase(password));
    SslWriteCert(cert.get(), certStream);
}

void TOpenSSLCryptoFormat::SaveTransportCert() {
    TCryptoMan* manager = CryptoMan();
    TCustomCertificate* cert = GetTransportCert();
    Assert(manager != nullptr && cert != nullptr, "SaveTransportCert: no transport certificate");
    if (manager->IsTokenKeyPath()) {
        TBreloUsbTokenInt::WriteTokenText(manager->GetKeyPath(), TokenEntry::TransportCert, manager->GetPassword(),
                                          cert->GetText());
    } else {
        cert->SaveToFile(KeyFilePath(manager->GetKeyPath(), TOpenSSLCert::FileName("TRANSPORT")));
    }
}

void TOpenSSLCryptoFormat::SaveRootCert() {
    TCryptoMan* manager = CryptoMan();
    TCustomCertificate* cert = GetRootCert();
    Assert(manager != nullptr && cert != nullptr, "SaveRootCert: no root certificate");
    if (manager->IsTokenKeyPath()) {
        TBreloUsbTokenInt::WriteTokenText(manager->GetKeyPath(), TokenEntry::CaCert, manager->GetPassword(),
                                          cert->GetText());
    } else {
        cert->SaveToFile(KeyFilePath(manager->GetKeyPath(), TOpenSSLCert::FileName("CA")));
    }
}

}  // namespace brelo
