#pragma once
// Collects the diagnostic channel's texts while alive (from any thread).

#include "platform/Diagnostic.h"
#include "tests/common/TestFiles.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace testdiag {

class DiagnosticCapture {
public:
    std::vector<std::string> texts() const
    {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    int Count(const std::string& text) const
    {
        const std::vector<std::string> all = texts();
        return static_cast<int>(std::count(all.begin(), all.end(), text));
    }
    bool Has(const std::string& text) const { return Count(text) > 0; }

private:
    void Add(std::string_view text)
    {
        std::lock_guard lock(m_mutex);
        m_texts.emplace_back(text);
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_texts;
    testfiles::ScopedHook<platform::DiagnosticSink> m_sink{platform::SetDiagnosticSink,
                                                           [this](std::string_view text) { Add(text); }};
};

}  // namespace testdiag
