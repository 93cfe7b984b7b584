// The key base: construction, loading, saving and signing helpers.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Fixtures.h"
#include "PlainFormat.h"

using namespace brelo;
using namespace brelo::test;

TEST(CustomKey, CreateFromStreamNeedsBytesAndDoesNotCheck) {
    TMemoryStream empty;
    EXPECT_THROW(TPlainKey(empty, SecureString("pw")), EAssertionFailed);
    TMemoryStream stream(ByteString("not a key"));
    stream.SetPosition(4);
    TPlainKey key(stream, SecureString("pw"));
    EXPECT_EQ(key.Data().Bytes(), "not a key");  // all of it, not from the position on
    EXPECT_EQ(key.Password(), "pw");
    EXPECT_THROW(key.Check(), EPlainWrongPassword);
}

TEST(CustomKey, LoadFromStreamChecksAndKeepsBytesOnFailure) {
    TPlainKey key;
    EXPECT_EQ(key.Data().Size(), 0);
    key.LoadFromText(TPlainKey::Content("pw"), SecureString("pw"));
    EXPECT_THROW(key.LoadFromText(TPlainKey::Content("other"), SecureString("pw")),
                 EPlainWrongPassword);
    EXPECT_EQ(key.Data().Bytes(), TPlainKey::Content("other"));
    key.LoadFromStream(key.Data(), SecureString("other"));  // its own data, reloaded
    EXPECT_EQ(key.Data().Bytes(), TPlainKey::Content("other"));
}

TEST(CustomKey, LoadFromFile) {
    TempDir dir;
    TPlainKey key;
    const std::string missing = dir.File("USER01.pkey");
    try {
        key.LoadFromFile(missing, SecureString("pw"));
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "FileNotFoundErrorFmt");
    }
    EXPECT_EQ(key.GetFileName(), missing);
    const std::string file = dir.Write("USER01.pkey", TPlainKey::Content("pw"));
    key.LoadFromFile(file, SecureString("pw"));
    EXPECT_EQ(key.GetFileName(), file);
}

TEST(CustomKey, SaveOverReadOnlyFiles) {
    TempDir dir;
    const std::string file = dir.Write("USER01.pkey", "old");
    ::chmod(file.c_str(), 0444);
    TPlainKey key;
    key.LoadFromText(TPlainKey::Content("pw"), SecureString("pw"));
    key.SaveToFile(file);
    EXPECT_EQ(ReadFileBytes(file), TPlainKey::Content("pw"));

    ::chmod(file.c_str(), 0444);
    key.SaveToFileEncrypted(file, SecureString("new"));
    EXPECT_EQ(ReadFileBytes(file), TPlainKey::Content("new"));
    EXPECT_EQ(key.Password(), "new");

    TMemoryStream out;
    out.WriteBytes("head:");
    key.SaveToStream(out);
    EXPECT_EQ(out.Bytes(), "head:" + TPlainKey::Content("pw"));
}

TEST(CustomKey, SignStreamCoversTheWholeStreamOfAnyKind) {
    TempDir dir;
    TPlainKey key;
    const std::string file = dir.Write("data.bin", "file bytes");
    TFileStream fileStream(file, TFileStream::fmOpenRead);
    fileStream.Seek(0, SeekOrigin::End);
    EXPECT_EQ(key.SignStream(fileStream, false), "SIG:file bytes");
    TMemoryStream memory(ByteString("memory"));
    EXPECT_EQ(key.SignStream(memory, true), "B64SIG:memory");
    EXPECT_EQ(key.SignText("text", false), "SIG:text");
}

TEST(CustomCertificate, SignatureHelpersAndRequestFile) {
    TPlainCert cert;
    TMemoryStream memory(ByteString("data"));
    EXPECT_TRUE(VerifyStreamSignature(cert, "SIG:data", memory));
    TempDir dir;
    TFileStream file(dir.Write("d", "data"), TFileStream::fmOpenRead);
    EXPECT_TRUE(VerifyStreamSignature(cert, "SIG:data", file));
    EXPECT_FALSE(VerifyTextSignature(cert, "SIG:data", "other"));

    TPlainRequest request;
    request.SetText("REQUEST");
    const std::string reqFile = dir.Write("USER01.preq", "an older, longer request");
    ::chmod(reqFile.c_str(), 0444);
    SaveRequestToFile(request, reqFile);
    EXPECT_EQ(ReadFileBytes(reqFile), "REQUEST");
}
