// A second program on the settings store, for the tests that span processes.
// The store folder comes from KESTRANA_REGISTRY_DIR. Commands:
//   write PATH PREFIX COUNT  set COUNT values PREFIX0.. (one change each)
//   loop PATH                write ever-changing values until killed;
//                            "started" once the first step is stored
//   read PATH NAME           print "reports R found F value V" (a REG_DWORD)

#include "support/Registry.h"
#include "platform/Diagnostic.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace support;

namespace {

// Value "V<n % 20>" of step n: its step (4 bytes, little-endian), then
// n % 500 copies of the step's low byte.
std::vector<std::uint8_t> LoopPattern(DWORD step)
{
    std::vector<std::uint8_t> data(4 + step % 500, static_cast<std::uint8_t>(step));
    for (int i = 1; i < 4; ++i)
        data[i] = static_cast<std::uint8_t>(step >> (8 * i));
    return data;
}

int Write(const char* path, const std::string& prefix, int count)
{
    CRegistry registry;
    if (!registry.CreateKeyByPath(path))
        return 1;
    for (int i = 0; i < count; ++i) {
        const std::string name = prefix + std::to_string(i);
        if (!registry.WriteDword(name.c_str(), static_cast<DWORD>(i)))
            return 2;
    }
    std::printf("done\n");
    return 0;
}

int Loop(const char* path)
{
    CRegistry registry;
    if (!registry.CreateKeyByPath(path))
        return 1;
    DWORD last = 0;
    DWORD step = registry.ReadDword("Last", &last) ? last + 1 : 0;
    bool first = true;
    for (;; ++step) {
        const std::string name = "V" + std::to_string(step % 20);
        const std::vector<std::uint8_t> data = LoopPattern(step);
        if (!registry.SetValue(name.c_str(), REG_BINARY, data.data(), static_cast<DWORD>(data.size())) ||
            !registry.WriteDword("Last", step))
            return 2;
        if (first) {
            std::printf("started\n");
            std::fflush(stdout);
            first = false;
        }
    }
}

int Read(const char* path, const char* name)
{
    int reports = 0;
    platform::SetDiagnosticSink([&reports](std::string_view) { ++reports; });
    CRegistry registry;
    DWORD value = 0;
    const bool found =
        registry.CreateKeyByPath("HKEY_CURRENT_USER") && registry.OpenKey(path, KEY_READ) && registry.ReadDword(name, &value);
    std::printf("reports %d found %d value %u\n", reports, found ? 1 : 0, value);
    platform::SetDiagnosticSink({});
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "write" && argc == 5)
        return Write(argv[2], argv[3], std::atoi(argv[4]));
    if (command == "loop" && argc == 3)
        return Loop(argv[2]);
    if (command == "read" && argc == 4)
        return Read(argv[2], argv[3]);
    std::fprintf(stderr, "usage: registry_child write|loop|read ...\n");
    return 64;
}
