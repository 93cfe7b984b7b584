// A compressed cell as it comes off a device: never expands beyond the bound, never crashes.
#include <cstddef>
#include <cstdint>

#include "token/ZipCell.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brelo;
    try {
        TMemoryStream cell(ByteString(reinterpret_cast<const char*>(data), size));
        const auto block = ZipCell::Decompress(cell);
        if (block->Size() > ZipCell::MaxExpanded) {
            __builtin_trap();
        }
    } catch (const EStreamError&) {
    }
    return 0;
}
