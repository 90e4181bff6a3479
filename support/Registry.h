#pragma once
// CRegistry: walks the settings store like a path. It selects a root key,
// descends into subkeys keeping every key it opened on a stack (closing a key
// returns to its parent) and reads and writes typed values of the current key.
// Every operation records the result code of its last store call; nothing
// throws. Not safe for concurrent use: one object per thread.

#include "support/RegistryTypes.h"

#include <memory>
#include <string>
#include <vector>

namespace support {

// One opened key: its handle and the name it was opened by (the subkey path,
// or the root's name for a root).
struct RegKeyEntry {
    RegKeyEntry(HKEY key, std::string name) : m_hKey(key), m_strName(std::move(name)) {}
    // Closes the handle (when there is one) and forgets it.
    void Close();

    HKEY m_hKey = 0;
    std::string m_strName;
};

// The keys a CRegistry opened, newest on top. Owns its entries.
class CRegKeyStack {
public:
    CRegKeyStack() = default;
    CRegKeyStack(const CRegKeyStack&) = delete;
    CRegKeyStack& operator=(const CRegKeyStack&) = delete;

    // False for a missing entry.
    bool Push(std::unique_ptr<RegKeyEntry> entry);
    // The top entry, or null when empty.
    std::unique_ptr<RegKeyEntry> Pop();
    // The entry `depth` below the top (0 = top), or null.
    RegKeyEntry* Peek(int depth) const;
    // Frees every entry without closing its key.
    void RemoveAll();
    bool IsEmpty() const { return m_nTop < 0; }

    int m_nTop = -1;

private:
    std::vector<std::unique_ptr<RegKeyEntry>> m_entries;
};

class CRegistry {
public:
    CRegistry();
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    virtual const char* GetRuntimeClass() const { return "CRegistry"; }

    // "[\\\\computer\\]ROOT[\\sub\\key]": closes everything, resets, selects the
    // root and creates or opens the subkey path.
    bool CreateKeyByPath(const char* fullPath, DWORD* disposition = nullptr,
                         const char* className = nullptr, DWORD options = 0,
                         REGSAM access = KEY_ALL_ACCESS,
                         const SECURITY_ATTRIBUTES* security = nullptr);
    // Selects a root (computer null = this computer) and pushes it.
    bool Connect(HKEY root, const char* computerName = nullptr);
    // Creates or opens `subKey` below the current key (or the root).
    bool CreateKey(const char* subKey, DWORD* disposition = nullptr,
                   const char* className = nullptr, DWORD options = 0,
                   REGSAM access = KEY_ALL_ACCESS,
                   const SECURITY_ATTRIBUTES* security = nullptr);
    // Opens an existing `subKey` below the current key (or the root).
    bool OpenKey(const char* subKey, REGSAM access = KEY_ALL_ACCESS);
    // Closes the current key; its parent becomes current.
    bool CloseKey();
    void CloseAllKeys();

    // `size`: capacity in, bytes stored (or needed) out. Null `data` asks
    // for the size only.
    bool QueryValue(const char* name, DWORD* type, void* data, DWORD* size);
    bool ReadDword(const char* name, DWORD* value);
    bool SetValue(const char* name, DWORD type, const void* data, DWORD size);
    bool WriteDword(const char* name, DWORD value);

    LONG LastError() const { return m_lLastError; }
    // What caused the last failure, naming the file or folder and the
    // reason; "" when the last call succeeded or its failure had no cause
    // outside the program (a missing key, a bad argument).
    const std::string& LastErrorText() const { return m_strLastErrorText; }

    // Used internally; public for the settings helpers and tests.
    void Reset();
    bool ParsePath(const char* fullPath);
    static HKEY RootKeyFromName(const char* name);
    static const char* RootKeyName(HKEY key);  // "" for a handle not in the table

    CRegKeyStack m_keyStack;
    HKEY m_hCurrentKey = 0;
    HKEY m_hRootKey = 0;
    LONG m_lLastError = 0;
    std::string m_strClassName;
    std::string m_strComputerName;
    std::string m_strSubKey;
    std::string m_strRootName;
    DWORD m_dwSubKeys = 0;
    DWORD m_dwValues = 0;
    DWORD m_dwMaxSubKeyLen = 0;
    DWORD m_dwMaxClassLen = 0;
    DWORD m_dwMaxValueNameLen = 0;
    DWORD m_dwMaxValueLen = 0;
    DWORD m_dwSecurityDescriptor = 0;
    FILETIME m_ftLastWriteTime{};
    REGSAM m_samAccess = KEY_READ;

private:
    std::string m_strLastErrorText;

    // Keeps a store call's result code and, for a failure, its cause.
    void Record(LONG result);
    // A result this class decides itself; it has no outside cause.
    void SetOwnError(LONG code);
    void RefreshKeyInfo();
    void ClearKeyInfo();
    bool CreateKeyUnguarded(const char* subKey, DWORD* disposition, const char* className,
                            DWORD options, REGSAM access, const SECURITY_ATTRIBUTES* security);
    bool OpenKeyUnguarded(const char* subKey, REGSAM access);
    // Undoes a half-done CreateKey or OpenKey and reports error 1064.
    bool FailAfterException(HKEY before);
    bool ConnectUnguarded(HKEY root, const char* computerName);
};

// This computer's name, "" when it cannot be had.
std::string LocalComputerName();

}  // namespace support
