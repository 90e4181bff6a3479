#pragma once
// Posted window messages: the worker threads' only way to reach a window.
// A message is a number and two parameters, delivered in order on the
// receiving object's thread.

#include <cstdint>

namespace platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr unsigned WM_USER = 0x0400;

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    // Safe from any thread. Returns false when the message could not be queued.
    virtual bool PostMessage(unsigned message, WPARAM wParam, LPARAM lParam) = 0;
};

}  // namespace platform
