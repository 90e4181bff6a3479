#pragma once
// The automation windows' echo: text appended at the end of the terminal in
// the sent colour through the frame's seam. The text comes as Qt holds it and
// goes over in the terminal's character set; a character that set has no
// form for shows as '?'.

#include "text/TextEncoder.h"

#include <QString>

#include <functional>
#include <string>

class TerminalEcho {
public:
    explicit TerminalEcho(std::function<void(const char* text)> appendSent);

    // The bytes Show hands over for `text`, for a text echoed again and again.
    std::string Prepare(const QString& text);
    void Show(const std::string& prepared) const;
    void Show(const QString& text) { Show(Prepare(text)); }

private:
    std::function<void(const char* text)> m_appendSent;
    TextEncoder m_encoder;
};
