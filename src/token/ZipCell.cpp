#include "token/ZipCell.h"

#include <zip.h>

#include <cstdio>

#include "core/ByteString.h"
#include "core/Format.h"

namespace brelo::ZipCell {

namespace {

struct ZipSourceFree {
    void operator()(zip_source_t* s) const noexcept { zip_source_free(s); }
};
struct ZipDiscard {
    void operator()(zip_t* z) const noexcept { zip_discard(z); }
};
struct ZipFileClose {
    void operator()(zip_file_t* f) const noexcept { zip_fclose(f); }
};
struct ZipError {
    zip_error_t e;
    ZipError() { zip_error_init(&e); }
    ~ZipError() { zip_error_fini(&e); }
    ZipError(const ZipError&) = delete;
    ZipError& operator=(const ZipError&) = delete;
};
using ZipSourcePtr = std::unique_ptr<zip_source_t, ZipSourceFree>;
using ZipPtr = std::unique_ptr<zip_t, ZipDiscard>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileClose>;

/// Error is the library's record; it is left to its owner.
[[noreturn]] void Fail(const std::string& what, zip_error_t* error) {
    const std::string reason = error != nullptr ? zip_error_strerror(error) : "";
    throw EZipCellError(Format("Сжатый блок устройства: %s%s%s", {what, reason.empty() ? "" : ": ", reason}));
}

/// Everything an in-memory source holds after the archive was written into it.
ByteString SourceBytes(zip_source_t* source) {
    if (zip_source_open(source) < 0) {
        Fail("write", zip_source_error(source));
    }
    zip_source_seek(source, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(source);
    zip_source_seek(source, 0, SEEK_SET);
    ByteString bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    const zip_int64_t got = bytes.empty() ? 0 : zip_source_read(source, bytes.data(), bytes.size());
    zip_source_close(source);
    if (got != static_cast<zip_int64_t>(bytes.size())) {
        Fail("write", nullptr);
    }
    return bytes;
}

std::unique_ptr<TMemoryStream> Rewound(ByteString bytes) {
    auto stream = std::make_unique<TMemoryStream>(std::move(bytes));
    stream->SetPosition(0);
    return stream;
}

}  // namespace

std::unique_ptr<TMemoryStream> Compress(TStream& Stream) {
    Stream.SetPosition(0);
    ByteString block = Stream.ReadAll();
    ZipError error;
    ZipSourcePtr target(zip_source_buffer_create(nullptr, 0, 0, &error.e));
    if (!target) {
        Fail("create", &error.e);
    }
    ZipPtr archive(zip_open_from_source(target.get(), ZIP_TRUNCATE, &error.e));
    if (!archive) {
        Fail("create", &error.e);
    }
    zip_source_keep(target.get());  // the archive's own reference goes with zip_close
    zip_source_t* entry = zip_source_buffer(archive.get(), block.data(), block.size(), 0);
    const zip_int64_t index = entry != nullptr ? zip_file_add(archive.get(), "*", entry, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
        zip_source_free(entry);
        Fail("add", zip_get_error(archive.get()));
    }
    if (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9) < 0 ||
        zip_close(archive.get()) < 0) {
        Fail("write", zip_get_error(archive.get()));
    }
    archive.release();  // zip_close freed it
    WipeString(block);
    return Rewound(SourceBytes(target.get()));
}

std::unique_ptr<TMemoryStream> Decompress(TStream& Stream) {
    const std::int64_t start = Stream.Position();
    unsigned char head[2] = {0, 0};
    const std::int64_t got = Stream.Read(head, 2);
    Stream.SetPosition(start);
    if (got < 2 || (head[0] | head[1]) == 0) {
        Stream.SetPosition(0);
        return Rewound(Stream.ReadAll());
    }
    ByteString cell = Stream.ReadRest();
    ZipError error;
    ZipSourcePtr source(zip_source_buffer_create(cell.data(), cell.size(), 0, &error.e));
    if (!source) {
        Fail("open", &error.e);
    }
    ZipPtr archive(zip_open_from_source(source.get(), ZIP_RDONLY, &error.e));
    if (!archive) {
        Fail("open", &error.e);
    }
    zip_source_keep(source.get());  // zip_discard drops the archive's reference
    const zip_int64_t index = zip_name_locate(archive.get(), "*", 0);
    if (index < 0) {
        Fail("no entry \"*\"", nullptr);
    }
    ZipFilePtr file(zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        Fail("read", zip_get_error(archive.get()));
    }
    // Read at most one byte past the bound, whatever the archive claims about the size.
    ByteString block;
    char chunk[16384];
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), chunk, sizeof chunk);
        if (n < 0) {
            Fail("read", zip_file_get_error(file.get()));
        }
        if (n == 0) {
            break;
        }
        block.append(chunk, static_cast<std::size_t>(n));
        if (static_cast<std::int64_t>(block.size()) > MaxExpanded) {
            WipeString(block);
            throw EZipCellError(Format("Сжатый блок устройства больше допустимых %d байт", {MaxExpanded}));
        }
    }
    SecureWipe(chunk, sizeof chunk);
    return Rewound(std::move(block));
}

}  // namespace brelo::ZipCell
