#include "app/KeyTransferController.h"

#include <algorithm>

#include "app/TokenErrorMessages.h"
#include "core/CryptoErrors.h"
#include "core/Exceptions.h"
#include "core/Format.h"
#include "core/Streams.h"
#include "core/Text.h"
#include "cryptoman/KeyFiles.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo {

namespace {

const char* const MissingKeyFileText = "Отсутствует сертификат - ";
const char* const UnreadableKeyFileText = "Не найден файл - ";
const char* const WrongPasswordText = "Указан неверный пароль к секретному ключу";
const char* const BadKeyFormatText =
    "Не верный формат ключа пользователя. Проверьте ключевую дискету (";
const char* const OtherErrorText = "Ошибка: ";
const char* const SuccessFormat = "Ключи пользователя %S перенесены на USB токен";
const char* const NoWriteKeysProcText = "Модуль USB токенов не подключен к программе";

// True when something is left after trimming; looks without copying (the password).
bool HasNonBlank(std::string_view Text) {
    return std::any_of(Text.begin(), Text.end(),
                       [](char c) { return static_cast<unsigned char>(c) > ' '; });
}

// Key files hold private keys; their copies are wiped when the step ends.
struct TKeySet {
    ByteString Files[6];
    ~TKeySet() {
        for (auto& file : Files) WipeString(file);
    }
};

}  // namespace

TKeyTransferController::TKeyTransferController(TKeyCheck& Keys, TDeviceSource& Devices,
                                               TKeyTransferEvents Events)
    : FKeys(Keys), FDevices(Devices), FEvents(std::move(Events)) {}

void TKeyTransferController::SetUserName(std::string Value) {
    FUserName = std::move(Value);
    UpdateNext();
}

void TKeyTransferController::SetPassword(SecureString Value) {
    FPassword = std::move(Value);
    UpdateNext();
}

void TKeyTransferController::SetKeyPath(std::string Value) {
    FKeyPath = std::move(Value);
}

void TKeyTransferController::SetSelectedDevice(int Index) {
    FSelected = Index >= 0 && Index < static_cast<int>(FDeviceLines.size()) ? Index : -1;
}

void TKeyTransferController::UpdateNext() {
    if (FPage != TWizardPage::Cert || FDone)
        return;
    SetNextEnabled(HasNonBlank(FUserName) && HasNonBlank(FPassword));
}

void TKeyTransferController::Next() {
    if (FDone) {
        if (FEvents.Close)
            FEvents.Close();
    } else if (FPage == TWizardPage::Cert) {
        if (FNextEnabled)
            ValidateUserKey();
    } else {
        TransferKeys();
    }
}

void TKeyTransferController::Prev() {
    if (FDone)
        return;
    SwitchPage(TWizardPage::Cert);
    if (FEvents.PrevChanged)
        FEvents.PrevChanged(false, true);
    SetNextEnabled(true);
    UpdateNext();
}

void TKeyTransferController::Exit() {
    if (!FDone && FEvents.Close)
        FEvents.Close();
}

