#pragma once
// The application's per-user profile: named values in sections below the
// application key, kept in the settings store. Integers are REG_DWORD values,
// strings REG_SZ values.

#include <string>
#include <string_view>

namespace support {

// The full key path the sections live under, e.g.
// "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2". Set once at start-up.
void SetProfileKey(std::string fullPath);
const std::string& ProfileKey();

int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue);
bool WriteProfileInt(std::string_view section, std::string_view entry, int value);

std::string GetProfileString(std::string_view section, std::string_view entry,
                             std::string_view defaultValue);
bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value);

}  // namespace support
