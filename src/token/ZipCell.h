#pragma once
// Compressed cells: a ZIP archive holding the block as its single entry "*".

#include <memory>

#include "core/Exceptions.h"
#include "core/Streams.h"

namespace brelo::ZipCell {

/// A damaged archive, one without the entry "*", or one that would expand beyond MaxExpanded.
BRELO_EXCEPTION_CLASS(EZipCellError, EStreamError);

/// No cell ever expands beyond this: the largest block sixteen entries can make.
inline constexpr std::int64_t MaxExpanded = 16 * (2 + 0xFFFF);

/// All of Stream (from its start) as the entry "*" of a new archive, deflate level 9; rewound.
std::unique_ptr<TMemoryStream> Compress(TStream& Stream);
/// When the two bytes at Stream's position, read as a little-endian number, are non-zero the
/// cell is an archive and its entry "*" is returned; otherwise the whole of Stream is taken
/// as an uncompressed block. Rewound in either case.
std::unique_ptr<TMemoryStream> Decompress(TStream& Stream);

}  // namespace brelo::ZipCell
