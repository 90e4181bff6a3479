#pragma once
// Files for the tests: a private folder under /tmp that goes away with the
// object, whole-file reads and writes (logs split at their CR LF line ends),
// and an environment variable or a process-wide hook set for the life of an
// object.

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace testfiles {

class TempDir {
public:
    explicit TempDir(const char* prefix = "kestrana")
    {
        std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Empty when the folder could not be made.
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The lines of a file whose lines end in CR LF; a last piece without its
// line end is kept.
inline std::vector<std::string> ReadLines(const std::string& path)
{
    const std::string text = ReadFile(path);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The names in a folder, sorted.
inline std::vector<std::string> FileNames(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Sets an environment variable while alive, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name.c_str(), m_old->c_str(), 1) : ::unsetenv(m_name.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Sets a process-wide hook with `set`, which hands back the one it replaces,
// while alive; then puts that one back.
template <typename Hook>
class ScopedHook {
public:
    ScopedHook(Hook (*set)(Hook), Hook hook) : m_set(set), m_previous(set(std::move(hook))) {}
    ~ScopedHook() { m_set(std::move(m_previous)); }
    ScopedHook(const ScopedHook&) = delete;
    ScopedHook& operator=(const ScopedHook&) = delete;

private:
    Hook (*m_set)(Hook);
    Hook m_previous;
};

// A settings store of its own: a fresh folder the store is pointed at.
class TempStore {
public:
    const std::string& path() const { return m_dir.path(); }
    std::string File() const { return m_dir.path() + "/HKEY_CURRENT_USER.reg"; }

private:
    TempDir m_dir{"kestrana-store"};
    ScopedEnv m_env{"KESTRANA_REGISTRY_DIR", m_dir.path()};
};

}  // namespace testfiles
