#pragma once
// The key-disk convention: how a key path names a key or certificate file.

#include <string>
#include <vector>

namespace brelo::ztcrypto {

/// A path that names a file as it stands: "/..." on this system, "X:..." and "\\..." as the
/// Windows system wrote them.
bool IsAbsoluteKeyPath(const std::string& path);

/// The file name or search mask of a key path: absolute paths unchanged, "kreda:" + rest as
/// rest + Extension, anything else as the mask "s" + path + ".*".
std::string KeyPathToFileName(const std::string& path, const std::string& extension);

/// The key-disk folders: ZTCRYPTO_KEY_DISKS (colon-separated) or /media/floppy0 and 1.
std::vector<std::string> KeyDisks();

/// The file for Name: an absolute name when it exists; otherwise the first file (by name)
/// matching Name on the first key disk that has one, without regard to case. Empty: none.
std::string FindKeyFile(const std::string& name, const std::vector<std::string>& disks);

/// Windows wildcard match ('*' and '?'), ASCII letters without regard to case.
bool MatchesMask(const std::string& name, const std::string& mask);

}  // namespace brelo::ztcrypto
