#include <gtest/gtest.h>

#include <filesystem>

#include "core/Exceptions.h"
#include "core/Streams.h"

using namespace brelo;

TEST(MemoryStream, ReadWriteSeekSize) {
    TMemoryStream s;
    s.WriteBytes("hello");
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Position(), 5);
    s.Seek(-3, SeekOrigin::End);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 3);
    EXPECT_STREQ(buf, "llo");
    EXPECT_EQ(s.Read(buf, 8), 0);
    EXPECT_THROW(s.ReadBuffer(buf, 1), EReadError);
    s.SetPosition(7);  // writing past the end fills with zeros
    s.WriteBytes("!");
    EXPECT_EQ(s.Bytes(), std::string("hello\0\0!", 8));
    s.SetSize(2);
    EXPECT_EQ(s.ReadAll(), "he");
}

TEST(FileStream, MissingFileAndAtomicWrite) {
    const auto dir = std::filesystem::temp_directory_path() / "brelo-core-streams";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "data.bin").string();
    EXPECT_THROW(TFileStream((dir / "none").string(), TFileStream::fmOpenRead), EFOpenError);
    EXPECT_THROW(WriteFileBytes((dir / "no" / "such" / "x").string(), "x"), EFCreateError);

    WriteFileBytes(path, std::string("a\0b", 3));
    EXPECT_EQ(ReadFileBytes(path), std::string("a\0b", 3));
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    TFileStream f(path, TFileStream::fmOpenReadWrite);
    EXPECT_EQ(f.Size(), 3);
    f.Seek(0, SeekOrigin::End);
    f.WriteBytes("cd");
    TMemoryStream copy;
    copy.CopyFrom(f, 0);
    EXPECT_EQ(copy.Bytes(), std::string("a\0bcd", 5));
    std::filesystem::remove_all(dir);
}
