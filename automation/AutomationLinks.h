#pragma once
// What the main frame lends the automation windows: the document with the
// two stores, the serial line, the echo into the terminal and the frame's
// message target. The windows know the frame, the view and the engine only
// through these.

#include "platform/WindowMessage.h"

#include <functional>

class CTrevane2Doc;
class LineSender;

struct AutomationLinks {
    CTrevane2Doc* doc = nullptr;
    LineSender* line = nullptr;
    // NUL-terminated text in the terminal's character set, appended at the
    // end of the terminal in the sent colour.
    std::function<void(const char* text)> appendSent;
    platform::MessageTarget* frame = nullptr;
};
