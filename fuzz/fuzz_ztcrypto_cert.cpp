// LoadCertFromStream on any bytes; the first byte picks the format (PEM, DER or another).
#include "ztcrypto_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    ztfuzz::TInput in{data + 1, static_cast<std::int64_t>(size - 1)};
    ZtStream stream = ztfuzz::InputStream(in);
    ZtCert* cert = nullptr;
    if (LoadCertFromStream(&stream, data[0] % 3, &cert) == ZT_OK && cert) {
        std::int32_t serial = 0;
        const ZtName* name = nullptr;
        ZtKey* key = nullptr;
        GetCertSerialNumber(cert, &serial);
        GetCertSubject(cert, &name);
        if (GetPublicKey(cert, &key) == ZT_OK) FreeKey(key);
        VerifyCert(cert, cert);
        ztfuzz::TSink sink;
        ZtStream out = ztfuzz::SinkStream(sink);
        SaveCertToStream(cert, &out, ZT_FORMAT_DER);
        FreeCert(cert);
    }
    return 0;
}