void TKeyTransferController::ValidateUserKey() {
    try {
        if (FEvents.HideError)
            FEvents.HideError();
        const std::string login = FUserName;
        KeyFileExists(login + ".cer", true);
        KeyFileExists(login + ".key", true);
        FHasGostKeys =
            KeyFileExists(login + ".cer2", false) || KeyFileExists(login + ".key2", false);
        if (FHasGostKeys) {
            KeyFileExists(login + ".cer2", true);
            KeyFileExists(login + ".key2", true);
        }
        FKeys.AttachGost(FHasGostKeys);
        ProveKeys(login);
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TKeyTransferController::ProveKeys(const std::string& Login) {
    FKeys.BeginUse();
    // EndUse must run whatever happens, and a failure of its own must not hide the first one.
    struct TUseBracket {
        TKeyCheck& Keys;
        ~TUseBracket() {
            try {
                Keys.EndUse();
            } catch (...) {
            }
        }
    } bracket{FKeys};
    FKeys.ReleaseKeys();
    FKeys.SetKeyInfo(Login, FPassword, FKeyPath);
    try {
        FKeys.CheckUserKeys();
        FKeys.CheckKeyPairs();
        if (FEvents.PrevChanged)
            FEvents.PrevChanged(true, true);
        SwitchPage(TWizardPage::UsbToken);
        FillDeviceList();
    } catch (const EZTCryptoError& e) {
        if (UpperCase(e.Message()) == "WRONGPASSW") {
            ShowError(WrongPasswordText);
        } else {
            ShowError(BadKeyFormatText + e.Message() + ")");
        }
    } catch (const std::exception& e) {
        ShowError(OtherErrorText + std::string(e.what()));
    }
}

void TKeyTransferController::FillDeviceList() {
    // A list that failed to refresh must not keep offering the lines of an earlier run.
    FDeviceLines.clear();
    FSelected = -1;
    SetNextEnabled(false);
    std::vector<std::string> lines;
    try {
        for (const TDeviceEntry& entry : FDevices.Enumerate()) lines.push_back(DeviceLine(entry));
    } catch (...) {
        PublishDevices();
        throw;
    }
    FDeviceLines = std::move(lines);
    if (!FDeviceLines.empty())
        FSelected = 0;
    PublishDevices();
    SetNextEnabled(!FDeviceLines.empty());
}

void TKeyTransferController::TransferKeys() {
    if (FSelected < 0)
        return;
    try {
        const std::string login = FUserName;
        TKeySet keys;
        const char* const names[4] = {".CER", ".KEY", ".CER2", ".KEY2"};
        keys.Files[0] = ReadKeySetFile("CA.CER");
        keys.Files[1] = ReadKeySetFile("TRANSPORT.CER");
        for (int i = 0; i < (FHasGostKeys ? 4 : 2); ++i)
            keys.Files[2 + i] = ReadKeySetFile(login + names[i]);
        if (!WriteKeysProc)
            throw Exception(NoWriteKeysProcText);
        WriteKeysProc(FDeviceLines[FSelected], FPassword, UpperCase(login), keys.Files[0],
                      keys.Files[1], keys.Files[2], keys.Files[3], keys.Files[4], keys.Files[5]);
        ShowSuccess(Format(SuccessFormat, {login}));
        FDone = true;
        if (FEvents.PrevChanged)
            FEvents.PrevChanged(true, false);
        if (FEvents.Done)
            FEvents.Done();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

std::string TKeyTransferController::DeviceLine(const TDeviceEntry& Entry) {
    return TBreloUsbTokenInt::PadTokenName(Entry.Name) + "[" + Entry.UID + "]";
}

bool TKeyTransferController::KeyFileExists(const std::string& Name, bool RaiseIfMissing) const {
    // Key disks were made on a file system that ignores letter case.
    if (!FindFileNoCase(FKeyPath, Name).empty())
        return true;
    if (RaiseIfMissing)
        throw Exception(MissingKeyFileText + Name);
    return false;
}

ByteString TKeyTransferController::ReadKeySetFile(const std::string& Name) const {
    try {
        const std::string path = FindFileNoCase(FKeyPath, Name);
        if (!path.empty())
            return ReadFileBytes(path);
    } catch (const std::exception&) {
    }
    throw Exception(UnreadableKeyFileText + Name);
}

void TKeyTransferController::ShowError(const std::string& Text) {
    if (FEvents.ShowError)
        FEvents.ShowError(TranslateTokenError(Text, FUserName));
}

void TKeyTransferController::ShowSuccess(const std::string& Text) {
    if (FEvents.ShowSuccess)
        FEvents.ShowSuccess(Text);
}

void TKeyTransferController::PublishDevices() {
    if (FEvents.DevicesChanged)
        FEvents.DevicesChanged(FDeviceLines, FSelected);
}

void TKeyTransferController::SetNextEnabled(bool Enabled) {
    FNextEnabled = Enabled;
    if (FEvents.EnableNext)
        FEvents.EnableNext(Enabled);
}

void TKeyTransferController::SwitchPage(TWizardPage Page) {
    FPage = Page;
    if (FEvents.SwitchPage)
        FEvents.SwitchPage(Page);
}

}  // namespace brelo
