// Devices on disk: one folder per device under $NKICNT_DEVICES, the folder's name being the
// device's name. Every change rewrites the device's one data file through a temporary file
// that is synced and renamed over it, so a crash leaves either the old or the new state.
#pragma once

#include "Device.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace brelo::nkicnt {

/// The device is not there (no variable, no folder, or no data file).
class NoDevice : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

/// The device could not be written; its old state is kept.
class StorageError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline constexpr size_t kMaxNameLength = 72;
inline constexpr const char* kDataFile = "device.txt";

/// Names of the devices present, in byte order; names too long to report are left out.
std::vector<std::string> ListDevices();

/// The device's current state; throws NoDevice or DeviceError.
Device LoadDevice(const std::string& name);

/// Runs Change on the current state under the device's lock and stores the state it leaves
/// when Change returns true. Returns what Change returned.
bool UpdateDevice(const std::string& name, const std::function<bool(Device&)>& change);

/// Makes a new device folder under Root; throws StorageError when it exists or cannot be made.
void CreateDevice(const std::filesystem::path& root, const std::string& name, const Device& device);

/// True for a name that can be a device folder and fits the enumeration buffer.
bool ValidDeviceName(const std::string& name);

}  // namespace brelo::nkicnt
