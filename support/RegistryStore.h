#pragma once
// The settings store: a hierarchical key-value store kept in one REGEDIT4
// text file per root key ("HKEY_CURRENT_USER.reg", ...) in one folder:
// $KESTRANA_REGISTRY_DIR, else $XDG_CONFIG_HOME/kestrana, else
// ~/.config/kestrana (created when first written).
//
// Calls mirror the Windows registry calls and return their result codes.
// Handles stand for key paths. Every call first re-reads a file another
// process has replaced (checked by inode, size and times). Every change is
// written through under an exclusive lock on "<file>.lock": read the current
// file, apply the change, write "<file>.tmp", fsync, rename over the file,
// fsync the folder; so a killed process leaves the old or the new file and
// concurrent processes keep each other's changes. A file that cannot be
// parsed is renamed to "<file>.corrupt-YYYYMMDD-HHMMSS[-N]", reported once
// (to the notice handler and the diagnostic channel), and the root starts
// empty. Only regular files are read: anything else in a file's place fails
// the call with its reason.
//
// A call that fails because of the file system leaves a text naming the file
// or folder and the reason, for the calling thread (LastErrorText).
// ERROR_NOT_ENOUGH_MEMORY means an allocation failed, nothing else.
//
// Safe to call from several threads; one process-wide instance.

#include "support/RegistryFile.h"
#include "support/RegistryTypes.h"

#include "platform/FileIdentity.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace support {

struct RegKeyInfo {
    std::string className;
    DWORD subKeys = 0;
    DWORD maxSubKeyLen = 0;
    DWORD maxClassLen = 0;
    DWORD values = 0;
    DWORD maxValueNameLen = 0;
    DWORD maxValueLen = 0;
    DWORD securityDescriptor = 0;  // the store keeps none
    FILETIME lastWriteTime{};
};

class RegistryStore {
public:
    static RegistryStore& Instance();

    // The folder the store uses now.
    static std::string Directory();
    // The predefined roots by exact name; 0 / "" when not one of them.
    static HKEY PredefinedRootFromName(std::string_view name);
    static std::string_view PredefinedRootName(HKEY root);

    // `computerName` null or empty: this computer. Any other computer is
    // refused with ERROR_BAD_NETPATH.
    LONG ConnectRegistry(const char* computerName, HKEY root, HKEY* result);
    LONG CreateKey(HKEY parent, const char* subKey, const char* className, DWORD options,
                   REGSAM access, HKEY* result, DWORD* disposition);
    LONG OpenKey(HKEY parent, const char* subKey, REGSAM access, HKEY* result);
    LONG CloseKey(HKEY key);
    // ERROR_MORE_DATA when the class name needs `classCapacity` bytes or more.
    LONG QueryInfoKey(HKEY key, std::size_t classCapacity, RegKeyInfo& info);
    // Null `name`: the default value. Null `data`: only type and size.
    LONG QueryValue(HKEY key, const char* name, DWORD* type, std::uint8_t* data, DWORD* size);
    LONG SetValue(HKEY key, const char* name, DWORD type, const std::uint8_t* data, DWORD size);

    // What made this thread's last call fail, e.g. "Cannot create folder
    // /proc/x: No such file or directory"; "" after a success or a failure
    // with no outside cause (a missing key, a bad argument).
    static std::string LastErrorText();

    // Hears, once per file, that a settings file could not be parsed and
    // where it was put (or why it stays): a line for the user. Called on the
    // thread that found it, inside a store call: it must not call the store.
    // Returns the previous handler.
    using NoticeHandler = std::function<void(std::string_view text)>;
    static NoticeHandler SetNoticeHandler(NoticeHandler handler);

private:
    RegistryStore() = default;

    struct Handle {
        std::string folder;
        std::string rootName;
        std::vector<std::string> path;  // below the root
        REGSAM access = KEY_ALL_ACCESS;
    };
    // Empty while there is no file.
    using FileIdentity = std::optional<platform::FileIdentity>;
    struct FileState {
        bool loaded = false;
        FileIdentity identity;
        RegKey root;
    };
    enum class ReadOutcome { Ok, Corrupt, Failed };
    using Change = std::function<LONG(RegKey& root, bool& changed)>;

    LONG Resolve(HKEY key, Handle& handle) const;
    HKEY AddHandle(Handle handle);
    LONG Current(const Handle& handle, FileState*& state);
    // The handle of `parent`, the parts of `subKey` below it, and the parent's
    // key in the file as it is now. Called with m_mutex held.
    LONG LocateSubKey(HKEY parent, const char* subKey, Handle& handle, std::vector<std::string>& parts,
                      RegKey*& parentKey);
    // The key behind a handle that may be read, from the file as it is now.
    // Called with m_mutex held.
    LONG FindForQuery(HKEY key, const RegKey*& found);
    LONG Modify(const Handle& handle, const Change& change);
    ReadOutcome ReadFile(const std::string& path, std::string_view rootName, RegKey& root,
                         FileIdentity& identity, std::string& error);
    bool SetAside(const std::string& path, const std::string& error);

    std::mutex m_mutex;
    std::map<HKEY, Handle> m_handles;
    HKEY m_nextHandle = 1;
    std::map<std::string, FileState> m_files;  // by file path
};

}  // namespace support
