// WriteKeysProc end to end (find, open, read, write, change PIN, close) on a SoftHSM2 token
// reached through a vendor copy of the PKCS#11 test module, and the same PKCS#11 calls made
// directly through the same library in the same run: the difference is this code's cost.
//
// The program re-runs itself with the vendor folder on LD_LIBRARY_PATH when it is missing,
// because the token layer loads vendor libraries by bare file name.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "brelo_test/Pkcs11Tool.h"
#include "brelo_test/ScopedEnv.h"
#include "brelo_test/SoftHsmStore.h"
#include "brelo_test/VendorModule.h"
#include "token/BreloUsbToken.h"
#include "token/TokenBlock.h"
#include "token/nkiTokenPKCS.h"

namespace {

using namespace brelo;

struct Setup {
    std::unique_ptr<test::SoftHsmStore> store;
    std::vector<std::unique_ptr<test::ScopedEnv>> env;
    std::string serialSafeNet;
    std::string serialRsa;
};
Setup* g = nullptr;

const std::string kTextA = "USER01";
const std::string kTextB = "Пароль-01";

// A customer's key set of typical sizes.
const ByteString kCa(1500, 'c'), kTransport(1500, 't'), kCert(1600, 'u'), kKey(1750, 'k'), kGostCert(900, 'g'),
    kGostKey(1100, 'h');

void WriteKeysLoop(benchmark::State& state, const char* label, const std::string& serial) {
    const std::string line = TBreloUsbTokenInt::PadTokenName(label) + "[" + serial + "]";
    bool forward = true;
    for (auto _ : state) {
        // Alternating the two texts moves the PIN back and forth, so every round starts alike.
        const std::string& login = forward ? kTextA : kTextB;
        const SecureString password(forward ? kTextB : kTextA);
        WriteKeysProc(line, password, login, kCa, kTransport, kCert, kKey, kGostCert, kGostKey);
        forward = !forward;
    }
    // Every run starts from the login-derived PIN.
    if (!forward) {
        WriteKeysProc(line, SecureString(kTextA), kTextB, kCa, kTransport, kCert, kKey, kGostCert, kGostKey);
    }
}

void BM_WriteKeysProc_SafeNet(benchmark::State& state) { WriteKeysLoop(state, "SafeNet key", g->serialSafeNet); }
void BM_WriteKeysProc_RsaZip(benchmark::State& state) { WriteKeysLoop(state, "RSA key", g->serialRsa); }

CK_RV Check(CK_RV rv) {
    if (rv != CKR_OK) {
        throw std::runtime_error("PKCS#11 call failed: " + std::to_string(rv));
    }
    return rv;
}

/// The calls WriteKeysProc makes, without the token model around them.
void DirectRound(CK_FUNCTION_LIST* f, const std::string& serial, const std::string& oldPin,
                 const std::string& newPin, const ByteString& block) {
    CK_ULONG count = 0;
    Check(f->C_GetSlotList(CK_TRUE, nullptr, &count));
    std::vector<CK_SLOT_ID> slots(count);
    Check(f->C_GetSlotList(CK_TRUE, slots.data(), &count));
    CK_SLOT_ID slot = 0;
    for (CK_SLOT_ID s : slots) {
        CK_TOKEN_INFO info{};
        if (f->C_GetTokenInfo(s, &info) == CKR_OK && std::memcmp(info.serialNumber, serial.data(), 16) == 0) {
            slot = s;
        }
    }
    CK_SESSION_HANDLE h = 0;
    Check(f->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &h));
    auto pin = [](const std::string& p) { return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(p.data())); };
    Check(f->C_Login(h, CKU_USER, pin(oldPin), oldPin.size()));
    CK_OBJECT_CLASS cls = CKO_DATA;
    CK_BBOOL yes = CK_TRUE;
    char app[] = "Brelo", label[] = "BreloKeys";
    std::vector<CK_ATTRIBUTE> tmpl = {{CKA_CLASS, &cls, sizeof cls}, {CKA_TOKEN, &yes, 1}, {CKA_PRIVATE, &yes, 1},
                                      {CKA_APPLICATION, app, 5}, {CKA_LABEL, label, 9}};
    for (int pass = 0; pass < 2; ++pass) {  // the read, then the write looks the object up again
        CK_OBJECT_HANDLE object = 0;
        CK_ULONG found = 0;
        Check(f->C_FindObjectsInit(h, tmpl.data(), tmpl.size()));
        Check(f->C_FindObjects(h, &object, 1, &found));
        f->C_FindObjectsFinal(h);
        if (pass == 0) {
            CK_ATTRIBUTE value{CKA_VALUE, nullptr, 0};
            Check(f->C_GetAttributeValue(h, object, &value, 1));
            std::string bytes(value.ulValueLen, '\0');
            value.pValue = bytes.data();
            Check(f->C_GetAttributeValue(h, object, &value, 1));
        } else {
            // SoftHSM2 fixes a data object's value: a new object replaces the old one.
            std::vector<CK_ATTRIBUTE> full = tmpl;
            full.push_back({CKA_VALUE, const_cast<char*>(block.data()), block.size()});
            CK_OBJECT_HANDLE replacement = 0;
            Check(f->C_CreateObject(h, full.data(), full.size(), &replacement));
            Check(f->C_DestroyObject(h, object));
        }
    }
    Check(f->C_SetPIN(h, pin(oldPin), oldPin.size(), pin(newPin), newPin.size()));
    f->C_Logout(h);
    Check(f->C_CloseSession(h));
}

