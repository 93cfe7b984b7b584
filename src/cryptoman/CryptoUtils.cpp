#include "cryptoman/CryptoUtils.h"

#include "core/Crypto.h"
#include "core/Exceptions.h"

namespace brelo {

TSha1TextProc Sha1TextProc = nullptr;

void SetSha1TextProc(TSha1TextProc proc) {
    Sha1TextProc = proc;
}

void EncodeStreamBase64(TStream& stream) {
    const std::string text = Base64Encode(stream.ReadAll());
    stream.SetPosition(0);
    stream.WriteBytes(text);
}

std::string Sha1Text(const ByteString& text) {
    Assert(Sha1TextProc != nullptr, "Sha1TextProc is not registered");
    return Sha1TextProc(text);
}

}  // namespace brelo
