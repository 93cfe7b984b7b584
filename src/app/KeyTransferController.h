#pragma once
// The key-transfer wizard without its window: page one proves the customer's keys, page two
// hands the key files to the chosen token. The Qt form and the command-line companion both
// drive it and show what it reports.

#include <functional>
#include <string>
#include <vector>

#include "app/KeyTransferPorts.h"
#include "core/ByteString.h"

namespace brelo {

enum class TWizardPage { Cert, UsbToken };

/// How the controller reports; every member may be left empty.
struct TKeyTransferEvents {
    std::function<void(const std::string& Text)> ShowError;    ///< red text, success text hidden
    std::function<void(const std::string& Text)> ShowSuccess;  ///< green text, red text hidden
    std::function<void()> HideError;
    std::function<void(bool Enabled)> EnableNext;
    std::function<void(TWizardPage Page)> SwitchPage;
    /// The "< Назад" button: shown or hidden, enabled or disabled.
    std::function<void(bool Visible, bool Enabled)> PrevChanged;
    std::function<void(const std::vector<std::string>& Lines, int Selected)> DevicesChanged;
    /// The transfer succeeded: the next step now reads "Готово" and closes; "Отмена" is off.
    std::function<void()> Done;
    std::function<void()> Close;
};

class TKeyTransferController {
public:
    TKeyTransferController(TKeyCheck& Keys, TDeviceSource& Devices, TKeyTransferEvents Events);

    // The three inputs of page one and the selection of page two.
    void SetUserName(std::string Value);
    void SetPassword(SecureString Value);
    void SetKeyPath(std::string Value);
    /// Index into DeviceLines(); -1 for none.
    void SetSelectedDevice(int Index);

    const std::string& UserName() const { return FUserName; }
    const std::string& KeyPath() const { return FKeyPath; }
    TWizardPage Page() const { return FPage; }
    bool Done() const { return FDone; }
    bool NextEnabled() const { return FNextEnabled; }
    bool HasGostKeys() const { return FHasGostKeys; }
    const std::vector<std::string>& DeviceLines() const { return FDeviceLines; }
    int SelectedDevice() const { return FSelected; }

    /// Re-evaluates whether the next step is allowed; on page two the state is left alone.
    void UpdateNext();
    /// "Далее >": closes when done, validates on page one, transfers on page two.
    void Next();
    /// "< Назад".
    void Prev();
    /// "Отмена".
    void Exit();

    /// Page one: proves the keys and, on success, moves to page two and lists the tokens.
    void ValidateUserKey();
    /// Lists the usable tokens as device lines; the next step is allowed when there is one.
    void FillDeviceList();
    /// Page two: reads the key set and hands it to the key-writing hook.
    void TransferKeys();

    /// The device line of a token: its name padded or cut to 32 characters, then "[UID]".
    static std::string DeviceLine(const TDeviceEntry& Entry);
    /// True when Name exists in the key folder (letter case ignored); when it does not and
    /// RaiseIfMissing is set, fails with "Отсутствует сертификат - " + Name.
    bool KeyFileExists(const std::string& Name, bool RaiseIfMissing) const;
    /// The whole file Name of the key folder; any failure becomes "Не найден файл - " + Name.
    ByteString ReadKeySetFile(const std::string& Name) const;
    /// Shows Text in red, a token return-code name replaced by its sentence for the customer.
    void ShowError(const std::string& Text);
    void ShowSuccess(const std::string& Text);

private:
    void ProveKeys(const std::string& Login);
    void PublishDevices();
    void SetNextEnabled(bool Enabled);
    void SwitchPage(TWizardPage Page);

    TKeyCheck& FKeys;
    TDeviceSource& FDevices;
    TKeyTransferEvents FEvents;

    std::string FUserName;
    SecureString FPassword;
    std::string FKeyPath;
    std::vector<std::string> FDeviceLines;
    int FSelected = -1;

    TWizardPage FPage = TWizardPage::Cert;
    bool FNextEnabled = false;
    bool FDone = false;
    bool FHasGostKeys = false;
};

}  // namespace brelo
