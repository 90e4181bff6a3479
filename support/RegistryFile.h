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

#include "support/RegistryTypes.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace support {

struct RegValue {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
};

struct RegKey {
    std::string name;
    std::string className;
    std::uint64_t lastWriteTime = 0;  // FILETIME ticks
    std::vector<RegValue> values;     // in the order they were first set
    std::map<std::string, std::unique_ptr<RegKey>> subKeys;  // by folded name

    RegKey* FindSubKey(std::string_view keyName) const;
    RegValue* FindValue(std::string_view valueName);
    const RegValue* FindValue(std::string_view valueName) const;
    // Returns the existing subkey of that name or a new, empty one.
    RegKey& AddSubKey(std::string_view keyName, bool* created = nullptr);
};

// ASCII letters folded to lower case; other bytes unchanged.
std::string FoldCase(std::string_view text);

// True when `name` may be a key name: 1..255 bytes, no backslash, no control
// byte, valid UTF-8.
bool IsValidKeyName(std::string_view name);

// The current time as FILETIME ticks.
std::uint64_t FileTimeNow();

// Parses a whole file. Keys without a ;LastWriteTime get `defaultTime`.
// On failure returns false and describes the first fault in `error`.
bool ParseRegFile(std::string_view text, std::string_view rootName, std::uint64_t defaultTime,
                  RegKey& root, std::string& error);

// The file text for the tree below `root` (whose name is the root's name).
std::string FormatRegFile(const RegKey& root);

}  // namespace support
