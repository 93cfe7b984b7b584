#pragma once
// The stored block of a key-storage token: for the entries 0 to 15 in order, a 2-byte
// little-endian length L and the entry's L bytes. No header, count or checksum; a reader
// parses from the start and ignores what follows the sixteenth entry.

#include <cstdint>

#include "core/ByteString.h"
#include "core/Streams.h"
#include "token/BreloUsbTokenUtils.h"

namespace brelo::TokenBlock {

/// The largest entry the 2-byte length can describe.
inline constexpr std::size_t MaxEntrySize = 0xFFFF;
/// The largest block sixteen entries can make.
inline constexpr std::size_t MaxBlockSize = 16 * (2 + MaxEntrySize);

/// Fails with the block-size error unless at least L bytes remain after the position.
void CheckEntrySize(std::int64_t L, TStream& Stream);
/// Appends L and the bytes of Text; an entry longer than 65,535 bytes is refused.
void WriteEntryText(const ByteString& Text, TStream& Stream);
void ReadEntryText(TStream& Stream, ByteString& Text);
void SkipEntry(TStream& Stream);
/// Copies one entry's bytes into Target at its position; returns their count.
std::int64_t CopyEntryData(TStream& Source, TStream& Target);

/// All sixteen entries of Holder as a block; refused as a whole (nothing returned) when an
/// entry is too long.
ByteString Serialize(const TBreloUsbTokenFileDataHolder& Holder);
/// Fills all sixteen entries from the block at Stream's position; Holder is changed only
/// when the whole block parsed.
void Parse(TStream& Stream, TBreloUsbTokenFileDataHolder& Holder);

}  // namespace brelo::TokenBlock
