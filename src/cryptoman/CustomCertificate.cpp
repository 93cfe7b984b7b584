#include "cryptoman/CustomCertificate.h"

#include "cryptoman/KeyFiles.h"

namespace brelo {

std::string TCustomCertificateClass::FileName(const std::string& baseName) const {
    return ChangeFileExt(baseName, FileExtension());
}

bool VerifyStreamSignature(TCustomCertificate& cert, const ByteString& signature, TStream& data) {
    if (auto* memory = dynamic_cast<TMemoryStream*>(&data)) {
        return cert.VerifySignature(memory->Bytes().data(), memory->Bytes().size(), signature);
    }
    const ByteString bytes = data.ReadAll();
    return cert.VerifySignature(bytes.data(), bytes.size(), signature);
}

bool VerifyTextSignature(TCustomCertificate& cert, const ByteString& signature,
                         const ByteString& text) {
    return cert.VerifySignature(text.data(), text.size(), signature);
}

void SaveRequestToFile(TCustomCertReq& request, const std::string& fileName) {
    MakeFileWritable(fileName);
    WriteFileBytes(fileName, request.GetText());
}

}  // namespace brelo
