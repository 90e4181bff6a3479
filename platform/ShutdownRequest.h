#pragma once
// Whether the user has asked the program to end (SIGTERM, SIGINT, SIGHUP).
// The signal handler sets it; start-up steps and long loops that run before
// the event loop look at it, so a request is never lost while nothing reads
// the event loop's signal pipe, and a wait the signal interrupted is not
// simply begun again.

namespace platform {

// Records the request. Safe in a signal handler.
void NoteShutdownRequest(int signalNumber) noexcept;

// The signal that asked for the end, or 0.
int ShutdownRequested() noexcept;

}  // namespace platform
