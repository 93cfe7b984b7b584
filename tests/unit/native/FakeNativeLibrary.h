#pragma once
// An in-process stand-in for the native library: one device whose answers a test sets.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "token/nkicnt02imp.h"

namespace brelo::test {

struct FakeNative {
    std::vector<std::string> devices = {"Native 1"};
    std::map<std::string, std::uint32_t> openResult;  // by device name; absent = 0
    std::uint64_t uid = 0x00A1B2C3D4E5F607ULL;
    std::uint32_t uidResult = 0;
    std::string pin = "12345678";
    std::uint32_t refusedPinResult = 0xE2;  // answered to any other PIN
    std::uint32_t pinResult = 0;            // answered to the right PIN
    std::int32_t sizes[4] = {64, 32, 16, 8};
    std::uint32_t readResult = 0;
    std::uint32_t writeResult = 0;
    std::uint32_t reinitResult = 0;
    bool acceptReinitializedPin = true;
    std::string files[4];
    std::string reinitPin, reinitPuk, reinitLabel;
    std::uint32_t reinitPinType = 0, reinitPukType = 0;
    int openSessions = 0;
};

/// The state the fake library's entry points answer from; reset by ResetFakeNative.
FakeNative& Fake();
void ResetFakeNative();
/// All 27 entry points of the fake.
TNkiEntryPoints FakeEntries();

}  // namespace brelo::test
