#include "token/nkiPKCSAPI.h"

#include <gtest/gtest.h>

#include "token/nkiTokenPKCS.h"

namespace brelo {
namespace {

TEST(PKCSLibrary, LinuxNamesOfTheVendorFiles) {
    EXPECT_EQ(TnkiPKCS::LinuxLibraryName("eToken.dll"), "libeToken.so");
    EXPECT_EQ(TnkiPKCS::LinuxLibraryName("VdsPKCS1132.DLL"), "libVdsPKCS1132.so");
    EXPECT_EQ(TnkiPKCS::LinuxLibraryName(""), "");
}

TEST(PKCSLibrary, GemaltoPadsAdministratorPinsToTwentyFourBytes) {
    EXPECT_EQ(TnkiGemaltoPKCS::PadAdminPin(SecureString("1234")), SecureString("1234") + SecureString(20, '\0'));
    const SecureString longPin(30, 'p');
    EXPECT_EQ(TnkiGemaltoPKCS::PadAdminPin(longPin), longPin);
}

TEST(PKCSLibrary, ZeroFillSizeFollowsTheMemoryCounters) {
    CK_TOKEN_INFO info{};
    const struct {
        CK_ULONG free, total;
        std::int32_t size;
    } cases[] = {{10000, 18432, 3072}, {CK_UNAVAILABLE_INFORMATION, CK_UNAVAILABLE_INFORMATION, 3072},
                 {18432, 18432, 2}, {18000, 18432, 431}, {5, 0, 3072}, {20000, 18432, 3072}};
    for (const auto& c : cases) {
        info.ulFreePrivateMemory = c.free;
        info.ulTotalPrivateMemory = c.total;
        EXPECT_EQ(TnkiTokenPKCS::ZeroFillSize(info), c.size) << c.free << "/" << c.total;
    }
}

}  // namespace
}  // namespace brelo
