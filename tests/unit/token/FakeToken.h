// An in-memory key-storage token for the unit ring: one cell, a PIN with a try counter and
// switches that make one device call fail. Devices are found by UID in FakeDevices().
#pragma once

#include <map>
#include <string>

#include "token/BreloUsbToken.h"

namespace brelo::test {

struct FakeDevice {
    std::string name;
    ByteString cell;
    SecureString pin;
    std::int32_t cellSize = 4096;
    int triesLeft = 3;
    bool compressed = false;
    std::int32_t failOpen = 0;       ///< return code of DoOpen, 0 = works
    std::int32_t failChangePin = 0;  ///< return code of DoChangePin
    std::int32_t failWriteFrom = 0;  ///< return code of every DoWriteCell from write number writeFailAt on
    int writeFailAt = 1;
    int opens = 0;
    int closes = 0;
    int writes = 0;
};

/// UID → device. Cleared by the fixture.
std::map<std::string, FakeDevice>& FakeDevices();

class TFakeToken : public TBreloUsbToken {
public:
    static constexpr std::uint8_t FakeKind = 10;
    TFakeToken(const std::string& Name, const std::string& UID) : TBreloUsbToken(Name, UID) {}
    ~TFakeToken() override { CloseQuietly(); }
    static const TnkiTokenClass& TokenClass();
    static void EnumerateDevices(int Filter, const TnkiAddTokenProc& AddProc);

    bool Available() const override { return true; }
    std::uint8_t Kind() const override { return FakeKind; }
    bool IsCompressed() override { return Device().compressed; }
    bool ReadCellTable() override;
    std::string GetManufacturer() override { return "FAKE"; }
    std::string GetModel() override { return "M"; }
    std::string GetDescription() override { return "FAKE M"; }
    void Reinitialize(SecureString&, SecureString&, const std::string&, const SecureString&) override {}
    bool IsInitialized() override { return true; }
    FakeDevice& Device() const { return FakeDevices().at(FUID); }

protected:
    bool DoChangePin(const SecureString& OldPin, const SecureString& NewPin, std::int32_t& TriesLeft) override;
    bool DoLogin(const SecureString& Pin, std::int32_t& TriesLeft) override;
    bool DoChangePuk(const SecureString&, const SecureString&) override { return true; }
    bool DoUnblockPin(const SecureString&, const SecureString& NewPin) override;
    bool DoGetUID(std::string& UID) override;
    bool DoOpen() override;
    bool DoClose() override;
    bool DoReadCell(int Index, TStream& Stream) override;
    bool DoWriteCell(int Index, TStream& Stream) override;
};

/// A device line as the wizard shows it.
std::string DeviceLine(const std::string& name, const std::string& uid);

}  // namespace brelo::test
