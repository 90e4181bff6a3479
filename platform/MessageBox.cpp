#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {
std::mutex g_handlerMutex;
MessageBoxHandler g_handler;
}  // namespace

void ShowMessageBox(std::string_view text, std::string_view detail)
{
    MessageBoxHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_handler;
    }
    if (handler) {
        handler(text, detail);
        return;
    }
    std::fprintf(stderr, "kestrana: %.*s\n", static_cast<int>(text.size()), text.data());
    if (!detail.empty())
        std::fprintf(stderr, "kestrana: %.*s\n", static_cast<int>(detail.size()), detail.data());
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    std::lock_guard lock(g_handlerMutex);
    std::swap(g_handler, handler);
    return handler;
}

}  // namespace platform
