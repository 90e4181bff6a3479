#pragma once
// A failed system call as the engine reports it on the diagnostic channel:
// its fixed text first (the one a developer searches for), then what failed,
// on which device, and why (from platform::DescribeFailure).

#include "platform/Diagnostic.h"

#include <string_view>

inline void ReportCallFailure(std::string_view fixedText, std::string_view cause)
{
    platform::OutputDebugString(fixedText);
    platform::OutputDebugString(cause);
}
