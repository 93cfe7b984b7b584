#include "cryptoman/CustomCryptoFormat.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>

#include "core/CryptoErrors.h"
#include "core/Messages.h"
#include "cryptoman/CryptoMan.h"
#include "cryptoman/KeyFiles.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo {

namespace {

[[noreturn]] void NotImpl() {
    RaiseKeyed<ENotImplemented>("NotImpl");
}

/// The customer's file FileName in the folder Path, found without regard to case;
/// ECryptoManKeyNotFound "KeyFileNotFoundError" (file name, folder) when it is missing.
std::string FindTestedFile(const std::string& path, const std::string& fileName) {
    std::string found = FindFileNoCase(path, fileName);
    if (found.empty()) {
        RaiseKeyed<ECryptoManKeyNotFound>("KeyFileNotFoundError", {fileName, path});
    }
    return found;
}

/// Entry of the token named by Path, read with Password into a new memory stream.
TMemoryStream ReadTestedEntry(const std::string& path, int entry, const SecureString& password) {
    TMemoryStream stream;
    TBreloUsbTokenInt::ReadTokenFile(path, entry, password, stream);
    stream.SetPosition(0);
    return stream;
}

std::string ClassName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    std::string text = status == 0 && name ? name.get() : type.name();
    const std::size_t colon = text.rfind("::");
    return colon == std::string::npos ? text : text.substr(colon + 2);
}

}  // namespace

TCustomCryptoFormat::TCustomCryptoFormat() = default;

TCustomCryptoFormat::~TCustomCryptoFormat() {
    // A manager drops this format from its list while being told, so work on a copy.
    const std::vector<TCryptoMan*> managers = FManagers;
    for (TCryptoMan* manager : managers) {
        manager->FormatDestroyed(this);
    }
}

void TCustomCryptoFormat::LinkManager(TCryptoMan* manager) {
    if (std::find(FManagers.begin(), FManagers.end(), manager) == FManagers.end()) {
        FManagers.push_back(manager);
    }
    FCryptoMan = manager;
}

void TCustomCryptoFormat::ManagerDestroyed(TCryptoMan* manager) {
    std::erase(FManagers, manager);
    if (FCryptoMan == manager) {
        FCryptoMan = nullptr;
    }
    if (FCryptoMan != nullptr) {
        FCacheKeys = FCryptoMan->CachePrivateKey();
    }
}

void TCustomCryptoFormat::DecUse() {
    int count = FUseCount.load();
    while (count > 0 && !FUseCount.compare_exchange_weak(count, count - 1)) {
    }
}

void TCustomCryptoFormat::CheckIssuedCert(const SecureString&, const ByteString&) {}

void TCustomCryptoFormat::SaveNewKey() {}

TCustomCertificate* TCustomCryptoFormat::GetRootCert() {
    if (!FRootCert) {
        FRootCert = ReadRootCert();
    }
    return FRootCert.get();
}

TCustomCertificate* TCustomCryptoFormat::GetTransportCert() {
    if (!FTransportCert) {
        FTransportCert = ReadTransportCert();
    }
    return FTransportCert.get();
}

void TCustomCryptoFormat::SaveTransportCert() {}

void TCustomCryptoFormat::SaveRootCert() {}

bool TCustomCryptoFormat::VerifyByRoot(TCustomCertificate&) {
    return false;
}

void TCustomCryptoFormat::IssueKeyPair(TStream&, TStream&, SecureString&) {
    NotImpl();
}

void TCustomCryptoFormat::ForgetUserKey() {
    std::lock_guard lock(FLock);
    FUserKey.reset();
}

void TCustomCryptoFormat::ReleaseKeys() {
    ForgetUserKey();
    FUserCert.reset();
    FRootCert.reset();
    FTransportCert.reset();
}

void TCustomCryptoFormat::TestKey(const std::string& userName, const SecureString& password,
                                  const std::string& path) {
    const TCustomKeyClass& keyClass = KeyClass();
    if (TBreloUsbTokenInt::IsTokenPath(path)) {
        std::unique_ptr<TCustomKey> key = keyClass.Create();
        TMemoryStream stream = ReadTestedEntry(path, keyClass.TokenEntry(), password);
        key->LoadFromStream(stream, password);
        return;
    }
    const std::string fileName = FindTestedFile(path, keyClass.FileName(userName));
    keyClass.Create()->LoadFromFile(fileName, password);
}

void TCustomCryptoFormat::TestNamedCert(const std::string&, const std::string&) {}

void TCustomCryptoFormat::TestCert(const std::string& userName, const SecureString& password,
                                   const std::string& path, int warnDays) {
    const TCustomCertificateClass& certClass = CertificateClass();
    std::unique_ptr<TCustomCertificate> cert;
    if (TBreloUsbTokenInt::IsTokenPath(path)) {
        cert = certClass.Create();
        TMemoryStream stream = ReadTestedEntry(path, certClass.TokenEntry(), password);
        cert->LoadFromStream(stream);
    } else {
        const std::string fileName = FindTestedFile(path, certClass.FileName(userName));
        cert = certClass.Create();
        cert->LoadFromFile(fileName);
    }
    cert->CheckValidity(warnDays, userName);
}

void TCustomCryptoFormat::EncryptForRecipients(const std::vector<TCustomCertificate*>&, TStream&,
                                               TStream&) {
    NotImpl();
}

std::string TCustomCryptoFormat::GetFormatName() const {
    return ClassName(typeid(*this));
}

TCustomCertificate* TCustomCryptoFormat::GetUserCert() {
    if (!FUserCert) {
        FUserCert = ReadUserCert();
    }
    return FUserCert.get();
}

TCustomKey* TCustomCryptoFormat::GetUserKey() {
    std::lock_guard lock(FLock);
    if (!FCacheKeys && FUseCount == 0) {
        FUserKey.reset();
    }
    if (!FUserKey) {
        FUserKey = ReadUserKey();
    }
    return FUserKey.get();
}

std::unique_ptr<TCustomCertificate> TCustomCryptoFormat::ReadRootCert() {
    NotImpl();
}

std::unique_ptr<TCustomCertificate> TCustomCryptoFormat::ReadTransportCert() {
    NotImpl();
}

}  // namespace brelo
