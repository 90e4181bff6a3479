#pragma once
// The value types, access rights, root handles and result codes of the
// settings store, with the numbers Windows code expects.

#include <cstdint>

namespace support {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using REGSAM = std::uint32_t;

// An open key. Opaque: either one of the predefined roots below or a handle
// the store gave out. 0 means "no key".
using HKEY = std::uintptr_t;

// 100-nanosecond intervals since 1601-01-01 UTC, split in two halves.
struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

constexpr std::uint64_t FileTimeToUInt64(FILETIME ft)
{
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// 1970-01-01 in 100 ns ticks since 1601-01-01.
inline constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

constexpr FILETIME FileTimeFromUInt64(std::uint64_t value)
{
    return FILETIME{static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

// Accepted for signature compatibility; the store keeps no security data.
struct SECURITY_ATTRIBUTES {
    DWORD nLength = 0;
    void* lpSecurityDescriptor = nullptr;
    int bInheritHandle = 0;
};

// Predefined roots.
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;
constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004u;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;
constexpr HKEY HKEY_DYN_DATA = 0x80000006u;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Key options and dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Result codes.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;         // key or value missing
constexpr LONG ERROR_ACCESS_DENIED = 5;          // store not writable, or handle lacks the right
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;     // the store could not allocate
constexpr LONG ERROR_BAD_NETPATH = 53;           // any remote computer: the store is local only
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_BAD_PATHNAME = 161;         // subkey path with an empty component
constexpr LONG ERROR_MORE_DATA = 234;            // caller's buffer too small
constexpr LONG ERROR_KEY_DELETED = 1018;         // handle's key vanished from the store
constexpr LONG ERROR_EXCEPTION_IN_SERVICE = 1064;

}  // namespace support
