#include "ztcrypto/KeyPath.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "core/Text.h"

namespace brelo::ztcrypto {

namespace fs = std::filesystem;

bool IsAbsoluteKeyPath(const std::string& path) {
    if (path.starts_with("/") || path.starts_with("\\\\")) return true;
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           static_cast<unsigned char>(path[0]) < 0x80 && path[1] == ':';
}

std::string KeyPathToFileName(const std::string& path, const std::string& extension) {
    if (IsAbsoluteKeyPath(path)) return path;
    if (path.size() >= 6 && SameText(path.substr(0, 6), "kreda:")) return path.substr(6) + extension;
    return "s" + path + ".*";
}

std::vector<std::string> KeyDisks() {
    const char* env = std::getenv("ZTCRYPTO_KEY_DISKS");
    const std::string list = env ? env : "/media/floppy0:/media/floppy1";
    std::vector<std::string> disks;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start) disks.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return disks;
}

bool MatchesMask(const std::string& name, const std::string& mask) {
    auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    // Iterative match with one backtrack point per '*': linear in practice, no recursion.
    std::size_t n = 0, m = 0, starM = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || lower(mask[m]) == lower(name[n]))) {
            ++n, ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++, starN = n;
        } else if (starM != std::string::npos) {
            m = starM + 1, n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string FindOnDisk(const fs::path& folder, const std::string& mask) {
    std::error_code ec;
    std::vector<std::string> matches;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (MatchesMask(entry, mask) && IsRegularFile(it->path().string())) matches.push_back(entry);
    }
    if (matches.empty()) return {};
    return (folder / *std::min_element(matches.begin(), matches.end())).string();
}

}  // namespace

std::string FindKeyFile(const std::string& name, const std::vector<std::string>& disks) {
    if (IsAbsoluteKeyPath(name)) return IsRegularFile(name) ? name : std::string{};
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const fs::path rel(relative);
    for (const auto& disk : disks) {
        std::string found = FindOnDisk(fs::path(disk) / rel.parent_path(), rel.filename().string());
        if (!found.empty()) return found;
    }
    return {};
}

}  // namespace brelo::ztcrypto
