#pragma once
// Key-folder file names: the one place where key files are named, found without regard to
// letter case, and made writable before they are overwritten.

#include <string>
#include <string_view>

namespace brelo {

/// The platform separator that ends a folder key path.
inline constexpr char PathDelim = '/';

/// FileName with its extension (the part from the last dot of the last path element on)
/// replaced by Extension; a name without a dot gets Extension appended.
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);

/// Folder with one trailing "/" (an empty folder becomes "/").
std::string IncludeTrailingPathDelimiter(std::string_view folder);

/// True when a regular file of that exact name exists.
bool FileExists(const std::string& fileName);

/// The path of the file in Folder whose name equals Name without regard to ASCII letter case;
/// an exact match wins, otherwise the first match in byte order. Empty when there is none.
std::string FindFileNoCase(std::string_view folder, std::string_view name);

/// FindFileNoCase, or, when nothing matches, Folder joined with Name as given (for messages and
/// for files about to be created).
std::string KeyFilePath(std::string_view folder, std::string_view name);

/// Attribute bits of the Windows file system; only faReadOnly has a counterpart here.
inline constexpr unsigned faReadOnly = 0x01;
inline constexpr unsigned faHidden = 0x02;
inline constexpr unsigned faSysFile = 0x04;
inline constexpr unsigned faArchive = 0x20;

/// When the file exists and faReadOnly is among Attributes, gives its owner write permission.
void ClearFileAttributes(const std::string& fileName, unsigned attributes);
/// Clears read-only, hidden, system and archive: makes an existing file writable by its owner.
void MakeFileWritable(const std::string& fileName);

}  // namespace brelo
