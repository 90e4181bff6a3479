#pragma once
// Posted window messages: the worker threads' only way to reach a window.
// A message is a number and two parameters, delivered in order on the
// receiving object's thread.

#include <cstdint>
#include <memory>

namespace platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr unsigned WM_USER = 0x0400;

// What a message owns (platform/PostedPayload.h): freed with the message,
// whether or not a handler ever sees it.
class MessagePayload {
public:
    virtual ~MessagePayload() = default;
};

class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    // Safe from any thread. Returns false when the message could not be queued.
    virtual bool PostMessage(unsigned message, WPARAM wParam, LPARAM lParam) = 0;
    // The same with a payload the message owns; the handler finds it through
    // its lParam while it runs. A target that takes plain messages only
    // refuses it (false, the payload freed).
    virtual bool PostOwnedMessage(unsigned, WPARAM, std::unique_ptr<MessagePayload>) { return false; }
};

}  // namespace platform
