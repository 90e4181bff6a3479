#include "support/RegistryStore.h"

#include "platform/Diagnostic.h"
#include "platform/LocalTime.h"
#include "platform/PosixIo.h"
#include "platform/ShutdownRequest.h"
#include "platform/SystemError.h"
#include "platform/UniqueFd.h"
#include "support/FileNames.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

namespace support {
namespace {

constexpr std::array<std::pair<HKEY, std::string_view>, 7> kRoots{{
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
    {HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
    {HKEY_DYN_DATA, "HKEY_DYN_DATA"},
}};

// Why this thread's current call failed (see LastErrorText).
thread_local std::string t_lastFailure;

std::mutex g_noticeMutex;
RegistryStore::NoticeHandler g_noticeHandler;

// A settings file was set aside or is ignored: the user hears of it, and the
// diagnostic channel too.
void Notice(const std::string& text)
{
    platform::OutputDebugString(text);
    RegistryStore::NoticeHandler handler;
    {
        std::lock_guard lock(g_noticeMutex);
        handler = g_noticeHandler;
    }
    if (handler)
        handler(text);
}

// Keeps the described cause of a failure; returns `code` for the caller to
// pass on.
LONG Failed(LONG code, std::string text)
{
    t_lastFailure = std::move(text);
    return code;
}

// The result of a call that an exception ended. Called from a catch block.
LONG ResultOfException() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        t_lastFailure.clear();
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (const std::exception& e) {
        try {
            t_lastFailure = std::string("The settings store failed: ") + e.what();
        } catch (...) {
            t_lastFailure.clear();
        }
    } catch (...) {
        t_lastFailure.clear();
    }
    return ERROR_EXCEPTION_IN_SERVICE;
}

std::string StoreFilePath(const std::string& folder, std::string_view rootName)
{
    return folder + "/" + std::string(rootName) + ".reg";
}

std::uint64_t FileTimeFromTimespec(const timespec& ts)
{
    if (ts.tv_sec < 0)
        return 0;
    return kUnixEpochAsFileTime + static_cast<std::uint64_t>(ts.tv_sec) * 10000000ULL +
           static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

// Holds flock(LOCK_EX) on the store file's lock file while alive. When it
// cannot, the cause is recorded for the calling thread.
class StoreLock {
public:
    explicit StoreLock(const std::string& storePath)
    {
        const std::string lockPath = storePath + ".lock";
        m_fd.reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (!m_fd) {
            t_lastFailure = platform::DescribeLastFailure("Cannot open lock file", lockPath);
            return;
        }
        // A wait for another process's lock ends when the user asks the
        // program to end.
        int rc;
        do {
            rc = ::flock(m_fd.get(), LOCK_EX);
        } while (rc != 0 && errno == EINTR && platform::ShutdownRequested() == 0);
        m_locked = rc == 0;
        if (!m_locked)
            t_lastFailure = platform::DescribeLastFailure("Cannot lock", lockPath);
    }
    bool locked() const { return m_locked; }

private:
    platform::UniqueFd m_fd;  // closing it releases the lock
    bool m_locked = false;
};

// Replaces `path` with `text` so that a crash leaves either version whole.
// The caller holds the store lock, so the fixed temporary name is ours. On
// failure the cause is recorded.
bool ReplaceFile(const std::string& folder, const std::string& path, std::string_view text)
{
    const std::string temporary = path + ".tmp";
    {
        platform::UniqueFd fd(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK,
                   0600));
        if (!fd) {
            t_lastFailure = platform::DescribeLastFailure("Cannot create", temporary);
            return false;
        }
        const bool ok = platform::WriteAll(fd.get(), text) && ::fsync(fd.get()) == 0 &&
                        ::close(fd.release()) == 0;
        if (!ok) {
            t_lastFailure = platform::DescribeLastFailure("Cannot write", temporary);
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        t_lastFailure = platform::DescribeLastFailure("Cannot replace", path);
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable.
    platform::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
    return true;
}

bool SplitSubKey(const char* subKey, std::vector<std::string>& parts, LONG& error)
{
    parts.clear();
    if (subKey == nullptr || *subKey == '\0')
        return true;
    std::string_view rest(subKey);
    if (rest.front() == '\\') {
        error = ERROR_BAD_PATHNAME;
        return false;
    }
    while (!rest.empty()) {
        const std::size_t next = rest.find('\\');
        const std::string_view part = rest.substr(0, next);
        if (part.empty()) {
            error = ERROR_BAD_PATHNAME;
            return false;
        }
        if (!IsValidKeyName(part)) {
            error = ERROR_INVALID_PARAMETER;
            return false;
        }
        parts.emplace_back(part);
        if (next == std::string_view::npos)
            break;
        rest.remove_prefix(next + 1);  // a single trailing backslash is allowed
    }
    return true;
}

RegKey* Walk(RegKey& root, const std::vector<std::string>& path)
{
    RegKey* key = &root;
    for (const std::string& part : path) {
        key = key->FindSubKey(part);
        if (key == nullptr)
            return nullptr;
    }
    return key;
}

DWORD Length(std::size_t size)
{
    return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
}

}  // namespace

RegistryStore& RegistryStore::Instance()
{
    static RegistryStore store;
    return store;
}

std::string RegistryStore::Directory()
{
    if (const char* dir = std::getenv("KESTRANA_REGISTRY_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/')
        return std::string(config) + "/kestrana";
    std::string home;
    if (const char* env = std::getenv("HOME"); env != nullptr && *env != '\0') {
        home = env;
    } else {
        passwd entry{};
        passwd* found = nullptr;
        std::array<char, 4096> buffer{};
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr)
            home = found->pw_dir;
    }
    if (home.empty())
        home = ".";
    return home + "/.config/kestrana";
}

HKEY RegistryStore::PredefinedRootFromName(std::string_view name)
{
    for (const auto& [key, rootName] : kRoots) {
        if (rootName == name)
            return key;
    }
    return 0;
}

std::string_view RegistryStore::PredefinedRootName(HKEY root)
{
    for (const auto& [key, rootName] : kRoots) {
        if (key == root)
            return rootName;
    }
    return {};
}

LONG RegistryStore::Resolve(HKEY key, Handle& handle) const
{
    if (const std::string_view rootName = PredefinedRootName(key); !rootName.empty()) {
        handle = Handle{Directory(), std::string(rootName), {}, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    const auto it = m_handles.find(key);
    if (it == m_handles.end())
        return ERROR_INVALID_HANDLE;
    handle = it->second;
    return ERROR_SUCCESS;
}

HKEY RegistryStore::AddHandle(Handle handle)
{
    while (m_nextHandle == 0 || !PredefinedRootName(m_nextHandle).empty() ||
           m_handles.contains(m_nextHandle))
        ++m_nextHandle;
    const HKEY key = m_nextHandle++;
    m_handles.emplace(key, std::move(handle));
    return key;
}

RegistryStore::ReadOutcome RegistryStore::ReadFile(const std::string& path,
                                                   std::string_view rootName, RegKey& root,
                                                   FileIdentity& identity, std::string& error)
{
    root = RegKey{};
    root.name = std::string(rootName);
    identity.reset();
    // Only a regular file: a pipe or a device in its place would hold
    // start-up for ever.
    std::string failure;
    const platform::UniqueFd fd = platform::OpenRegularFile(path, failure);
    if (!fd) {
        // No file (or no folder) yet: an empty root.
        if (errno == ENOENT || errno == ENOTDIR)
            return ReadOutcome::Ok;
        t_lastFailure = std::move(failure);
        return ReadOutcome::Failed;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        t_lastFailure = platform::DescribeLastFailure("Cannot examine", path);
        return ReadOutcome::Failed;
    }
    std::string text;
    text.resize(static_cast<std::size_t>(info.st_size) + 1);  // one more shows the end
    std::size_t got = 0;
    while (true) {
        if (got == text.size())
            text.resize(text.size() * 2);
        const ssize_t n = platform::ReadRetry(fd.get(), text.data() + got, text.size() - got);
        if (n < 0) {
            t_lastFailure = platform::DescribeLastFailure("Cannot read", path);
            return ReadOutcome::Failed;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    identity = platform::FileIdentity::FromStat(info);
    if (!ParseRegFile(text, rootName, FileTimeFromTimespec(info.st_mtim), root, error))
        return ReadOutcome::Corrupt;
    return ReadOutcome::Ok;
}

// Called with the store lock held.
bool RegistryStore::SetAside(const std::string& path, const std::string& error)
{
    const platform::LocalTime now = platform::GetLocalTime();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, ".corrupt-%04d%02d%02d-%02d%02d%02d", now.year, now.month,
                  now.day, now.hour, now.minute, now.second);
    std::string aside = path + stamp;
    for (int n = 2; !RenameNoReplace(path, aside); ++n) {
        if (errno != EEXIST || n > 1000) {
            t_lastFailure = platform::DescribeLastFailure(
                "Cannot move the unreadable settings file " + path + " aside to", aside);
            Notice("Settings file " + path + " is unreadable (" + error + "); " + t_lastFailure);
            return false;
        }
        aside = path + stamp + "-" + std::to_string(n);
    }
    Notice("Settings file " + path + " is unreadable (" + error + "); kept as " + aside +
           ", starting empty");
    return true;
}

LONG RegistryStore::Current(const Handle& handle, FileState*& state)
{
    const std::string path = StoreFilePath(handle.folder, handle.rootName);
    FileState& file = m_files[path];
    state = &file;
    for (int attempt = 0; attempt < 3; ++attempt) {
        FileIdentity seen = platform::FileIdentity::Of(path);
        if (!seen && errno != ENOENT && errno != ENOTDIR)
            return Failed(ERROR_ACCESS_DENIED,
                          platform::DescribeLastFailure("Cannot examine", path));
        if (file.loaded && file.identity == seen)
            return ERROR_SUCCESS;

        RegKey root;
        FileIdentity identity;
        std::string error;
        const ReadOutcome outcome = ReadFile(path, handle.rootName, root, identity, error);
        if (outcome == ReadOutcome::Failed)
            return ERROR_ACCESS_DENIED;
        if (outcome == ReadOutcome::Ok) {
            file.root = std::move(root);
            file.identity = identity;
            file.loaded = true;
            return ERROR_SUCCESS;
        }
        // Unparseable: move it aside under the lock, unless a writer has
        // replaced it meanwhile; then look again.
        StoreLock lock(path);
        if (!lock.locked()) {
            // Cannot move it: serve an empty root, and say so only once.
            if (!(file.loaded && file.identity == identity))
                Notice("Settings file " + path + " is unreadable (" + error +
                       "); using an empty store (" + t_lastFailure + ")");
            t_lastFailure.clear();
            file.root = RegKey{};
            file.root.name = handle.rootName;
            file.identity = identity;
            file.loaded = true;
            return ERROR_SUCCESS;
        }
        RegKey again;
        FileIdentity againIdentity;
        std::string againError;
        if (ReadFile(path, handle.rootName, again, againIdentity, againError) ==
            ReadOutcome::Corrupt) {
            if (!SetAside(path, againError))
                return ERROR_ACCESS_DENIED;
        }
    }
    return Failed(ERROR_ACCESS_DENIED,
                  "Settings file " + path + " kept changing while it was read");
}

LONG RegistryStore::Modify(const Handle& handle, const Change& change)
{
    const std::string path = StoreFilePath(handle.folder, handle.rootName);
    std::string failure;
    if (!MakeFolders(handle.folder, 0700, "settings folder", failure))
        return Failed(ERROR_ACCESS_DENIED, std::move(failure));
    StoreLock lock(path);
    if (!lock.locked())
        return ERROR_ACCESS_DENIED;

    RegKey root;
    FileIdentity identity;
    std::string error;
    ReadOutcome outcome = ReadFile(path, handle.rootName, root, identity, error);
    if (outcome == ReadOutcome::Corrupt) {
        if (!SetAside(path, error))
            return ERROR_ACCESS_DENIED;
        outcome = ReadFile(path, handle.rootName, root, identity, error);
    }
    if (outcome == ReadOutcome::Corrupt)
        return Failed(ERROR_ACCESS_DENIED, "Settings file " + path + " is unreadable: " + error);
    if (outcome != ReadOutcome::Ok)
        return ERROR_ACCESS_DENIED;

    FileState& file = m_files[path];
    bool changed = false;
    const LONG result = change(root, changed);
    if (result != ERROR_SUCCESS || !changed) {
        file.root = std::move(root);
        file.identity = identity;
        file.loaded = true;
        return result;
    }
    if (!ReplaceFile(handle.folder, path, FormatRegFile(root))) {
        file.loaded = false;  // the change is not in the file; read it again next time
        return ERROR_ACCESS_DENIED;
    }
    file.identity = platform::FileIdentity::Of(path);
    file.loaded = file.identity.has_value();
    if (file.loaded)
        file.root = std::move(root);
    return ERROR_SUCCESS;
}

LONG RegistryStore::ConnectRegistry(const char* computerName, HKEY root, HKEY* result)
try {
    t_lastFailure.clear();
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = 0;
    if (computerName != nullptr && *computerName != '\0')
        return ERROR_BAD_NETPATH;
    const std::string_view rootName = PredefinedRootName(root);
    if (rootName.empty())
        return ERROR_INVALID_HANDLE;
    std::lock_guard guard(m_mutex);
    *result = AddHandle(Handle{Directory(), std::string(rootName), {}, KEY_ALL_ACCESS});
    return ERROR_SUCCESS;
} catch (...) {
    return ResultOfException();
}

LONG RegistryStore::LocateSubKey(HKEY parent, const char* subKey, Handle& handle,
                                 std::vector<std::string>& parts, RegKey*& parentKey)
{
    if (const LONG rc = Resolve(parent, handle); rc != ERROR_SUCCESS)
        return rc;
    LONG error = ERROR_SUCCESS;
    if (!SplitSubKey(subKey, parts, error))
        return error;
    FileState* state = nullptr;
    if (const LONG rc = Current(handle, state); rc != ERROR_SUCCESS)
        return rc;
    parentKey = Walk(state->root, handle.path);
    return parentKey == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

LONG RegistryStore::CreateKey(HKEY parent, const char* subKey, const char* className,
                              DWORD /*options: every key is kept*/, REGSAM access, HKEY* result,
                              DWORD* disposition)
try {
    t_lastFailure.clear();
    if (result == nullptr || subKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = 0;
    std::lock_guard guard(m_mutex);
    Handle handle;
    std::vector<std::string> parts;
    RegKey* parentKey = nullptr;
    if (const LONG rc = LocateSubKey(parent, subKey, handle, parts, parentKey); rc != ERROR_SUCCESS)
        return rc;
    Handle child = handle;
    child.path.insert(child.path.end(), parts.begin(), parts.end());
    child.access = access;
    if (child.path.size() > kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;  // deeper than a settings file may hold

    DWORD outcome = REG_OPENED_EXISTING_KEY;
    if (Walk(*parentKey, parts) == nullptr) {
        if ((handle.access & KEY_CREATE_SUB_KEY) == 0)
            return ERROR_ACCESS_DENIED;
        const LONG rc = Modify(handle, [&](RegKey& root, bool& changed) {
            RegKey* key = Walk(root, handle.path);
            if (key == nullptr)
                return ERROR_KEY_DELETED;
            const std::uint64_t now = FileTimeNow();
            bool created = false;
            for (const std::string& part : parts) {
                RegKey& next = key->AddSubKey(part, &created);
                if (created) {
                    key->lastWriteTime = now;  // a parent changes when it gains a subkey
                    next.lastWriteTime = now;
                    changed = true;
                }
                key = &next;
            }
            if (created) {
                outcome = REG_CREATED_NEW_KEY;
                key->className = className != nullptr ? className : "";
            }
            return ERROR_SUCCESS;
        });
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    *result = AddHandle(std::move(child));
    if (disposition != nullptr)
        *disposition = outcome;
    return ERROR_SUCCESS;
} catch (...) {
    return ResultOfException();
}

LONG RegistryStore::OpenKey(HKEY parent, const char* subKey, REGSAM access, HKEY* result)
try {
    t_lastFailure.clear();
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = 0;
    std::lock_guard guard(m_mutex);
    Handle handle;
    std::vector<std::string> parts;
    RegKey* parentKey = nullptr;
    if (const LONG rc = LocateSubKey(parent, subKey, handle, parts, parentKey); rc != ERROR_SUCCESS)
        return rc;
    if (Walk(*parentKey, parts) == nullptr)
        return ERROR_FILE_NOT_FOUND;
    Handle child = handle;
    child.path.insert(child.path.end(), parts.begin(), parts.end());
    child.access = access;
    *result = AddHandle(std::move(child));
    return ERROR_SUCCESS;
} catch (...) {
    return ResultOfException();
}

LONG RegistryStore::CloseKey(HKEY key)
try {
    t_lastFailure.clear();
    if (!PredefinedRootName(key).empty())
        return ERROR_SUCCESS;
    std::lock_guard guard(m_mutex);
    return m_handles.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
} catch (...) {
    return ResultOfException();
}

LONG RegistryStore::FindForQuery(HKEY key, const RegKey*& found)
{
    Handle handle;
    if (const LONG rc = Resolve(key, handle); rc != ERROR_SUCCESS)
        return rc;
    if ((handle.access & KEY_QUERY_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    FileState* state = nullptr;
    if (const LONG rc = Current(handle, state); rc != ERROR_SUCCESS)
        return rc;
    found = Walk(state->root, handle.path);
    return found != nullptr ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LONG RegistryStore::QueryInfoKey(HKEY key, std::size_t classCapacity, RegKeyInfo& info)
try {
    t_lastFailure.clear();
    std::lock_guard guard(m_mutex);
    const RegKey* found = nullptr;
    if (const LONG rc = FindForQuery(key, found); rc != ERROR_SUCCESS)
        return rc;
    info = RegKeyInfo{};
    info.className = found->className;
    info.subKeys = Length(found->subKeys.size());
    for (const auto& [folded, child] : found->subKeys) {
        info.maxSubKeyLen = std::max(info.maxSubKeyLen, Length(child->name.size()));
        info.maxClassLen = std::max(info.maxClassLen, Length(child->className.size()));
    }
    info.values = Length(found->Values().size());
    for (const RegValue& value : found->Values()) {
        info.maxValueNameLen = std::max(info.maxValueNameLen, Length(value.name.size()));
        info.maxValueLen = std::max(info.maxValueLen, Length(value.data.size()));
    }
    info.lastWriteTime = FileTimeFromUInt64(found->lastWriteTime);
    return info.className.size() >= classCapacity ? ERROR_MORE_DATA : ERROR_SUCCESS;
} catch (...) {
    return ResultOfException();
}

LONG RegistryStore::QueryValue(HKEY key, const char* name, DWORD* type, std::uint8_t* data,
                               DWORD* size)
try {
    t_lastFailure.clear();
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard guard(m_mutex);
    const RegKey* found = nullptr;
    if (const LONG rc = FindForQuery(key, found); rc != ERROR_SUCCESS)
        return rc;
    const RegValue* value = found->FindValue(name != nullptr ? name : "");
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    const DWORD needed = Length(value->data.size());
    if (type != nullptr)
        *type = value->type;
    if (data != nullptr) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed != 0)
            std::memcpy(data, value->data.data(), needed);
    }
    if (size != nullptr)
        *size = needed;
    return ERROR_SUCCESS;
} catch (...) {
    return ResultOfException();
}

LONG RegistryStore::SetValue(HKEY key, const char* name, DWORD type, const std::uint8_t* data,
                             DWORD size)
try {
    t_lastFailure.clear();
    if (data == nullptr && size != 0)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard guard(m_mutex);
    Handle handle;
    if (const LONG rc = Resolve(key, handle); rc != ERROR_SUCCESS)
        return rc;
    if ((handle.access & KEY_SET_VALUE) == 0)
        return ERROR_ACCESS_DENIED;
    RegValue value;
    value.name = name != nullptr ? name : "";
    value.type = type;
    if (size != 0)
        value.data.assign(data, data + size);
    return Modify(handle, [&](RegKey& root, bool& changed) {
        RegKey* found = Walk(root, handle.path);
        if (found == nullptr)
            return ERROR_KEY_DELETED;
        found->SetValue(std::move(value));
        found->lastWriteTime = FileTimeNow();
        changed = true;
        return ERROR_SUCCESS;
    });
} catch (...) {
    return ResultOfException();
}

std::string RegistryStore::LastErrorText() { return t_lastFailure; }

RegistryStore::NoticeHandler RegistryStore::SetNoticeHandler(NoticeHandler handler)
{
    std::lock_guard lock(g_noticeMutex);
    std::swap(g_noticeHandler, handler);
    return handler;
}

}  // namespace support
