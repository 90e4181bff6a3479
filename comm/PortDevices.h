#pragma once
// Port slots "COM1".."COM8" and the tty device behind each one.

#include <string>
#include <string_view>

inline constexpr int kFirstPortSlot = 1;
inline constexpr int kLastPortSlot = 8;
// The profile section of the port settings and the slots' devices.
inline constexpr std::string_view kPortSection = "CommPortSettings";

// The device for slot 1..8: this run's override, else the stored choice
// ("CommPortSettings"/"Device<n>"), else /dev/ttyS<n-1>. "" for a slot outside 1..8.
std::string DevicePathForSlot(int slot);

// Maps a slot for this run only (--device COMn=PATH); nothing is stored.
// An empty path removes the override. False for a slot outside 1..8.
bool SetRunDevicePath(int slot, std::string path);

// Stores the port dialog's choice and drops this run's override for the slot,
// so the choice takes effect at once. False for a bad slot or a failed write.
bool StoreDevicePath(int slot, std::string_view path);

// Drops every run override (tests).
void ClearRunDevicePaths();

