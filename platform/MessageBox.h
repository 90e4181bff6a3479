#pragma once
// Modal message boxes with an OK button. Code without a user interface reaches
// them through this hook; the application installs the real dialog, tests a
// recorder. The text is the fixed one a person expects; the detail, when
// there is one, says which device or file and why.

#include <functional>
#include <string_view>

namespace platform {

using MessageBoxHandler = std::function<void(std::string_view text, std::string_view detail)>;

// Shows `text` (and `detail` where given) and returns once it is dismissed.
void ShowMessageBox(std::string_view text, std::string_view detail = {});

// Returns the previous handler. Without one, both go to standard error.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace platform
