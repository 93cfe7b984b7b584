#include "FakeToken.h"

namespace brelo::test {

std::map<std::string, FakeDevice>& FakeDevices() {
    static std::map<std::string, FakeDevice> devices;
    return devices;
}

const TnkiTokenClass& TFakeToken::TokenClass() {
    static const TnkiTokenClass tokenClass{"TFakeToken", FakeKind, &TnkiToken::Create<TFakeToken>};
    return tokenClass;
}

void TFakeToken::EnumerateDevices(int, const TnkiAddTokenProc& AddProc) {
    for (const auto& [uid, device] : FakeDevices()) {
        AddProc(device.name, uid, TokenClass());
    }
}

bool TFakeToken::ReadCellTable() {
    FCells = {TnkiFileStruct{0, Device().cellSize, {}}};
    return true;
}

bool TFakeToken::DoOpen() {
    FakeDevice& d = Device();
    FLastError = d.failOpen;
    if (FLastError != 0) {
        return false;
    }
    ++d.opens;
    FHandle = 1;
    return true;
}

bool TFakeToken::DoClose() {
    ++Device().closes;
    return TBreloUsbToken::DoClose();
}

bool TFakeToken::DoLogin(const SecureString& Pin, std::int32_t& TriesLeft) {
    FakeDevice& d = Device();
    if (Pin != d.pin) {
        TriesLeft = --d.triesLeft;
        FLastError = 160;
        return false;
    }
    FLastError = 0;
    return true;
}

bool TFakeToken::DoChangePin(const SecureString& OldPin, const SecureString& NewPin, std::int32_t& TriesLeft) {
    FakeDevice& d = Device();
    if (d.failChangePin != 0) {
        FLastError = d.failChangePin;
        return false;
    }
    if (!DoLogin(OldPin, TriesLeft)) {
        return false;
    }
    d.pin = NewPin;
    return true;
}

bool TFakeToken::DoUnblockPin(const SecureString&, const SecureString& NewPin) {
    Device().pin = NewPin;
    FLastError = 0;
    return true;
}

bool TFakeToken::DoGetUID(std::string& UID) {
    UID = FUID;
    FLastError = 0;
    return true;
}

bool TFakeToken::DoReadCell(int, TStream& Stream) {
    Stream.WriteBytes(Device().cell);
    FLastError = 0;
    return true;
}

bool TFakeToken::DoWriteCell(int, TStream& Stream) {
    FakeDevice& d = Device();
    ++d.writes;
    if (d.failWriteFrom != 0 && d.writes >= d.writeFailAt) {
        FLastError = d.failWriteFrom;
        return false;
    }
    Stream.SetPosition(0);
    d.cell = Stream.ReadAll();
    FLastError = 0;
    return true;
}

std::string DeviceLine(const std::string& name, const std::string& uid) {
    return TBreloUsbTokenInt::PadTokenName(name) + "[" + uid + "]";
}

}  // namespace brelo::test
