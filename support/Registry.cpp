#include "support/Registry.h"

#include "support/RegistryStore.h"

#include <unistd.h>

#include <array>
#include <cstring>

namespace support {
namespace {

constexpr std::size_t kComputerNameCapacity = 260;
constexpr std::size_t kClassNameCapacity = 2047;

RegistryStore& Store() { return RegistryStore::Instance(); }

}  // namespace

std::string LocalComputerName()
{
    std::array<char, kComputerNameCapacity> buffer{};
    if (::gethostname(buffer.data(), buffer.size() - 1) != 0)
        return {};
    std::string name(buffer.data());
    // The short name, as a Windows computer name would be.
    if (const std::size_t dot = name.find('.'); dot != std::string::npos)
        name.resize(dot);
    return name;
}

// ---- RegKeyEntry ----

void RegKeyEntry::Close()
{
    if (m_hKey != 0)
        Store().CloseKey(m_hKey);
    m_hKey = 0;
}

// ---- CRegKeyStack ----

bool CRegKeyStack::Push(std::unique_ptr<RegKeyEntry> entry)
{
    if (!entry)
        return false;
    m_entries.push_back(std::move(entry));
    ++m_nTop;
    return true;
}

std::unique_ptr<RegKeyEntry> CRegKeyStack::Pop()
{
    if (m_entries.empty())
        return nullptr;
    std::unique_ptr<RegKeyEntry> top = std::move(m_entries.back());
    m_entries.pop_back();
    --m_nTop;
    return top;
}

RegKeyEntry* CRegKeyStack::Peek(int depth) const
{
    if (m_entries.empty() || depth < 0 || depth > m_nTop)
        return nullptr;
    return m_entries[static_cast<std::size_t>(m_nTop - depth)].get();
}

void CRegKeyStack::RemoveAll()
{
    m_entries.clear();
    m_nTop = -1;
}

// ---- CRegistry ----

CRegistry::CRegistry() { Reset(); }

CRegistry::~CRegistry()
{
    // Every entry on the stack holds a handle, whether or not a root is set.
    CloseAllKeys();
    Reset();
}

void CRegistry::ClearKeyInfo()
{
    m_strClassName.clear();
    m_dwSubKeys = 0;
    m_dwValues = 0;
    m_dwMaxSubKeyLen = 0;
    m_dwMaxClassLen = 0;
    m_dwMaxValueNameLen = 0;
    m_dwMaxValueLen = 0;
    m_dwSecurityDescriptor = 0;
    m_ftLastWriteTime = FILETIME{};
}

void CRegistry::Reset()
{
    m_strClassName.clear();
    m_strComputerName.clear();
    m_strSubKey.clear();
    m_strRootName.clear();
    m_hCurrentKey = 0;
    m_hRootKey = 0;
    m_lLastError = ERROR_SUCCESS;
    m_strLastErrorText.clear();
    ClearKeyInfo();
    m_samAccess = KEY_READ;
    m_keyStack.RemoveAll();
}

HKEY CRegistry::RootKeyFromName(const char* name)
{
    return name != nullptr ? RegistryStore::PredefinedRootFromName(name) : 0;
}

const char* CRegistry::RootKeyName(HKEY key)
{
    // The table's names are literals, so the view is NUL-terminated.
    const std::string_view name = RegistryStore::PredefinedRootName(key);
    return name.empty() ? "" : name.data();
}

bool CRegistry::ParsePath(const char* fullPath)
try {
    if (!m_strRootName.empty())
        return false;
    if (fullPath == nullptr || *fullPath == '\0')
        return false;
    std::string_view rest(fullPath);
    std::string computer;
    if (rest.front() == '\\') {
        if (rest.size() < 2 || rest[1] != '\\')
            return false;
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('\\');
        if (slash == std::string_view::npos)
            return false;
        computer = std::string(rest.substr(0, slash));
        rest.remove_prefix(slash + 1);
    }
    if (rest.empty())
        return false;
    const std::size_t slash = rest.find('\\');
    std::string rootName(rest.substr(0, slash));
    std::string subKey;
    if (slash != std::string_view::npos)
        subKey = std::string(rest.substr(slash + 1));
    m_strComputerName = std::move(computer);
    m_strRootName = std::move(rootName);
    m_strSubKey = std::move(subKey);
    return true;
} catch (...) {
    return false;  // no part is stored before all three are built
}

bool CRegistry::CreateKeyByPath(const char* fullPath, DWORD* disposition, const char* className,
                                DWORD options, REGSAM access,
                                const SECURITY_ATTRIBUTES* security)
try {
    CloseAllKeys();
    Reset();
    if (!ParsePath(fullPath))
        return false;
    const HKEY root = RootKeyFromName(m_strRootName.c_str());
    if (root == HKEY_CURRENT_USER || root == HKEY_CLASSES_ROOT) {
        // These two exist only locally: whatever computer the path names.
        m_hRootKey = root;
        m_strComputerName = LocalComputerName();
    } else {
        const std::string computer = m_strComputerName;
        if (!Connect(root, computer.c_str()))
            return false;
    }
    if (m_strSubKey.empty())
        return true;
    const std::string subKey = m_strSubKey;
    if (CreateKey(subKey.c_str(), disposition, className, options, access, security))
        return true;
    CloseAllKeys();
    return false;
} catch (...) {
    CloseAllKeys();
    SetOwnError(ERROR_EXCEPTION_IN_SERVICE);
    return false;
}

bool CRegistry::Connect(HKEY root, const char* computerName)
{
    try {
        return ConnectUnguarded(root, computerName);
    } catch (...) {
        SetOwnError(ERROR_EXCEPTION_IN_SERVICE);
        return false;
    }
}

bool CRegistry::ConnectUnguarded(HKEY root, const char* computerName)
{
    if (root == HKEY_CLASSES_ROOT || root == HKEY_CURRENT_USER) {
        if (computerName == nullptr) {
            m_hRootKey = root;
            SetOwnError(ERROR_SUCCESS);
        } else {
            SetOwnError(ERROR_INVALID_HANDLE);
        }
    } else {
        Record(Store().ConnectRegistry(computerName, root, &m_hRootKey));
    }
    if (m_lLastError != ERROR_SUCCESS)
        return false;
    m_strComputerName = computerName != nullptr ? std::string(computerName) : LocalComputerName();
    m_strRootName = RootKeyName(root);
    auto entry = std::make_unique<RegKeyEntry>(m_hRootKey, m_strRootName);
    return m_keyStack.Push(std::move(entry));
}

bool CRegistry::FailAfterException(HKEY before)
{
    // A handle obtained but not stacked would be lost: close it.
    if (m_hCurrentKey != before && m_hCurrentKey != 0) {
        const RegKeyEntry* top = m_keyStack.Peek(0);
        if (top == nullptr || top->m_hKey != m_hCurrentKey)
            Store().CloseKey(m_hCurrentKey);
        m_hCurrentKey = before;
    }
    SetOwnError(ERROR_EXCEPTION_IN_SERVICE);
    return false;
}

bool CRegistry::CreateKey(const char* subKey, DWORD* disposition, const char* className,
                          DWORD options, REGSAM access, const SECURITY_ATTRIBUTES* security)
{
    const HKEY before = m_hCurrentKey;
    try {
        return CreateKeyUnguarded(subKey, disposition, className, options, access, security);
    } catch (...) {
        return FailAfterException(before);
    }
}

bool CRegistry::CreateKeyUnguarded(const char* subKey, DWORD* disposition,
                                   const char* className, DWORD options, REGSAM access,
                                   const SECURITY_ATTRIBUTES* /*security: not kept*/)
{
    if (subKey == nullptr) {
        SetOwnError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const HKEY parent = m_hCurrentKey != 0 ? m_hCurrentKey : m_hRootKey;
    if (parent == 0)
        return false;
    HKEY created = 0;
    Record(Store().CreateKey(parent, subKey, className != nullptr ? className : "", options,
                             access, &created, disposition));
    if (m_lLastError != ERROR_SUCCESS) {
        m_hCurrentKey = parent;
        return false;
    }
    m_hCurrentKey = created;
    RefreshKeyInfo();
    std::string name(subKey);
    m_strSubKey = name;
    m_samAccess = access;
    return m_keyStack.Push(std::make_unique<RegKeyEntry>(created, std::move(name)));
}

bool CRegistry::OpenKey(const char* subKey, REGSAM access)
{
    const HKEY before = m_hCurrentKey;
    try {
        return OpenKeyUnguarded(subKey, access);
    } catch (...) {
        return FailAfterException(before);
    }
}

bool CRegistry::OpenKeyUnguarded(const char* subKey, REGSAM access)
{
    const HKEY parent = m_hCurrentKey != 0 ? m_hCurrentKey : m_hRootKey;
    if (parent == 0)
        return false;
    HKEY opened = 0;
    Record(Store().OpenKey(parent, subKey, access, &opened));
    if (m_lLastError != ERROR_SUCCESS) {
        m_hCurrentKey = parent;
        return false;
    }
    m_hCurrentKey = opened;
    RefreshKeyInfo();
    std::string name = subKey != nullptr ? std::string(subKey) : std::string();
    m_strSubKey = name;
    m_samAccess = access;
    return m_keyStack.Push(std::make_unique<RegKeyEntry>(opened, std::move(name)));
}

void CRegistry::SetOwnError(LONG code)
{
    m_lLastError = code;
    m_strLastErrorText.clear();
}

void CRegistry::Record(LONG result)
{
    m_lLastError = result;
    if (result == ERROR_SUCCESS) {
        m_strLastErrorText.clear();
        return;
    }
    try {
        m_strLastErrorText = RegistryStore::LastErrorText();
    } catch (...) {
        m_strLastErrorText.clear();  // the code alone still tells what failed
    }
}

void CRegistry::RefreshKeyInfo()
{
    RegKeyInfo info;
    Record(Store().QueryInfoKey(m_hCurrentKey, kClassNameCapacity, info));
    if (m_lLastError != ERROR_SUCCESS)
        return;
    m_strClassName = info.className;
    m_dwSubKeys = info.subKeys;
    m_dwMaxSubKeyLen = info.maxSubKeyLen;
    m_dwMaxClassLen = info.maxClassLen;
    m_dwValues = info.values;
    m_dwMaxValueNameLen = info.maxValueNameLen;
    m_dwMaxValueLen = info.maxValueLen;
    m_dwSecurityDescriptor = info.securityDescriptor;
    m_ftLastWriteTime = info.lastWriteTime;
}

bool CRegistry::CloseKey()
{
    if (m_hCurrentKey == 0) {
        m_hCurrentKey = m_hRootKey;
        m_strSubKey = m_strRootName;
    }
    RegKeyEntry* top = m_keyStack.Peek(0);
    if (top == nullptr)
        return false;
    if (top->m_hKey != m_hCurrentKey && top->m_strName != m_strSubKey)
        return false;
    std::unique_ptr<RegKeyEntry> entry = m_keyStack.Pop();
    entry->Close();
    if (const RegKeyEntry* parent = m_keyStack.Peek(0)) {
        m_hCurrentKey = parent->m_hKey;
        m_strSubKey = parent->m_strName;
    } else {
        m_hCurrentKey = 0;
        m_strSubKey.clear();
    }
    return true;
}

void CRegistry::CloseAllKeys()
{
    while (std::unique_ptr<RegKeyEntry> entry = m_keyStack.Pop())
        entry->Close();
}

bool CRegistry::QueryValue(const char* name, DWORD* type, void* data, DWORD* size)
{
    if (name == nullptr) {
        SetOwnError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DWORD localType = type != nullptr ? *type : REG_NONE;
    Record(Store().QueryValue(m_hCurrentKey, name, &localType, static_cast<std::uint8_t*>(data),
                              size));
    if (m_lLastError != ERROR_SUCCESS)
        return false;
    if (type != nullptr)
        *type = localType;
    return true;
}

bool CRegistry::ReadDword(const char* name, DWORD* value)
{
    if (name == nullptr || value == nullptr) {
        SetOwnError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // Shorter data must not leave stale bytes in the caller's variable.
    std::uint8_t bytes[4] = {0, 0, 0, 0};
    DWORD type = REG_DWORD;
    DWORD size = sizeof bytes;
    if (!QueryValue(name, &type, bytes, &size))
        return false;
    *value = static_cast<DWORD>(bytes[0]) | (static_cast<DWORD>(bytes[1]) << 8) |
             (static_cast<DWORD>(bytes[2]) << 16) | (static_cast<DWORD>(bytes[3]) << 24);
    return true;
}

bool CRegistry::SetValue(const char* name, DWORD type, const void* data, DWORD size)
{
    if (name == nullptr || data == nullptr) {
        SetOwnError(ERROR_INVALID_PARAMETER);
        return false;
    }
    Record(
        Store().SetValue(m_hCurrentKey, name, type, static_cast<const std::uint8_t*>(data), size));
    return m_lLastError == ERROR_SUCCESS;
}

bool CRegistry::WriteDword(const char* name, DWORD value)
{
    if (name == nullptr) {
        SetOwnError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::uint8_t bytes[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return SetValue(name, REG_DWORD, bytes, sizeof bytes);
}

}  // namespace support
