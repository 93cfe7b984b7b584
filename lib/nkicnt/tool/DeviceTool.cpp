// nkicnt-device: makes and shows software native tokens for tests and the demo.
#include "DeviceStore.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace brelo::nkicnt;

constexpr const char* kUsage =
    "usage:\n"
    "  nkicnt-device create NAME --uid HEX16 --pin PIN --puk PUK\n"
    "                [--sizes S1,S2,S3,S4] [--pin-tries N] [--puk-tries N] [--root DIR]\n"
    "  nkicnt-device show NAME [--root DIR]\n"
    "  nkicnt-device list [--root DIR]\n"
    "DIR defaults to $NKICNT_DEVICES. A size of -1 means the device lacks that file.\n"
    "Defaults: sizes 16384,2048,2048,2048; 3 PIN tries; 10 PUK tries (at most 15).\n";

struct Usage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

template <typename T>
T Number(const std::string& text, int base = 10) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size())
    throw Usage("not a number: " + text);
  return value;
}

std::map<std::string, std::string> Options(const std::vector<std::string>& args, size_t from) {
  std::map<std::string, std::string> options;
  for (size_t i = from; i < args.size(); i += 2) {
    if (args[i].rfind("--", 0) != 0 || i + 1 >= args.size()) throw Usage("bad option " + args[i]);
    options[args[i].substr(2)] = args[i + 1];
  }
  return options;
}

std::string Take(std::map<std::string, std::string>& options, const std::string& key,
                 const std::string& fallback = "") {
  auto it = options.find(key);
  if (it == options.end()) {
    if (fallback.empty()) throw Usage("--" + key + " is needed");
    return fallback;
  }
  std::string value = it->second;
  options.erase(it);
  return value;
}

std::filesystem::path Root(std::map<std::string, std::string>& options) {
  const char* env = std::getenv("NKICNT_DEVICES");
  const std::string root = Take(options, "root", env != nullptr ? env : "");
  setenv("NKICNT_DEVICES", root.c_str(), 1);  // LoadDevice looks there
  return root;
}

void SetSizes(Device& d, const std::string& list) {
  size_t start = 0;
  for (int i = 0; i < kFileCount; ++i) {
    const size_t end = list.find(',', start);
    if ((i < kFileCount - 1) == (end == std::string::npos)) throw Usage("--sizes needs 4 sizes");
    const auto size = Number<int32_t>(list.substr(start, end - start));
    if (size < -1 || size > kMaxFileSize) throw Usage("file size out of range: " + list);
    if (size >= 0) d.files[i] = Secret(std::string(static_cast<size_t>(size), '\0'));
    start = end + 1;
  }
}

Tries TriesOption(std::map<std::string, std::string>& options, const std::string& key,
                  const char* fallback) {
  const auto n = Number<unsigned>(Take(options, key, fallback));
  if (n < 1 || n > kMaxTries) throw Usage("--" + key + " must be 1 to 15");
  return {n, n};
}

int Create(const std::vector<std::string>& args) {
  if (args.size() < 2) throw Usage("create needs a NAME");
  auto options = Options(args, 2);
  const auto root = Root(options);
  Device d;
  const std::string uid = Take(options, "uid");
  if (uid.size() != 16) throw Usage("--uid needs 16 hexadecimal digits");
  d.uid = Number<uint64_t>(uid, 16);
  d.pin = Secret(Take(options, "pin"));
  d.puk = Secret(Take(options, "puk"));
  if (!ValidCredential(d.pin.bytes()) || !ValidCredential(d.puk.bytes()))
    throw Usage("PIN and PUK need 1 to 32 characters");
  SetSizes(d, Take(options, "sizes", "16384,2048,2048,2048"));
  d.pinTries = TriesOption(options, "pin-tries", "3");
  d.pukTries = TriesOption(options, "puk-tries", "10");
  if (!options.empty()) throw Usage("unknown option --" + options.begin()->first);
  std::filesystem::create_directories(root);
  CreateDevice(root, args[1], d);
  return 0;
}

int Show(const std::vector<std::string>& args) {
  if (args.size() < 2) throw Usage("show needs a NAME");
  auto options = Options(args, 2);
  Root(options);
  const Device d = LoadDevice(args[1]);
  std::printf("name %s\nuid %016llX\npin-tries %u %u\npuk-tries %u %u\n", args[1].c_str(),
              static_cast<unsigned long long>(d.uid), d.pinTries.left, d.pinTries.max,
              d.pukTries.left, d.pukTries.max);
  for (int i = 0; i < kFileCount; ++i) {
    const long size = d.files[i] ? static_cast<long>(d.files[i]->bytes().size()) : -1;
    std::printf("file %d %ld\n", i + 1, size);
  }
  return 0;
}

int List(const std::vector<std::string>& args) {
  auto options = Options(args, 1);
  Root(options);
  for (const auto& name : ListDevices()) std::printf("%s\n", name.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.empty()) throw Usage("no command");
    if (args[0] == "create") return Create(args);
    if (args[0] == "show") return Show(args);
    if (args[0] == "list") return List(args);
    if (args[0] == "--help" || args[0] == "-h") {
      std::cout << kUsage;
      return 0;
    }
    throw Usage("unknown command " + args[0]);
  } catch (const Usage& e) {
    std::cerr << "nkicnt-device: " << e.what() << "\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "nkicnt-device: " << e.what() << "\n";
    return 1;
  }
}
