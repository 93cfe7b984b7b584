#include "Device.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

namespace brelo::nkicnt {
namespace {

constexpr std::string_view kMagic = "nkicnt-device 1";
constexpr char kHex[] = "0123456789ABCDEF";

void Wipe(std::string& s) {
  if (!s.empty()) explicit_bzero(s.data(), s.size());
}

std::string Hex(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) out += {kHex[c >> 4], kHex[c & 15]};
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

Secret Unhex(std::string_view text) {
  if (text.size() % 2 != 0) throw DeviceError("odd number of hexadecimal digits");
  Secret out;
  out.bytes().reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) throw DeviceError("not a hexadecimal digit");
    out.bytes() += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

template <typename T>
T Number(std::string_view text, int base = 10) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty())
    throw DeviceError("not a number: " + std::string(text.substr(0, 20)));
  return value;
}

// Splits "key a b c" into its words; the key must be the expected one.
std::vector<std::string_view> Fields(std::string_view line, std::string_view key, size_t count) {
  std::vector<std::string_view> words;
  size_t start = 0;
  while (start <= line.size()) {
    const size_t end = std::min(line.find(' ', start), line.size());
    words.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  if (words.empty() || words[0] != key || words.size() != count + 1)
    throw DeviceError("expected the line '" + std::string(key) + "'");
  words.erase(words.begin());
  return words;
}

Tries ParseTries(std::string_view line, std::string_view key) {
  const auto f = Fields(line, key, 2);
  return {Number<unsigned>(f[0]), Number<unsigned>(f[1])};
}

std::optional<Secret> ParseFile(std::string_view line, int fileNo) {
  std::vector<std::string_view> f;
  if (line.ends_with(" -1")) {
    f = Fields(line, "file", 2);
    if (Number<int>(f[0]) != fileNo) throw DeviceError("files out of order");
    return std::nullopt;
  }
  f = Fields(line, "file", 3);
  if (Number<int>(f[0]) != fileNo) throw DeviceError("files out of order");
  const auto size = Number<int32_t>(f[1]);
  if (size < 0 || size > kMaxFileSize || f[2].size() != 2 * static_cast<size_t>(size))
    throw DeviceError("file " + std::to_string(fileNo) + " has a wrong size");
  return Unhex(f[2]);
}

class Lines {
 public:
  explicit Lines(std::string_view text) : rest_(text) {}
  std::string_view Next() {
    const size_t end = rest_.find('\n');
    if (end == std::string_view::npos) throw DeviceError("device data ends early");
    const std::string_view line = rest_.substr(0, end);
    rest_.remove_prefix(end + 1);
    return line;
  }
  bool Done() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

}  // namespace

Secret& Secret::operator=(const Secret& other) {
  if (this != &other) {
    Wipe(bytes_);
    bytes_ = other.bytes_;
  }
  return *this;
}

Secret::~Secret() { Wipe(bytes_); }

bool ValidCredential(std::string_view text) {
  return !text.empty() && text.size() <= kMaxCredential &&
         text.find('\0') == std::string_view::npos;
}

void CheckDevice(const Device& d) {
  if (!ValidCredential(d.pin.bytes()) || !ValidCredential(d.puk.bytes()))
    throw DeviceError("PIN or PUK of a wrong form");
  for (const Tries& t : {d.pinTries, d.pukTries}) {
    if (t.max < 1 || t.max > kMaxTries || t.left > t.max) throw DeviceError("wrong tries count");
  }
  for (const auto& file : d.files) {
    if (file && file->bytes().size() > static_cast<size_t>(kMaxFileSize))
      throw DeviceError("file too large");
  }
}

Device ParseDevice(std::string_view text) {
  Lines lines(text);
  if (lines.Next() != kMagic) throw DeviceError("not a device of this library");
  Device d;
  const auto uid = Fields(lines.Next(), "uid", 1)[0];
  if (uid.size() != 16) throw DeviceError("UID must have 16 hexadecimal digits");
  d.uid = Number<uint64_t>(uid, 16);
  d.pin = Unhex(Fields(lines.Next(), "pin", 1)[0]);
  d.puk = Unhex(Fields(lines.Next(), "puk", 1)[0]);
  d.pinTries = ParseTries(lines.Next(), "pin-tries");
  d.pukTries = ParseTries(lines.Next(), "puk-tries");
  for (int i = 0; i < kFileCount; ++i) d.files[i] = ParseFile(lines.Next(), i + 1);
  if (!lines.Done()) throw DeviceError("unexpected data after the last file");
  CheckDevice(d);
  return d;
}

Secret FormatDevice(const Device& d) {
  char uid[17];
  std::snprintf(uid, sizeof uid, "%016llX", static_cast<unsigned long long>(d.uid));
  Secret out;
  std::string& s = out.bytes();
  s += std::string(kMagic) + "\nuid " + uid + "\n";
  std::string pin = Hex(d.pin.bytes()), puk = Hex(d.puk.bytes());
  s += "pin ";
  s += pin;
  s += "\npuk ";
  s += puk;
  s += "\n";
  Wipe(pin), Wipe(puk);
  s += "pin-tries " + std::to_string(d.pinTries.left) + " " + std::to_string(d.pinTries.max) + "\n";
  s += "puk-tries " + std::to_string(d.pukTries.left) + " " + std::to_string(d.pukTries.max) + "\n";
  for (int i = 0; i < kFileCount; ++i) {
    s += "file " + std::to_string(i + 1) + " ";
    if (!d.files[i]) {
      s += "-1\n";
      continue;
    }
    const std::string& bytes = d.files[i]->bytes();
    s += std::to_string(bytes.size()) + " ";
    for (unsigned char c : bytes) s += {kHex[c >> 4], kHex[c & 15]};
    s += "\n";
  }
  return out;
}

}  // namespace brelo::nkicnt
