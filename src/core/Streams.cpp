#include "core/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Exceptions.h"

namespace brelo {

std::int64_t TStream::Size() {
    const std::int64_t pos = Seek(0, SeekOrigin::Current);
    const std::int64_t size = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Beginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
    if (count != 0 && Read(buffer, count) != count) {
        throw EReadError("Stream read error");
    }
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
    if (count != 0 && Write(buffer, count) != count) {
        throw EWriteError("Stream write error");
    }
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    char buffer[65536];
    std::int64_t left = count;
    while (left > 0) {
        const std::int64_t n = std::min<std::int64_t>(left, sizeof buffer);
        source.ReadBuffer(buffer, n);
        WriteBuffer(buffer, n);
        left -= n;
    }
    return count;
}

ByteString TStream::ReadRest() {
    const std::int64_t left = Size() - Position();
    ByteString bytes(static_cast<std::size_t>(std::max<std::int64_t>(left, 0)), '\0');
    ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

ByteString TStream::ReadAll() {
    SetPosition(0);
    return ReadRest();
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    const std::int64_t size = Size();
    if (count <= 0 || FPosition >= size) {
        return 0;
    }
    const std::int64_t n = std::min(count, size - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) {
        return 0;
    }
    const auto end = static_cast<std::size_t>(FPosition + count);
    if (end > FData.size()) {
        FData.resize(end, '\0');
    }
    std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current) {
        base = FPosition;
    } else if (origin == SeekOrigin::End) {
        base = Size();
    }
    FPosition = std::max<std::int64_t>(0, base + offset);
    return FPosition;
}

void TMemoryStream::SetSize(std::int64_t size) {
    FData.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
    FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear() {
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& path) {
    FData = ReadFileBytes(path);
    FPosition = 0;
}

void TMemoryStream::SaveToFile(const std::string& path) const { WriteFileBytes(path, FData); }

TFileStream::TFileStream(const std::string& path, Mode mode) : FFileName(path) {
    if (mode == fmCreate) {
        FHandle = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (FHandle < 0) {
            throw EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(errno));
        }
        return;
    }
    FHandle = ::open(path.c_str(), (mode == fmOpenRead ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (FHandle < 0) {
        throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    }
}

TFileStream::~TFileStream() {
    if (FHandle >= 0) {
        ::close(FHandle);
    }
}

namespace {

// Repeats a partial read or write until count bytes are through, the file ends or it fails;
// Step(done) moves the bytes from offset done on. The bytes moved.
template <typename Step>
std::int64_t Repeat(std::int64_t count, Step&& step) {
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = step(done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += n;
    }
    return done;
}

}  // namespace

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
    return Repeat(count, [&](std::int64_t done) {
        return ::read(FHandle, static_cast<char*>(buffer) + done, count - done);
    });
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
    return Repeat(count, [&](std::int64_t done) {
        return ::write(FHandle, static_cast<const char*>(buffer) + done, count - done);
    });
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::Beginning ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    const off_t pos = ::lseek(FHandle, offset, whence);
    if (pos < 0) {
        throw EStreamError("Stream seek error on \"" + FFileName + "\". " + std::strerror(errno));
    }
    return pos;
}

void TFileStream::SetSize(std::int64_t size) {
    if (::ftruncate(FHandle, size) != 0) {
        throw EStreamError("Cannot set the size of \"" + FFileName + "\". " + std::strerror(errno));
    }
}

void TFileStream::Flush() {
    if (::fsync(FHandle) != 0) {
        throw EWriteError("Cannot write \"" + FFileName + "\" to the disk. " + std::strerror(errno));
    }
}

ByteString ReadFileBytes(const std::string& path) {
    TFileStream file(path, TFileStream::fmOpenRead);
    return file.ReadAll();
}

void WriteFileBytes(const std::string& path, const ByteString& bytes) {
    const std::string temp = path + ".tmp";
    try {
        TFileStream file(temp, TFileStream::fmCreate);
        file.WriteBytes(bytes);
        file.Flush();
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        std::remove(temp.c_str());
        throw EFCreateError("Cannot create file \"" + path + "\". " + reason);
    }
}

}  // namespace brelo
