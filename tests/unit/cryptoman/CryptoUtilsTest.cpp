// Shared operations: Base64 over a stream, the SHA-1 text hook, file names and attributes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Fixtures.h"
#include "core/Exceptions.h"
#include "cryptoman/CryptoUtils.h"
#include "cryptoman/KeyFiles.h"

using namespace brelo;
using namespace brelo::test;

TEST(EncodeStreamBase64, ReplacesTheContentFromTheStart) {
    struct Case {
        ByteString data, text;
    };
    const Case cases[] = {
        {"", ""}, {"a", "YQ=="}, {"abc", "YWJj"}, {ByteString("\0\xff\x10", 3), "AP8Q"}};
    for (const Case& c : cases) {
        TMemoryStream stream(c.data);
        stream.Seek(0, SeekOrigin::End);
        EncodeStreamBase64(stream);
        EXPECT_EQ(stream.Bytes(), c.text);
    }
}

TEST(Sha1Text, UsesTheRegisteredProcedure) {
    SetSha1TextProc(nullptr);
    try {
        Sha1Text("abc");
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_TRUE(e.Message().starts_with("Assertion failure")) << e.Message();
    }
    SetSha1TextProc([](const ByteString& text) { return "SHA1(" + text + ")"; });
    EXPECT_EQ(Sha1Text("abc"), "SHA1(abc)");
    SetSha1TextProc(nullptr);
}

TEST(KeyFiles, ChangeFileExt) {
    EXPECT_EQ(ChangeFileExt("USER01", ".key"), "USER01.key");
    EXPECT_EQ(ChangeFileExt("A.B", ".key"), "A.key");
    EXPECT_EQ(ChangeFileExt("a.b.c", ".cer2"), "a.b.cer2");
    EXPECT_EQ(ChangeFileExt("/keys.d/USER01", ".key"), "/keys.d/USER01.key");
}

TEST(KeyFiles, FindFileNoCase) {
    TempDir dir;
    dir.Write("ca.cer", "lower");
    dir.Write("CA.CER", "upper");
    dir.Write("Transport.Cer", "t");
    std::filesystem::create_directory(dir.File("USER01.KEY"));  // a folder is not a key file

    EXPECT_EQ(FindFileNoCase(dir.Path(), "CA.CER"), dir.File("CA.CER"));  // exact match wins
    EXPECT_EQ(FindFileNoCase(dir.Path(), "Ca.cer"),
              dir.File("CA.CER"));  // else the first in byte order
    EXPECT_EQ(FindFileNoCase(dir.Path() + "/", "TRANSPORT.CER"), dir.File("Transport.Cer"));
    EXPECT_EQ(FindFileNoCase(dir.Path(), "user01.key"), "");
    EXPECT_EQ(FindFileNoCase(dir.File("missing"), "CA.CER"), "");
    EXPECT_EQ(KeyFilePath(dir.Path(), "USER01.CER"), dir.File("USER01.CER"));
    EXPECT_EQ(KeyFilePath(dir.Path(), "transport.cer"), dir.File("Transport.Cer"));
}

TEST(KeyFiles, MakeFileWritable) {
    TempDir dir;
    const std::string file = dir.Write("USER01.key", "x");
    ::chmod(file.c_str(), 0440);
    MakeFileWritable(file);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    ::chmod(file.c_str(), 0440);
    ClearFileAttributes(file, faHidden | faArchive);  // no read-only bit: nothing to do
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0440u);

    MakeFileWritable(dir.File("missing"));  // a missing file is no error
    EXPECT_FALSE(FileExists(dir.File("missing")));
}
