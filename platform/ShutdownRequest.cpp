#include "platform/ShutdownRequest.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only use a lock-free flag");

}  // namespace

void NoteShutdownRequest(int signalNumber) noexcept { g_signal.store(signalNumber); }

int ShutdownRequested() noexcept { return g_signal.load(); }


}  // namespace platform
