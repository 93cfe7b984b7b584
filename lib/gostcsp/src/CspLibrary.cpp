// Library entry points.
#include "Contexts.h"

using namespace gostcsp;

namespace {
constexpr std::uint32_t kMajor = 1, kMinor = 0, kBuild = 1;
}

extern "C" {

int32_t CSPInitialize(void) {
    return CSP_OK;
}

int32_t CSPDeInitialize(void) {
    return Guard([] {
        CipherTable().Clear();
        HashTable().Clear();
        SignTable().Clear();
        return CSP_OK;
    });
}

uint32_t CSPGetVersion(void) {
    return kMajor << 24 | kMinor << 16 | kBuild;
}

}  // extern "C"
