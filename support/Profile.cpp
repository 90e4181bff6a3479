#include "support/Profile.h"

#include "support/Registry.h"

#include <cstring>
#include <vector>

namespace support {
namespace {

std::string& ProfileKeyStorage()
{
    static std::string key = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";
    return key;
}

// Opens the section for reading without creating anything on the way.
bool OpenSection(CRegistry& registry, std::string_view section)
{
    CRegistry parser;
    if (!parser.ParsePath(ProfileKey().c_str()))
        return false;
    std::string rootPath;
    if (!parser.m_strComputerName.empty())
        rootPath = "\\\\" + parser.m_strComputerName + "\\";
    rootPath += parser.m_strRootName;
    std::string subKey = parser.m_strSubKey;
    if (!subKey.empty() && subKey.back() != '\\')
        subKey += '\\';
    subKey += section;
    return registry.CreateKeyByPath(rootPath.c_str()) &&
           registry.OpenKey(subKey.c_str(), KEY_READ);
}

bool CreateSection(CRegistry& registry, std::string_view section)
{
    std::string path = ProfileKey();
    path += '\\';
    path += section;
    return registry.CreateKeyByPath(path.c_str(), nullptr, nullptr, 0, KEY_ALL_ACCESS, nullptr);
}

}  // namespace

void SetProfileKey(std::string fullPath) { ProfileKeyStorage() = std::move(fullPath); }

const std::string& ProfileKey() { return ProfileKeyStorage(); }

int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue)
{
    CRegistry registry;
    if (!OpenSection(registry, section))
        return defaultValue;
    const std::string name(entry);
    DWORD type = REG_NONE;
    std::uint8_t bytes[4] = {};
    DWORD size = sizeof bytes;
    if (!registry.QueryValue(name.c_str(), &type, bytes, &size) || type != REG_DWORD ||
        size != sizeof bytes)
        return defaultValue;
    const DWORD value = static_cast<DWORD>(bytes[0]) | (static_cast<DWORD>(bytes[1]) << 8) |
                        (static_cast<DWORD>(bytes[2]) << 16) |
                        (static_cast<DWORD>(bytes[3]) << 24);
    return static_cast<int>(value);  // two's complement back to a negative int
}

bool WriteProfileInt(std::string_view section, std::string_view entry, int value)
{
    CRegistry registry;
    if (!CreateSection(registry, section))
        return false;
    const std::string name(entry);
    return registry.WriteDword(name.c_str(), static_cast<DWORD>(value));
}

std::string GetProfileString(std::string_view section, std::string_view entry,
                             std::string_view defaultValue)
{
    CRegistry registry;
    if (!OpenSection(registry, section))
        return std::string(defaultValue);
    const std::string name(entry);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (!registry.QueryValue(name.c_str(), &type, nullptr, &size) || type != REG_SZ)
        return std::string(defaultValue);
    std::vector<char> data(size + 1, '\0');
    if (!registry.QueryValue(name.c_str(), &type, data.data(), &size) || type != REG_SZ)
        return std::string(defaultValue);
    std::string text(data.data(), size);
    if (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

bool WriteProfileString(std::string_view section, std::string_view entry, std::string_view value)
{
    CRegistry registry;
    if (!CreateSection(registry, section))
        return false;
    const std::string name(entry);
    std::string data(value);
    data.push_back('\0');
    return registry.SetValue(name.c_str(), REG_SZ, data.data(), static_cast<DWORD>(data.size()));
}

}  // namespace support
