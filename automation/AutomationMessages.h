#pragma once
// The messages between the main frame and the automation windows. WM_USER+5
// is also the number of the engine's file-block notice; the frame therefore
// takes a close message only from a window that is really closing, and the
// engine never sends that notice to the frame.

#include "platform/WindowMessage.h"

// wParam 0, lParam 0: the window closed; the frame deletes it.
inline constexpr unsigned WM_AUTOSEND_CLOSED = platform::WM_USER + 4;
inline constexpr unsigned WM_PERIODICSEND_CLOSED = platform::WM_USER + 5;
inline constexpr unsigned WM_AUTORESPONSE_CLOSED = platform::WM_USER + 6;
// wParam 0, lParam 0: "Start"/"End" of the response window was pressed.
inline constexpr unsigned WM_AUTORESPONSE_TOGGLE = platform::WM_USER + 7;
// Frame to response window. wParam 0; the message owns a ReceivedBlock
// (platform::PostOwned), freed with it.
inline constexpr unsigned WM_AUTORESPONSE_BLOCK = platform::WM_USER + 8;
