#pragma once
// Native AVTOR tokens, reached through the maker's own library rather than PKCS#11. The PIN is
// eight decimal digits and the PUK eight hexadecimal digits, both derived from the customer's
// texts in the way the banking client derives them.

#include <cstdint>
#include <string>

#include "token/BreloUsbToken.h"
#include "token/nkicnt02imp.h"

namespace brelo {

/// The native library's result code in PKCS#11 numbering (access denied becomes 1).
std::int32_t TranslateNativeCode(std::int32_t NativeCode);
/// The 64-bit UID as 16 upper-case hexadecimal digits in four groups joined by "-".
std::string NativeUIDText(std::uint64_t UID);

class TnkiTokenAuthor : public TBreloUsbToken {
public:
    static constexpr std::uint8_t NativeKind = 1;

    /// A token on the program's binding of the native library.
    TnkiTokenAuthor(const std::string& Name, const std::string& UID);
    /// A token on another binding (which must outlive it).
    TnkiTokenAuthor(const std::string& Name, const std::string& UID, const TNativeLibrary& Library);
    ~TnkiTokenAuthor() override;

    static const TnkiTokenClass& TokenClass();
    /// Reports every native device whose UID can be read; Filter is not used.
    static void EnumerateDevices(int Filter, const TnkiAddTokenProc& AddProc);
    /// The same on a given binding; the tokens AddProc is given the program's class.
    static void EnumerateDevicesOf(const TNativeLibrary& Library, const TnkiAddTokenProc& AddProc);

    std::int32_t LastError() const override { return TranslateNativeCode(FLastError); }
    bool Available() const override { return FLibrary.Available(); }
    std::uint8_t Kind() const override { return NativeKind; }
    bool CanReinitialize() override { return true; }
    bool IsInitialized() override { return true; }
    bool IsCompressed() override { return false; }
    bool ReadCellTable() override;
    SecureString DeriveUserPin(const SecureString& Password) override {
        return Md5DecimalPin(Password);
    }
    SecureString DerivePuk(const SecureString& Password) override { return Md5TailPin(Password); }
    std::string ErrorText(std::int32_t Code) override;
    std::string GetManufacturer() override { return "AVTOR Ltd."; }
    std::string GetModel() override { return "ICS USB Reader"; }
    std::string GetDescription() override { return GetManufacturer() + " " + GetModel(); }
    /// New PIN and PUK derived from Pin and Puk (given back derived), every file emptied.
    /// Label and CurrentPuk are not used: the device name is the label.
    void Reinitialize(SecureString& Pin, SecureString& Puk, const std::string& Label,
                      const SecureString& CurrentPuk) override;

protected:
    bool DoChangePin(const SecureString& OldPin, const SecureString& NewPin,
                     std::int32_t& TriesLeft) override;
    bool DoLogin(const SecureString& Pin, std::int32_t& TriesLeft) override;
    bool DoChangePuk(const SecureString& OldPuk, const SecureString& NewPuk) override;
    bool DoUnblockPin(const SecureString& Puk, const SecureString& NewPin) override;
    bool DoGetUID(std::string& UID) override;
    bool DoOpen() override;
    bool DoClose() override;
    bool DoReadCell(int Index, TStream& Stream) override;
    bool DoWriteCell(int Index, TStream& Stream) override;

private:
    bool Succeeded(std::uint32_t Code) {
        FLastError = static_cast<std::int32_t>(Code);
        return Code == 0;
    }
    /// A PIN check's result: a refused PIN carries the tries left in its low four bits.
    bool PinResult(std::uint32_t Code, std::int32_t& TriesLeft);
    nkiHandle Session() const { return static_cast<nkiHandle>(FHandle); }

    const TNativeLibrary& FLibrary;
};

/// Puts the native kind (1) first in BreloTokenKinds, once.
void RegisterNativeTokenKind();

}  // namespace brelo
