#pragma once
// Modal message boxes with an OK button. Code without a user interface reaches
// them through this hook; the application installs the real dialog, tests a
// recorder.

#include <functional>
#include <string_view>

namespace platform {

using MessageBoxHandler = std::function<void(std::string_view text)>;

// Shows `text` and returns once the user has dismissed it.
void ShowMessageBox(std::string_view text);

// Returns the previous handler. Without one, the text goes to standard error.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace platform
