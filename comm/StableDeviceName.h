#pragma once
// Stable names of serial devices: the links under /dev/serial/by-id that udev
// makes for USB adapters from their vendor, product and serial number. A
// stable name follows its adapter to whichever /dev/ttyUSBn it gets next.

#include <string>

// The stable name leading to the same node as `devicePath`, or "" when none
// does (a built-in port, a pseudo-terminal, no such device).
std::string StableDeviceName(const std::string& devicePath);

// True when `devicePath` is itself a stable name.
bool IsStableDeviceName(const std::string& devicePath);

// Where stable names are looked for; tests point it at a folder of their own.
void SetStableNameFolder(std::string folder);
const std::string& StableNameFolder();
