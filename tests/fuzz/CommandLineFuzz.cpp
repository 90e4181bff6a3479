// The program's own command line: NUL bytes separate the arguments. No
// crash, an error always says what was wrong, and what parses is within the
// ranges the program relies on.

#include "FuzzTarget.h"
#include "app/CommandLine.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    CommandLineOptions options;
    std::string error;
    const CommandLineStatus status = ParseCommandLine(args, options, error);
    if (status == CommandLineStatus::Error)
        FUZZ_CHECK(!error.empty());
    if (status == CommandLineStatus::Ok) {
        FUZZ_CHECK(options.tcpPort >= 1 && options.tcpPort <= 65535);
        FUZZ_CHECK(options.historyMemory >= (4u << 20));
        for (const auto& [slot, path] : options.devices)
            FUZZ_CHECK(slot >= 1 && slot <= 8 && !path.empty());
    }
    for (const std::string& arg : args)
        if (auto bytes = ParseMemorySize(arg))
            FUZZ_CHECK(*bytes <= (std::uint64_t(1) << 50));  // no wrap-around
    return 0;
}
