#pragma once
// A message box's text and detail as one line for standard error, the event
// box and the event log: trailing line ends dropped, the detail after a full
// sentence as it is ("... failed. Cannot listen on ..."), else after ": ".

#include <string>
#include <string_view>

std::string MessageLine(std::string_view text, std::string_view detail);
