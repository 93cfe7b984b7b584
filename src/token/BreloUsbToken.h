#pragma once
// Key-storage tokens: a token keeps one customer's sixteen entries as one block in its first
// memory cell. The list finds the key-storage tokens of every supported kind.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "token/BreloUsbTokenUtils.h"
#include "token/nkiToken.h"

namespace brelo {

class TBreloUsbToken : public TnkiToken {
public:
    std::unique_ptr<TMemoryStream> Compress(TStream& Stream) override;
    std::unique_ptr<TMemoryStream> Decompress(TStream& Stream) override;
    SecureString DefaultPin() override { return SecureString("50739261"); }
    SecureString DefaultPuk() override { return SecureString("36142957"); }

    /// Cell 0 into Stream, rewound.
    void ReadBlock(TStream& Stream);
    /// All of Stream into cell 0.
    void WriteBlock(TStream& Stream);
    void ReadHolder(TBreloUsbTokenFileDataHolder& Holder);
    /// Rebuilds the whole block in memory and writes it with one WriteFile; an entry too long
    /// for the format or a block too large for the cell fails before anything is written.
    void WriteHolder(const TBreloUsbTokenFileDataHolder& Holder);
    /// Appends entry Index to Target; true when Target then holds any bytes.
    bool ReadEntry(int Index, TStream& Target);
    void SetEntries(std::initializer_list<ByteString> Values, std::initializer_list<int> Indexes);
    /// Replaces entry Index with all bytes of Source (from its start).
    void WriteEntry(int Index, TStream& Source);

protected:
    using TnkiToken::TnkiToken;
};

/// One kind of key-storage token as the list asks it for devices.
struct TBreloTokenKind {
    std::uint8_t Kind;
    void (*EnumerateDevices)(int Filter, const TnkiAddTokenProc& AddProc);
};

/// The kinds in the order the list asks them (1 native, 2 to 9 PKCS#11). The order decides
/// which of two same-named devices is kept.
std::vector<TBreloTokenKind>& BreloTokenKinds();

class TBreloUsbTokenList : public TnkiTokenList {
public:
    /// Kind 0: every kind in order; 1 to 9: that kind only. Filter as in EnumerateTokens.
    TBreloUsbTokenList(int Kind, int Filter);
    /// Trimmed names compared exactly; EListError when none matches.
    TnkiToken& FindByName(const std::string& Name) const;
    /// Trimmed identifiers compared exactly; EListError when none matches.
    TnkiToken& FindByUID(const std::string& UID) const;

protected:
    void Enumerate(int Kind, int Filter) override;
};

/// The UID between "[" and "]" of a device line whose "[" stands at character 33 or later;
/// empty otherwise.
std::string ExtractUID(const std::string& DeviceText);

/// The token named by a device line (by its UID) or a bare device name, from the list the
/// hooks share; PIN entry is switched off on it. Raises EListError when it is not there.
TBreloUsbToken& FindToken(const std::string& DeviceText);

/// Puts the nine token implementations into the hooks. Programs call it once at start-up,
/// before anything reads a token key path.
void RegisterBreloUsbTokenHooks();
/// The end of the run: frees the hooks' token list and the PKCS#11 library objects (each
/// library is finalised first). Safe to call more than once; tokens are found afresh after.
void ReleaseBreloUsbTokens();

/// Raised by WriteKeysProc when the keys went onto the token but its PIN could not be
/// changed and the previous contents could not be put back: the token now holds the keys
/// under the PIN derived from the login. Code is the failing call's return code.
class ExceptionNkiPinNotChanged : public ExceptionNki {
public:
    using ExceptionNki::ExceptionNki;
};

}  // namespace brelo
