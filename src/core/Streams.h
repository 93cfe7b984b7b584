#pragma once
// Byte streams with read, write, seek, size and position, as the system's units use them.

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/ByteString.h"

namespace brelo {

enum class SeekOrigin { Beginning, Current, End };

/// Abstract byte stream. Read/Write move at most Count bytes and return how many moved;
/// ReadBuffer/WriteBuffer demand all of them (EReadError / EWriteError otherwise).
class TStream {
public:
    virtual ~TStream() = default;
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t size) = 0;
    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t pos) { Seek(pos, SeekOrigin::Beginning); }

    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
    /// Copies Count bytes from Source's position; Count 0 copies all of Source from its start.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
    /// The bytes from the current position to the end.
    ByteString ReadRest();
    /// The whole stream's bytes; the position ends at the end.
    ByteString ReadAll();
    void WriteBytes(const ByteString& bytes) { WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size())); }
};

/// Stream over a byte string it owns.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(ByteString bytes) : FData(std::move(bytes)) {}
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
    void SetSize(std::int64_t size) override;
    void Clear();
    const ByteString& Bytes() const { return FData; }
    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const;

private:
    ByteString FData;
    std::int64_t FPosition = 0;
};

/// Stream over a file. Opening a missing file raises EFOpenError; failing to create one
/// raises EFCreateError (both with the file name and the system's reason).
class TFileStream : public TStream {
public:
    enum Mode { fmOpenRead, fmOpenReadWrite, fmCreate };
    TFileStream(const std::string& path, Mode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    void SetSize(std::int64_t size) override;
    /// Pushes written bytes to the disk.
    void Flush();
    const std::string& FileName() const { return FFileName; }

private:
    std::string FFileName;
    int FHandle = -1;
};

/// Reads a whole file; EFOpenError when it cannot be opened.
ByteString ReadFileBytes(const std::string& path);
/// Writes a whole file through a temporary file and a rename, so a failure never leaves a
/// half-written file under the final name.
void WriteFileBytes(const std::string& path, const ByteString& bytes);

}  // namespace brelo
