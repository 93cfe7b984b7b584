// LoadCertRequest on any bytes; a request that loads is read back through its subject.
#include "ztcrypto_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ztfuzz::TInput in{data, static_cast<std::int64_t>(size)};
    ZtStream stream = ztfuzz::InputStream(in);
    ZtRequest* request = nullptr;
    if (LoadCertRequest(&stream, &request) == ZT_OK) {
        const ZtName* name = nullptr;
        std::int32_t count = 0;
        GetCertRequestSubject(request, &name);
        GetDistinguishedNameEntryCount(name, &count);
        for (std::int32_t i = 0; i < count; i++) {
            std::int32_t fieldLength = 0, valueLength = 0;
            GetDistinguishedNameEntry(name, i, nullptr, &fieldLength, nullptr, &valueLength);
        }
        ztfuzz::TSink sink;
        ZtStream out = ztfuzz::SinkStream(sink);
        SaveCertRequest(request, &out);
        FreeCertRequest(request);
    }
    return 0;
}