void BM_DirectCalls_SafeNet(benchmark::State& state) {
    CK_FUNCTION_LIST* f = TnkiTokenSafeNet::StaticLibrary()->Functions();
    if (f == nullptr) {
        state.SkipWithError("libeToken.so did not load");
        return;
    }
    TBreloUsbTokenFileDataHolder holder;
    holder.SetDataList({kCa, kTransport, kCert, kKey, kGostCert, kGostKey}, {0, 1, 2, 3, 4, 5});
    const ByteString block = TokenBlock::Serialize(holder);
    const std::string pinA = TnkiToken::DerivePinCode(kTextA).str();
    const std::string pinB = TnkiToken::DerivePinCode(kTextB).str();
    bool forward = true;
    for (auto _ : state) {
        DirectRound(f, g->serialSafeNet, forward ? pinA : pinB, forward ? pinB : pinA, block);
        forward = !forward;
    }
    // Leave the PIN where WriteKeysProc expects it.
    if (!forward) {
        DirectRound(f, g->serialSafeNet, pinB, pinA, block);
    }
}

// Direct calls first: they share the token with the WriteKeysProc rounds that follow.
BENCHMARK(BM_DirectCalls_SafeNet)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WriteKeysProc_SafeNet)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WriteKeysProc_RsaZip)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void ReexecWithVendorFolder(char** argv) {
    const char* current = std::getenv("LD_LIBRARY_PATH");
    const std::string dir = test::VendorDir().string();
    if (current != nullptr && std::string(current).find(dir) != std::string::npos) {
        return;
    }
    setenv("LD_LIBRARY_PATH", (dir + (current != nullptr ? ":" + std::string(current) : "")).c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("bench_token: re-running with the vendor folder failed");
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    ReexecWithVendorFolder(argv);
    Setup setup;
    g = &setup;
    setup.store = std::make_unique<test::SoftHsmStore>();
    const std::string pinA = TnkiToken::DerivePinCode(kTextA).str();
    const ByteString empty = TokenBlock::Serialize(TBreloUsbTokenFileDataHolder());
    setup.serialSafeNet = setup.store->InitToken("SafeNet key", "87654321", pinA);
    setup.serialRsa = setup.store->InitToken("RSA key", "87654321", pinA);
    test::WriteKeysObject(test::kSoftHsmModule, "SafeNet key", pinA, empty);
    test::WriteKeysObject(test::kSoftHsmModule, "RSA key", pinA, empty);
    setup.env.push_back(std::make_unique<test::ScopedEnv>(
        "BRELO_P11_MANUFACTURER", "SafeNet key=SafeNet, Inc.;RSA key=RSA Security Inc.;nobody"));
    RegisterBreloUsbTokenHooks();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ReleaseBreloUsbTokens();
    return 0;
}
