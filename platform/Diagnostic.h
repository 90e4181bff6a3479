#pragma once
// The diagnostic channel: short developer-facing texts. They go to standard
// error as lines when KESTRANA_DEBUG is set; tests can capture them.

#include <functional>
#include <string_view>

namespace platform {

void OutputDebugString(std::string_view text);

using DiagnosticSink = std::function<void(std::string_view)>;

// Installs a sink that receives every text (in addition to standard error).
// Returns the previous sink. Not for use while other threads are writing.
DiagnosticSink SetDiagnosticSink(DiagnosticSink sink);

}  // namespace platform
