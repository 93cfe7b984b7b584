#include "gost/CryptoCifer.h"

#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "cryptoman/CryptoMan.h"
#include "cryptoman/KeyFiles.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo {

namespace {

constexpr int kNewKeyEntry = 9;
constexpr int kNewRequestEntry = 8;
const char* const kNotCertified = "_not_certified";
const char* const kRequestExtension = ".req2";

[[noreturn]] void NotImpl() {
    RaiseKeyed<ENotImplemented>("NotImpl");
}

/// A token entry of the manager's cached token data ("InsertUSBDisk" when it is empty).
ByteString RequiredTokenEntry(TCryptoMan& man, int entry) {
    ByteString data;
    man.GetTokenFile(entry, data);
    TCryptoMan::CheckTokenFileData(data);
    return data;
}

/// Writes a stream to a token entry; a write the token refuses keeps nothing half-done quiet.
void WriteTokenEntry(TCryptoMan& man, int entry, const SecureString& password, TStream& data) {
    data.SetPosition(0);
    if (!TBreloUsbTokenInt::WriteTokenFile(man.GetKeyPath(), entry, password, data))
        RaiseKeyed<EStreamError>("InsertUSBDisk");
}

ByteString PublicKeyText(TZtCifer& engine) {
    TMemoryStream text;
    engine.SavePublicKeyToStream(text);
    return text.Bytes();
}

}  // namespace

TCiferCryptoFormat::TCiferCryptoFormat() = default;

TCiferCryptoFormat::~TCiferCryptoFormat() = default;

std::string TCiferCryptoFormat::UserFileName(const std::string& extension) {
    TCryptoMan& man = *CryptoMan();
    return KeyFilePath(man.GetKeyPath(), ChangeFileExt(man.GetUserName(), extension));
}

std::string TCiferCryptoFormat::PendingKeyFileName() {
    TCryptoMan& man = *CryptoMan();
    // The login's own extension goes first: for the login A.B, replacing the extension of
    // "A.B_not_certified" would name the customer's certified key A.key2 and overwrite it.
    const std::string base = ChangeFileExt(man.GetUserName(), "") + kNotCertified;
    return KeyFilePath(man.GetKeyPath(), ChangeFileExt(base, TCiferKey::FileExtension()));
}

void TCiferCryptoFormat::CheckIssuedCert(const SecureString& password, const ByteString& certText) {
    TCryptoMan* man = CryptoMan();
    if (!man)
        return;
    TZtCifer engine;
    if (man->IsTokenKeyPath())
        engine.LoadPrivateKeyFromString(RequiredTokenEntry(*man, kNewKeyEntry), password);
    else
        engine.LoadPrivateKeyFromFile(PendingKeyFileName(), password);
    engine.CheckPrivateKey();
    TMemoryStream cert(certText);
    engine.LoadPublicKeyFromStream(cert);
    engine.CheckPublicKey();
    engine.CheckKeyPair();
}

void TCiferCryptoFormat::SaveNewKey() {
    TCryptoMan* man = CryptoMan();
    if (!FNewEngine || !man)
        return;
    if (man->IsTokenKeyPath()) {
        const SecureString password = man->GetPassword();
        TMemoryStream key, request;
        FNewKey->SaveToStream(key);
        WriteTokenEntry(*man, kNewKeyEntry, password, key);
        FNewEngine->SavePublicKeyToStream(request);
        WriteTokenEntry(*man, kNewRequestEntry, password, request);
    } else {
        const std::string keyFile = PendingKeyFileName();
        FNewKey->SaveToFile(keyFile);
        FNewEngine->SavePublicKeyToFile(ChangeFileExt(keyFile, kRequestExtension));
    }
    DiscardNewKey();
}

void TCiferCryptoFormat::DiscardNewKey() {
    FNewKey.reset();
    FNewEngine.reset();
}

ByteString TCiferCryptoFormat::GetRequestText() {
    return FNewEngine ? PublicKeyText(*FNewEngine) : ByteString();
}

bool TCiferCryptoFormat::HasNewRequest() {
    return FNewEngine != nullptr;
}

ByteString TCiferCryptoFormat::SignStream(TStream& data) {
    return GetUserKey()->SignStream(data, true);
}

bool TCiferCryptoFormat::VerifyStream(TStream& data, const ByteString& signature, int signer) {
    if (signer != scUser)
        NotImpl();
    return VerifyStreamSignature(*GetUserCert(), signature, data);
}

void TCiferCryptoFormat::CheckKeyPair() {
    const ByteString text = "dummy";
    const ByteString signature = GetUserKey()->SignText(text, true);
    if (!VerifyTextSignature(*GetUserCert(), signature, text))
        RaiseKeyed<ECryptoManError>("CertAndKeyMismatch");
}

