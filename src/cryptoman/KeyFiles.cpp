#include "cryptoman/KeyFiles.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "core/Text.h"

namespace brelo {

namespace fs = std::filesystem;

std::string ChangeFileExt(std::string_view fileName, std::string_view extension) {
    const std::size_t dot = fileName.find_last_of('.');
    const std::size_t delim = fileName.find_last_of(PathDelim);
    const bool hasExt =
        dot != std::string_view::npos && (delim == std::string_view::npos || dot > delim);
    std::string result(hasExt ? fileName.substr(0, dot) : fileName);
    return result.append(extension);
}

std::string IncludeTrailingPathDelimiter(std::string_view folder) {
    std::string result(folder);
    if (result.empty() || result.back() != PathDelim) {
        result.push_back(PathDelim);
    }
    return result;
}

bool FileExists(const std::string& fileName) {
    std::error_code ec;
    return fs::is_regular_file(fileName, ec);
}

std::string FindFileNoCase(std::string_view folder, std::string_view name) {
    const std::string dir = IncludeTrailingPathDelimiter(folder);
    if (FileExists(dir + std::string(name))) {
        return dir + std::string(name);
    }
    std::error_code ec;
    std::string best;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (SameText(entry, name) && (best.empty() || entry < best) && FileExists(dir + entry)) {
            best = entry;
        }
    }
    return best.empty() ? std::string() : dir + best;
}

std::string KeyFilePath(std::string_view folder, std::string_view name) {
    std::string found = FindFileNoCase(folder, name);
    return found.empty() ? IncludeTrailingPathDelimiter(folder) + std::string(name) : found;
}

void ClearFileAttributes(const std::string& fileName, unsigned attributes) {
    struct stat st {};
    if ((attributes & faReadOnly) == 0 || ::stat(fileName.c_str(), &st) != 0) {
        return;
    }
    // Best effort, as on the system it replaces: a later write reports what still blocks it.
    ::chmod(fileName.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

void MakeFileWritable(const std::string& fileName) {
    ClearFileAttributes(fileName, faReadOnly | faHidden | faSysFile | faArchive);
}

}  // namespace brelo
