// The simulator's command line: NUL bytes separate the arguments. No crash,
// and whatever parses is within the ranges the simulator relies on.

#include "FuzzTarget.h"
#include "tools/devsim/Options.h"

#include <cmath>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> words{"kestrana-devsim"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    argv.push_back(nullptr);

    devsim::Options options;
    std::string error;
    const devsim::ParseStatus status =
        devsim::ParseOptions(static_cast<int>(words.size()), argv.data(), options, error);
    if (status == devsim::ParseStatus::Error)
        FUZZ_CHECK(!error.empty());
    if (status == devsim::ParseStatus::Ok) {
        FUZZ_CHECK(std::isfinite(options.lineRate) && options.lineRate > 0);
        if (options.timeLimit)
            FUZZ_CHECK(std::isfinite(*options.timeLimit) && *options.timeLimit > 0);
        for (const devsim::Reply& reply : options.replies)
            FUZZ_CHECK(!reply.request.empty());
    }
    devsim::ParseCount(word);
    if (auto bytes = devsim::ParseHex(word))
        FUZZ_CHECK(bytes->size() <= word.size() / 2);
    return 0;
}
