#include "cryptoman/CustomKey.h"

#include "core/Exceptions.h"
#include "core/Messages.h"
#include "cryptoman/KeyFiles.h"

namespace brelo {

std::string TCustomKeyClass::FileName(const std::string& baseName) const {
    return ChangeFileExt(baseName, FileExtension());
}

TCustomKey::TCustomKey() : FData(std::make_unique<TMemoryStream>()) {}

TCustomKey::TCustomKey(TStream& stream, const SecureString& password)
    : FData(std::make_unique<TMemoryStream>()), FPassword(password) {
    Assert(stream.Size() > 0, "empty key stream");
    FData->CopyFrom(stream, 0);
}

TCustomKey::~TCustomKey() = default;

void TCustomKey::LoadFromFile(const std::string& fileName, const SecureString& password) {
    FFileName = fileName;
    if (!FileExists(fileName)) {
        RaiseKeyed<EFOpenError>("FileNotFoundErrorFmt", {fileName});
    }
    TFileStream file(fileName, TFileStream::fmOpenRead);
    LoadFromStream(file, password);
}

void TCustomKey::LoadFromStream(TStream& stream, const SecureString& password) {
    if (&stream != FData.get()) {
        FData->Clear();
        FData->CopyFrom(stream, 0);
    }
    FPassword = password;
    Check();
}

void TCustomKey::SaveToFile(const std::string& fileName) {
    MakeFileWritable(fileName);
    WriteFileBytes(fileName, FData->Bytes());
}

void TCustomKey::SaveToStream(TStream& stream) {
    FData->SetPosition(0);
    stream.WriteBytes(FData->Bytes());
}

void TCustomKey::LoadFromText(const ByteString& text, const SecureString& password) {
    TMemoryStream stream(text);
    LoadFromStream(stream, password);
}

void TCustomKey::SaveToFileEncrypted(const std::string& fileName, const SecureString& password) {
    TMemoryStream stream;
    SaveEncrypted(stream, password);
    // Written beside and renamed over the old file, so a failure keeps the old key intact.
    MakeFileWritable(fileName);
    WriteFileBytes(fileName, stream.Bytes());
}

ByteString TCustomKey::SignStream(TStream& data, bool asBase64) {
    if (auto* memory = dynamic_cast<TMemoryStream*>(&data)) {
        return Sign(memory->Bytes().data(), memory->Bytes().size(), asBase64);
    }
    const ByteString bytes = data.ReadAll();
    return Sign(bytes.data(), bytes.size(), asBase64);
}

ByteString TCustomKey::SignText(const ByteString& text, bool asBase64) {
    return Sign(text.data(), text.size(), asBase64);
}

}  // namespace brelo
