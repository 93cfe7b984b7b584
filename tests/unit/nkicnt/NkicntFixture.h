// A folder of devices of the test's own, named by NKICNT_DEVICES while the test runs.
#pragma once

#include "Device.h"
#include "DeviceStore.h"
#include "brelo_test/ScopedEnv.h"
#include "brelo_test/TempDir.h"
#include "nkicnt.h"

#include <gtest/gtest.h>

#include <string>

namespace brelo::nkicnt::test {

inline constexpr const char* kPin = "12345678";
inline constexpr const char* kPuk = "ABCD0123";

class NkicntTest : public ::testing::Test {
 protected:
  // Sizes -1 mean the device lacks that file.
  void MakeDevice(const std::string& name, uint64_t uid = 0x00A1B2C3D4E5F607ULL,
                  std::array<int, kFileCount> sizes = {64, 16, 8, 0}, unsigned pinTries = 3,
                  unsigned pukTries = 3) {
    Device d;
    d.uid = uid;
    d.pin = Secret(kPin);
    d.puk = Secret(kPuk);
    d.pinTries = {pinTries, pinTries};
    d.pukTries = {pukTries, pukTries};
    for (int i = 0; i < kFileCount; ++i) {
      if (sizes[i] >= 0) d.files[i] = Secret(std::string(static_cast<size_t>(sizes[i]), 'x'));
    }
    CreateDevice(root.path(), name, d);
  }

  nkiHandle Open(const std::string& name) {
    nkiHandle h = 0;
    EXPECT_EQ(nkiOpenSessionEx(&h, name.c_str(), 0), NKI_OK);
    return h;
  }

  nkiHandle OpenWithPin(const std::string& name) {
    nkiHandle h = Open(name);
    EXPECT_EQ(nkiCheckPINEx(h, kPin, 8), NKI_OK);
    return h;
  }

  brelo::test::TempDir root{"brelo-nkicnt"};
  brelo::test::ScopedEnv devices{"NKICNT_DEVICES", root.path().string()};
};

}  // namespace brelo::nkicnt::test
