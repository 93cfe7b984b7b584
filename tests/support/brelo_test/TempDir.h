// A folder of its own for one test, removed with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>

namespace brelo::test {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "brelo");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// A path inside the folder (nothing is created).
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

/// Writes bytes to a file, replacing it; throws on failure.
void WriteFile(const std::filesystem::path& file, const std::string& bytes);
/// Reads a whole file as bytes; throws on failure.
std::string ReadFile(const std::filesystem::path& file);

}  // namespace brelo::test
