// Settings file parsing, against a plain read of the same file in the same
// run:
//   registry_read_mbps       baseline: reading the file into memory
//   registry_parse_mbps      parsing it (a key of 100,000 values and a value
//                            continued over 200,000 lines, about 5 MB)
//   registry_parse_linearity parse rate of a file four times as large over
//                            the rate above; near 1 when parsing is linear
//   registry_format_mbps     writing the parsed tree back to text
//   registry_save_ms         one value written to a store that holds the
//                            file: read, parse, change, write, sync, rename
// Each figure is the median of five rounds.

#include "bench/BenchFigures.h"
#include "platform/PosixIo.h"
#include "platform/UniqueFd.h"
#include "support/Registry.h"
#include "support/RegistryFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 5;

using bench::Figure;

// Seconds of one run of `work`, median over the rounds.
double MedianSeconds(const std::function<void()>& work)
{
    std::vector<double> times;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// `scale` copies of a key with 100,000 values and a value of 200,000
// continued lines.
std::string MakeFile(int scale)
{
    std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER]\r\n\r\n";
    char line[64];
    for (int k = 0; k < scale; ++k) {
        text += "[HKEY_CURRENT_USER\\Software\\Bench" + std::to_string(k) + "]\r\n";
        for (int i = 0; i < 100000; ++i) {
            std::snprintf(line, sizeof line, "\"Value%d\"=dword:%08x\r\n", i, i);
            text += line;
        }
        text += "\"Long\"=hex:";
        for (int i = 0; i < 200000; ++i) {
            std::snprintf(line, sizeof line, "%02x,%02x%s\r\n", i & 0xff, (i >> 8) & 0xff,
                          i + 1 < 200000 ? ",\\" : "");
            text += line;
            if (i + 1 < 200000)
                text += "  ";
        }
        text += "\r\n";
    }
    return text;
}

std::string ReadWhole(const std::string& path)
{
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0)
        return {};
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = platform::ReadRetry(fd.get(), text.data() + got, text.size() - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return text;
}

bool Parse(const std::string& text, support::RegKey& root)
{
    std::string error;
    if (support::ParseRegFile(text, "HKEY_CURRENT_USER", 0, root, error))
        return true;
    std::fprintf(stderr, "registry_bench: the generated file does not parse: %s\n",
                 error.c_str());
    return false;
}

}  // namespace

int main()
{
    char pattern[] = "/tmp/kestrana-registry-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    const std::string folder = pattern;
    const std::string path = folder + "/HKEY_CURRENT_USER.reg";
    int status = 0;
    {
        const std::string text = MakeFile(1);
        std::ofstream(path, std::ios::binary) << text;
        const double megabytes = static_cast<double>(text.size()) / 1e6;

        std::size_t readBytes = 0;
        const double readSeconds = MedianSeconds([&] { readBytes = ReadWhole(path).size(); });
        if (readBytes != text.size())
            status = 1;

        support::RegKey root;
        bool parsed = true;
        const double parseSeconds = MedianSeconds([&] { parsed = parsed && Parse(text, root); });
        if (!parsed)
            return 1;

        const std::string big = MakeFile(4);
        support::RegKey bigRoot;
        const double bigSeconds = MedianSeconds([&] { parsed = parsed && Parse(big, bigRoot); });
        if (!parsed)
            return 1;
        const double bigRate = static_cast<double>(big.size()) / 1e6 / bigSeconds;

        std::size_t formatted = 0;
        const double formatSeconds =
            MedianSeconds([&] { formatted = support::FormatRegFile(root).size(); });

        setenv("KESTRANA_REGISTRY_DIR", folder.c_str(), 1);
        support::CRegistry registry;
        if (!registry.CreateKeyByPath("HKEY_CURRENT_USER\\Software\\Bench0"))
            return 1;
        unsigned step = 0;
        const double saveSeconds = MedianSeconds([&] {
            if (!registry.WriteDword("Step", ++step))
                status = 1;
        });

        Figure("registry_file_mb", megabytes, "MB");
        Figure("registry_read_mbps", megabytes / readSeconds, "MB/s");
        Figure("registry_parse_mbps", megabytes / parseSeconds, "MB/s");
        Figure("registry_parse_linearity", bigRate / (megabytes / parseSeconds), "ratio");
        Figure("registry_format_mbps", static_cast<double>(formatted) / 1e6 / formatSeconds,
               "MB/s");
        Figure("registry_save_ms", saveSeconds * 1000, "ms");
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
