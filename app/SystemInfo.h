#pragma once
// The three lines of the About box, from the running system.

#include <cstdint>
#include <string>

// "Linux version 6.1 (Build 0)" from the kernel's name and release
// ("6.1.0-18-amd64": major, minor and the third number as the build).
// Empty when the release does not start with a version number.
std::string FormatSystemText(const std::string& sysname, const std::string& release);
std::string SystemText();  // from uname(); empty when it fails

// "Memory %llu Bytes(Avail.) / %llu Bytes(Total)": 64-bit figures, so
// machines past 2 GiB are shown right.
std::string FormatMemoryText(std::uint64_t availableBytes, std::uint64_t totalBytes);
std::string MemoryText();  // from /proc/meminfo (MemAvailable) or sysinfo()

// The login name of the effective user, at most 79 characters; empty when
// it cannot be had.
std::string UserName();
// "Current User : NAME".
std::string UserText();
