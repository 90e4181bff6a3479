#pragma once
// The settings store's in-memory key tree and its text form: one REGEDIT4
// file per root key, CR LF line ends.
//
// Text form, beyond plain REGEDIT4:
//  - Key names and value names are matched without regard to ASCII case; the
//    stored case is kept.
//  - In quoted names and plain strings, \\ and \" stand for \ and ", and
//    \xHH for one byte. Names use \xHH for control bytes and for bytes that
//    are not part of valid UTF-8, so the file is always valid UTF-8.
//  - A REG_SZ value is written as "text" only when it is exactly its text
//    plus one terminating NUL and the text is printable ASCII or valid UTF-8
//    without control characters; anything else (CR, LF, other control bytes,
//    invalid UTF-8, embedded NULs, a missing NUL) is written as hex(1):..
//    so the exact bytes come back.
//  - A REG_DWORD of exactly 4 bytes is dword:XXXXXXXX (little-endian value);
//    REG_BINARY is hex:..; every other type or size is hex(N):.. with N the
//    type in hexadecimal.
//  - Comment lines ";LastWriteTime=<decimal FILETIME>" and ";Class=<quoted>"
//    inside a section keep a key's last change and class name, which the
//    export format has no place for. Other comments are ignored and are not
//    kept when the file is rewritten.
//
// Hostile files cost no more than their size: keys nest at most kMaxKeyDepth
// levels (a deeper section makes the file unreadable), parsing is linear in
// the file's length, and formatting and freeing a tree use no recursion.

#include "support/RegistryTypes.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace support {

// Levels of keys below a root, as deep as a Windows registry tree may go.
constexpr std::size_t kMaxKeyDepth = 512;

struct RegValue {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
};

struct RegKey {
    RegKey() = default;
    // Frees the whole subtree without recursing once per level.
    ~RegKey();
    RegKey(RegKey&&) = default;
    RegKey& operator=(RegKey&&) = default;

    std::string name;
    std::string className;
    std::uint64_t lastWriteTime = 0;  // FILETIME ticks
    std::map<std::string, std::unique_ptr<RegKey>> subKeys;  // by folded name

    RegKey* FindSubKey(std::string_view keyName) const;
    // Returns the existing subkey of that name or a new, empty one.
    RegKey& AddSubKey(std::string_view keyName, bool* created = nullptr);

    // The values in the order they were first set.
    const std::vector<RegValue>& Values() const { return m_values; }
    const RegValue* FindValue(std::string_view valueName) const;
    // Gives the value of that name (any case) the new type and data, keeping
    // its stored name, or adds it at the end.
    void SetValue(RegValue value);

private:
    std::vector<RegValue> m_values;
    std::unordered_map<std::string, std::size_t> m_valueIndex;  // folded name -> m_values index
};

// ASCII letters folded to lower case; other bytes unchanged.
std::string FoldCase(std::string_view text);

// True when `name` may be a key name: 1..255 bytes, no backslash, no control
// byte, valid UTF-8.
bool IsValidKeyName(std::string_view name);

// The current time as FILETIME ticks.
std::uint64_t FileTimeNow();

// Parses a whole file. Keys without a ;LastWriteTime get `defaultTime`.
// On failure returns false and describes the first fault in `error`. Takes
// time in proportion to the text's length.
bool ParseRegFile(std::string_view text, std::string_view rootName, std::uint64_t defaultTime,
                  RegKey& root, std::string& error);

// The file text for the tree below `root` (whose name is the root's name).
std::string FormatRegFile(const RegKey& root);

}  // namespace support
