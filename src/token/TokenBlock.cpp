#include "token/TokenBlock.h"

#include <array>

#include "core/Format.h"
#include "token/nkiToken.h"

namespace brelo::TokenBlock {

namespace {
std::int64_t ReadLength(TStream& Stream) {
    // A block that ends inside a length fails like a short entry.
    CheckEntrySize(2, Stream);
    unsigned char bytes[2];
    Stream.ReadBuffer(bytes, 2);
    return bytes[0] | (bytes[1] << 8);
}

constexpr int kEntries = TBreloUsbTokenFileDataHolder::HighIndex + 1;
}  // namespace

void CheckEntrySize(std::int64_t L, TStream& Stream) {
    const std::int64_t left = Stream.Size() - Stream.Position();
    if (left < L) {
        throw EBlockSizeError(Format("Неверный размер блока: %d. Доступный остаток: %d", {L, left}));
    }
}

void WriteEntryText(const ByteString& Text, TStream& Stream) {
    if (Text.size() > MaxEntrySize) {
        throw EBlockSizeError(Format(
            "Запись размером %d байт длиннее допустимых для устройства %d байт", {Text.size(), MaxEntrySize}));
    }
    const unsigned char length[2] = {static_cast<unsigned char>(Text.size() & 0xFF),
                                     static_cast<unsigned char>(Text.size() >> 8)};
    Stream.WriteBuffer(length, 2);
    Stream.WriteBytes(Text);
}

void ReadEntryText(TStream& Stream, ByteString& Text) {
    const std::int64_t length = ReadLength(Stream);
    CheckEntrySize(length, Stream);
    Text.resize(static_cast<std::size_t>(length));
    Stream.ReadBuffer(Text.data(), length);
}

void SkipEntry(TStream& Stream) {
    const std::int64_t length = ReadLength(Stream);
    CheckEntrySize(length, Stream);
    Stream.Seek(length, SeekOrigin::Current);
}

std::int64_t CopyEntryData(TStream& Source, TStream& Target) {
    const std::int64_t length = ReadLength(Source);
    CheckEntrySize(length, Source);
    ByteString bytes(static_cast<std::size_t>(length), '\0');
    Source.ReadBuffer(bytes.data(), length);
    Target.WriteBytes(bytes);
    WipeString(bytes);
    return length;
}

ByteString Serialize(const TBreloUsbTokenFileDataHolder& Holder) {
    for (int i = 0; i < kEntries; ++i) {
        if (Holder.GetData(i).size() > MaxEntrySize) {
            throw EBlockSizeError(Format("Запись %d размером %d байт длиннее допустимых для устройства %d байт",
                                         {i, Holder.GetData(i).size(), MaxEntrySize}));
        }
    }
    TMemoryStream stream;
    for (int i = 0; i < kEntries; ++i) {
        WriteEntryText(Holder.GetData(i), stream);
    }
    return stream.Bytes();
}

void Parse(TStream& Stream, TBreloUsbTokenFileDataHolder& Holder) {
    std::array<ByteString, kEntries> entries;
    for (ByteString& entry : entries) {
        ReadEntryText(Stream, entry);
    }
    for (int i = 0; i < kEntries; ++i) {
        Holder.SetData(i, std::move(entries[static_cast<std::size_t>(i)]));
    }
}

}  // namespace brelo::TokenBlock