void TCiferCryptoFormat::CheckUserCert(int warnDays, const std::string& userName) {
    GetUserCert()->CheckValidity(warnDays, userName);
}

void TCiferCryptoFormat::CheckUserKey() {
    GetUserKey()->Check();
}

void TCiferCryptoFormat::EncryptStream(TStream&, TStream&, bool) {
    NotImpl();
}

void TCiferCryptoFormat::DecryptStream(TStream&, TStream&, bool) {
    NotImpl();
}

void TCiferCryptoFormat::ChangePassword(const SecureString& oldPassword,
                                        const SecureString& newPassword) {
    TCryptoMan* man = CryptoMan();
    if (!man)
        return;
    auto& key = dynamic_cast<TCiferKey&>(*GetUserKey());
    if (key.Password() != oldPassword)
        RaiseKeyed<ECryptoManError>("WrongPassw");
    try {
        if (man->IsTokenKeyPath()) {
            TMemoryStream stream;
            key.SaveEncrypted(stream, newPassword);
            WriteTokenEntry(*man, TCiferKey::TokenEntry(), oldPassword, stream);
        } else {
            key.SaveToFileEncrypted(UserFileName(TCiferKey::FileExtension()), newPassword);
        }
    } catch (...) {
        key.RestorePassword(oldPassword);  // the stored key still opens with the old one
        throw;
    }
}

void TCiferCryptoFormat::GenerateKey(const SecureString& password, const std::string&,
                                     const std::string&, const std::string&, const std::string&,
                                     const std::string&) {
    if (!CryptoMan())
        return;
    DiscardNewKey();
    auto engine = std::make_unique<TZtCifer>();
    engine->GenerateKeyPair();
    FNewKey = TCiferKey::CreateFromEngine(*engine, password);
    FNewEngine = std::move(engine);
}

void TCiferCryptoFormat::AddRandomSeed(const void*, std::size_t) {}

bool TCiferCryptoFormat::HasNewKey() {
    TCryptoMan* man = CryptoMan();
    if (!man)
        return false;
    if (man->IsTokenKeyPath()) {
        ByteString data;
        return man->GetTokenFile(kNewKeyEntry, data) && !data.empty();
    }
    return FileExists(PendingKeyFileName());
}

const TCustomCertificateClass& TCiferCryptoFormat::CertificateClass() const {
    static const TCertificateClassOf<TCiferCert> certClass;
    return certClass;
}

const TCustomKeyClass& TCiferCryptoFormat::KeyClass() const {
    static const TKeyClassOf<TCiferKey> keyClass;
    return keyClass;
}

const TCustomCertReqClass& TCiferCryptoFormat::RequestClass() const {
    static const TCertReqClassOf<TCipherRequest> requestClass;
    return requestClass;
}

std::string TCiferCryptoFormat::GetFormatName() const {
    return GetMessageText("CiferFormat");
}

std::string TCiferCryptoFormat::GetRequestFileName() {
    if (!CryptoMan())
        return {};
    return ChangeFileExt(PendingKeyFileName(), kRequestExtension);
}

std::unique_ptr<TCustomCertificate> TCiferCryptoFormat::ReadUserCert() {
    TCryptoMan* man = CryptoMan();
    if (!man)
        RaiseKeyed<ECryptoManError>("UserCertExNotLoaded");
    auto cert = std::make_unique<TCiferCert>();
    if (man->IsTokenKeyPath()) {
        cert->LoadFromData(RequiredTokenEntry(*man, TCiferCert::TokenEntry()));
    } else {
        const std::string fileName = UserFileName(TCiferCert::FileExtension());
        TCryptoMan::CheckUserDiskFile(fileName);
        cert->LoadFromFile(fileName);
    }
    return cert;
}

std::unique_ptr<TCustomKey> TCiferCryptoFormat::ReadUserKey() {
    TCryptoMan* man = CryptoMan();
    if (!man)
        RaiseKeyed<ECryptoManError>("UserKeyExNotLoaded");
    auto key = std::make_unique<TCiferKey>();
    if (man->IsTokenKeyPath()) {
        key->LoadFromText(RequiredTokenEntry(*man, TCiferKey::TokenEntry()), man->GetPassword());
    } else {
        const std::string fileName = UserFileName(TCiferKey::FileExtension());
        TCryptoMan::CheckUserDiskFile(fileName);
        key->LoadFromFile(fileName, man->GetPassword());
    }
    return key;
}

}  // namespace brelo
