#include "DeviceStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace brelo::nkicnt {
namespace fs = std::filesystem;
namespace {

// The data file of a device holds at most four files in hexadecimal and a short header.
constexpr off_t kMaxDataFile = 2 * kFileCount * static_cast<off_t>(kMaxFileSize) + 4096;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::optional<fs::path> Root() {
  const char* root = std::getenv("NKICNT_DEVICES");
  if (root == nullptr || *root == '\0') return std::nullopt;
  return fs::path(root);
}

fs::path Folder(const std::string& name) {
  const auto root = Root();
  if (!root || !ValidDeviceName(name)) throw NoDevice("no device " + name);
  return *root / name;
}

Secret ReadData(const fs::path& file) {
  // Non-blocking, so a FIFO put in place of the data file cannot hang the caller.
  Fd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ENOTDIR) throw NoDevice("no device at " + file.string());
    throw DeviceError("cannot read " + file.string() + ": " + std::strerror(errno));
  }
  struct stat st {};
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxDataFile)
    throw DeviceError("device data of a wrong kind or size: " + file.string());
  Secret data;
  data.bytes().resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < data.bytes().size()) {
    const ssize_t n = read(fd.get(), data.bytes().data() + done, data.bytes().size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw DeviceError("cannot read " + file.string());
    done += static_cast<size_t>(n);
  }
  return data;
}

void WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw StorageError(std::string("cannot write device data: ") + std::strerror(errno));
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

// Test hook: end the process half-way through writing the temporary file, as a crash would.
void MaybeCrash(int fd, const std::string& data) {
  const char* crash = std::getenv("NKICNT_TEST_CRASH_MID_WRITE");
  if (crash == nullptr || std::strcmp(crash, "1") != 0) return;
  WriteAll(fd, data.data(), data.size() / 2);
  fsync(fd);
  _exit(70);
}

void SyncFolder(const fs::path& folder) {
  Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0 || fsync(dir.get()) != 0)
    throw StorageError("cannot sync " + folder.string());
}

void WriteData(const fs::path& folder, const Secret& text) {
  std::string tmpName = (folder / kDataFile).string() + ".tmp-XXXXXX";
  Fd fd(mkostemp(tmpName.data(), O_CLOEXEC));
  if (fd.get() < 0) throw StorageError("cannot create a file in " + folder.string());
  try {
    MaybeCrash(fd.get(), text.bytes());
    WriteAll(fd.get(), text.bytes().data(), text.bytes().size());
    if (fsync(fd.get()) != 0 || close(fd.Release()) != 0)
      throw StorageError("cannot sync device data");
    if (rename(tmpName.c_str(), (folder / kDataFile).c_str()) != 0)
      throw StorageError("cannot replace device data");
  } catch (...) {
    unlink(tmpName.c_str());
    throw;
  }
  SyncFolder(folder);
}

// Serialises changes of one device across processes.
Fd LockDevice(const fs::path& folder) {
  Fd fd(open((folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (fd.get() < 0) {
    if (errno == ENOENT) throw NoDevice("no device at " + folder.string());
    throw StorageError("cannot lock " + folder.string());
  }
  while (flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) throw StorageError("cannot lock " + folder.string());
  }
  return Fd(fd.Release());
}

}  // namespace

bool ValidDeviceName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxNameLength && name != "." && name != ".." &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::vector<std::string> ListDevices() {
  std::vector<std::string> names;
  const auto root = Root();
  std::error_code ec;
  if (!root || !fs::is_directory(*root, ec)) return names;
  for (fs::directory_iterator it(*root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (ValidDeviceName(name) && fs::exists(it->path() / kDataFile, ec)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

Device LoadDevice(const std::string& name) {
  const Secret data = ReadData(Folder(name) / kDataFile);
  return ParseDevice(data.bytes());
}

bool UpdateDevice(const std::string& name, const std::function<bool(Device&)>& change) {
  const fs::path folder = Folder(name);
  const Fd lock = LockDevice(folder);
  Device device = ParseDevice(ReadData(folder / kDataFile).bytes());
  if (!change(device)) return false;
  CheckDevice(device);
  WriteData(folder, FormatDevice(device));
  return true;
}

void CreateDevice(const fs::path& root, const std::string& name, const Device& device) {
  if (!ValidDeviceName(name)) throw StorageError("not a usable device name: " + name);
  CheckDevice(device);
  const fs::path folder = root / name;
  if (mkdir(folder.c_str(), 0700) != 0)
    throw StorageError("cannot create " + folder.string() + ": " + std::strerror(errno));
  WriteData(folder, FormatDevice(device));
}

}  // namespace brelo::nkicnt
