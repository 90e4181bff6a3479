#include "platform/Diagnostic.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace platform {
namespace {

std::mutex g_diagnosticMutex;
DiagnosticSink g_sink;

bool DebugEnabled()
{
    static const bool enabled = [] {
        const char* value = std::getenv("KESTRANA_DEBUG");
        return value != nullptr && *value != '\0' && std::string_view(value) != "0";
    }();
    return enabled;
}

}  // namespace

void OutputDebugString(std::string_view text)
{
    std::lock_guard lock(g_diagnosticMutex);
    if (DebugEnabled()) {
        // One write per text so lines from two threads never interleave.
        std::string line(text);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    if (g_sink)
        g_sink(text);
}

DiagnosticSink SetDiagnosticSink(DiagnosticSink sink)
{
    std::lock_guard lock(g_diagnosticMutex);
    std::swap(g_sink, sink);
    return sink;
}

}  // namespace platform
