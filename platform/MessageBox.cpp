#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {
std::mutex g_mutex;
MessageBoxHandler g_handler;
}  // namespace

void ShowMessageBox(std::string_view text)
{
    MessageBoxHandler handler;
    {
        std::lock_guard lock(g_mutex);
        handler = g_handler;
    }
    if (handler) {
        handler(text);
        return;
    }
    std::fprintf(stderr, "kestrana: %.*s\n", static_cast<int>(text.size()), text.data());
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard lock(g_mutex);
    std::swap(g_handler, handler);
    return handler;
}

}  // namespace platform
