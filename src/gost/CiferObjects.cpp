#include "gost/CiferObjects.h"

#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "cryptoman/CryptoUtils.h"

namespace brelo {

namespace {

[[noreturn]] void NotImpl() {
    RaiseKeyed<ENotImplemented>("NotImpl");
}

}  // namespace

std::unique_ptr<TCiferKey> TCiferKey::CreateFromEngine(TZtCifer& engine,
                                                       const SecureString& password) {
    TMemoryStream file;
    engine.SavePrivateKeyToStream(file, password);
    auto key = std::make_unique<TCiferKey>(file, password);
    key->FEngine = std::make_unique<TZtCifer>();
    key->FEngine->LoadPrivateKeyFromStream(file, password);
    return key;
}

void TCiferKey::DecryptStream(TStream&, TStream&, TCustomCertificate&) {
    NotImpl();
}

void TCiferKey::SaveEncrypted(TStream& stream, const SecureString& password) {
    Assert(FEngine != nullptr, "Ошибка при сохранении в файл ключа TCiferKey");
    FEngine->SavePrivateKeyToStream(stream, password);
    FPassword = password;
}

void TCiferKey::LoadFromStream(TStream& stream, const SecureString& password) {
    FEngine = std::make_unique<TZtCifer>();
    FEngine->LoadPrivateKeyFromStream(stream, password);
    FEngine->CheckPrivateKey();
    FPassword = password;
}

void TCiferKey::Check() {
    if (!FEngine)
        RaiseKeyed<ECiferError>("PrivKeyInvalid");
    FEngine->CheckPrivateKey();
}

ByteString TCiferKey::Sign(const void* data, std::size_t size, bool asBase64) {
    ByteString signature;
    if (FEngine)
        FEngine->SignBuffer(data, size, asBase64, signature);
    return signature;
}

SecureString TCiferKey::DecryptText(const ByteString&, bool) {
    NotImpl();
}

std::string TCiferCert::GetKeyId(int) {
    return FEngine ? Sha1Text(FEngine->GetPublicKeyBlock()) : std::string();
}

std::string TCiferCert::GetSerialNumber() {
    NotImpl();
}

ByteString TCiferCert::GetText() {
    if (!FEngine)
        return {};
    TMemoryStream text;
    FEngine->SavePublicKeyToStream(text);
    return text.Bytes();
}

std::string TCiferCert::GetVersionText() {
    return FEngine ? FEngine->GetProviderVersion() : std::string();
}

TDateTime TCiferCert::GetNotBefore() {
    NotImpl();
}

TDateTime TCiferCert::GetNotAfter() {
    NotImpl();
}

template <typename Load>
void TCiferCert::LoadWith(Load load) {
    FEngine = std::make_unique<TZtCifer>();
    try {
        load(*FEngine);
    } catch (...) {
        FEngine.reset();
        throw;
    }
}

void TCiferCert::LoadFromText(const ByteString& text) {
    LoadWith([&](TZtCifer& e) {
        TMemoryStream stream(text);
        e.LoadPublicKeyFromStream(stream);
    });
}

bool TCiferCert::VerifyBy(TCustomCertificate&, bool) {
    NotImpl();
}

bool TCiferCert::VerifySignature(const void* data, std::size_t size, const ByteString& signature) {
    return FEngine ? FEngine->VerifyBuffer(data, size, signature, true) : false;
}

ByteString TCiferCert::EncryptText(const ByteString&, bool) {
    NotImpl();
}

void TCiferCert::EncryptStream(TStream&, TStream&) {
    NotImpl();
}

void TCiferCert::CheckValidity(int, const std::string&) {
    if (FEngine)
        FEngine->CheckPublicKey();
}

void TCiferCert::LoadFromStream(TStream& stream) {
    LoadWith([&](TZtCifer& e) { e.LoadPublicKeyFromStream(stream); });
}

void TCiferCert::LoadFromFile(const std::string& fileName) {
    LoadWith([&](TZtCifer& e) { e.LoadPublicKeyFromFile(fileName); });
}

void TCiferCert::SaveToFile(const std::string& fileName) {
    if (FEngine)
        FEngine->SavePublicKeyToFile(fileName);
}

void TCiferCert::SaveToStream(TStream& stream) {
    if (FEngine)
        FEngine->SavePublicKeyToStream(stream);
}

void TCiferCert::LoadFromData(const ByteString& data) {
    LoadWith([&](TZtCifer& e) { e.LoadPublicKeyFromString(data); });
}

}  // namespace brelo
