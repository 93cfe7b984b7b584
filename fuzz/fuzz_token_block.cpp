// A stored token block as it comes off a device: parse, skip and copy must check every length.
#include <cstddef>
#include <cstdint>

#include "token/TokenBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brelo;
    const ByteString bytes(reinterpret_cast<const char*>(data), size);
    try {
        TMemoryStream stream(bytes);
        TBreloUsbTokenFileDataHolder holder;
        TokenBlock::Parse(stream, holder);
        // What parsed must serialise to the same leading bytes.
        const ByteString again = TokenBlock::Serialize(holder);
        if (bytes.compare(0, again.size(), again) != 0) {
            __builtin_trap();
        }
    } catch (const EStreamError&) {
    }
    for (int index = 0; index < 16; ++index) {
        try {
            TMemoryStream stream(bytes);
            for (int i = 0; i < index; ++i) {
                TokenBlock::SkipEntry(stream);
            }
            TMemoryStream target;
            TokenBlock::CopyEntryData(stream, target);
        } catch (const EStreamError&) {
            break;
        }
    }
    return 0;
}
