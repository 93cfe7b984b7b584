#pragma once
// Key-storage tokens reached through a vendor's PKCS#11 library: the device is the token
// with the recorded serial number, opening it opens a read-write session, the single memory
// cell is the key-storage data object.

#include <p11-kit/pkcs11.h>

#include "token/BreloUsbToken.h"
#include "token/nkiPKCSAPI.h"

namespace brelo {

/// What distinguishes the vendor token classes besides their library.
struct TPKCSTokenTraits {
    std::uint8_t Kind;
    bool CanReinitialize;
    bool HasPuk;
    bool NeedsCurrentPuk;
    bool IsCompressed;
    std::int32_t FixedCellSize;  ///< 0: the token's ulTotalPrivateMemory
    const char* DefaultPuk;
    std::size_t DefaultPukLength;
};

class TnkiTokenPKCS : public TBreloUsbToken {
public:
    ~TnkiTokenPKCS() override;

    bool Available() const override;
    std::uint8_t Kind() const override { return FTraits.Kind; }
    bool CanReinitialize() override { return FTraits.CanReinitialize; }
    bool HasPuk() override { return FTraits.HasPuk; }
    bool NeedsCurrentPuk() override { return FTraits.NeedsCurrentPuk; }
    bool IsCompressed() override { return FTraits.IsCompressed; }
    SecureString DefaultPuk() override;
    bool ReadCellTable() override;
    std::string ErrorText(std::int32_t Code) override;
    std::string GetManufacturer() override;
    std::string GetModel() override;
    std::string GetDescription() override;
    bool IsInitialized() override;
    void Reinitialize(SecureString& Pin, SecureString& Puk, const std::string& Label,
                      const SecureString& CurrentPuk) override;

    /// The token's information: from its slot while open, else found by serial number.
    virtual CK_TOKEN_INFO ReadTokenInfo();
    /// The vendor's library object (created on first use, kept for the run).
    TnkiPKCS* Library() const { return FLibrary; }
    CK_SLOT_ID Slot() const { return FSlot; }
    /// Writes Size zero bytes to cell 0, sized from the token's memory counters.
    void ZeroFillCell();
    static std::int32_t ZeroFillSize(const CK_TOKEN_INFO& Info);
    /// Reports every token of Library's makers that Filter admits to AddProc as Class.
    static void EnumerateDevicesOf(TnkiPKCS* Library, int Filter, const TnkiAddTokenProc& AddProc,
                                   const TnkiTokenClass& Class);

protected:
    TnkiTokenPKCS(const std::string& Name, const std::string& UID, TnkiPKCS* Library,
                  const TPKCSTokenTraits& Traits)
        : TBreloUsbToken(Name, UID), FLibrary(Library), FTraits(Traits) {}

    bool DoChangePin(const SecureString& OldPin, const SecureString& NewPin, std::int32_t& TriesLeft) override;
    bool DoLogin(const SecureString& Pin, std::int32_t& TriesLeft) override;
    bool DoChangePuk(const SecureString& OldPuk, const SecureString& NewPuk) override;
    bool DoUnblockPin(const SecureString& Puk, const SecureString& NewPin) override;
    bool DoGetUID(std::string& UID) override;
    bool DoOpen() override;
    bool DoClose() override;
    bool DoReadCell(int Index, TStream& Stream) override;
    bool DoWriteCell(int Index, TStream& Stream) override;
    SecureString DefaultPin() override { return SecureString("50739261"); }

    void ReinitializeToken(const std::string& Label, SecureString& Pin, const SecureString& CurrentPuk,
                           SecureString& NewPuk);
    bool Succeeded(CK_RV Rv) {
        FLastError = static_cast<std::int32_t>(Rv);
        return Rv == CKR_OK;
    }

    TnkiPKCS* FLibrary;
    TPKCSTokenTraits FTraits;
    CK_SLOT_ID FSlot = 0;
    TPkcsSession FSession;
};

#define BRELO_PKCS_TOKEN_CLASS(Class, Extra)                                                           \
    class Class : public TnkiTokenPKCS {                                                               \
    public:                                                                                            \
        Class(const std::string& Name, const std::string& UID);                                        \
        static const TnkiTokenClass& TokenClass();                                                     \
        static TnkiPKCS* StaticLibrary();                                                              \
        static void EnumerateDevices(int Filter, const TnkiAddTokenProc& AddProc) {                    \
            EnumerateDevicesOf(StaticLibrary(), Filter, AddProc, TokenClass());                        \
        }                                                                                              \
        Extra                                                                                          \
    }

BRELO_PKCS_TOKEN_CLASS(TnkiTokenAuthorPKCS, CK_TOKEN_INFO ReadTokenInfo() override;);
BRELO_PKCS_TOKEN_CLASS(TnkiTokenSafeNet, );
BRELO_PKCS_TOKEN_CLASS(TnkiTokenSafeSIGN, bool CanReinitialize() override { return !IsInitialized(); }
                       bool NeedsCurrentPuk() override { return IsInitialized(); });
BRELO_PKCS_TOKEN_CLASS(TnkiTokenJaCarta, CK_TOKEN_INFO ReadTokenInfo() override;
                       protected: bool DoUnblockPin(const SecureString& Puk, const SecureString& NewPin) override;);
BRELO_PKCS_TOKEN_CLASS(TnkiTokenRSA, SecureString RequestPin(std::int32_t TriesLeft, bool UserPin, bool Raw) override;
                       void WriteFile(int Index, TStream& Stream) override;
                       void Reinitialize(SecureString& Pin, SecureString& Puk, const std::string& Label,
                                         const SecureString& CurrentPuk) override;);
BRELO_PKCS_TOKEN_CLASS(TnkiTokenVasco, );
BRELO_PKCS_TOKEN_CLASS(TnkiTokenAvest, );
BRELO_PKCS_TOKEN_CLASS(TnkiTokenGemlto, );

/// Registers the eight PKCS#11 kinds (2 to 9) in BreloTokenKinds, once.
void RegisterPKCSTokenKinds();
/// Finalises and unloads every vendor library object created so far.
void ReleasePKCSLibraries();

}  // namespace brelo
