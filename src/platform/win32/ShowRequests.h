// The running window's end of AskRunningInstanceToShow on Windows: the
// window is marked, and a later start sends it ShowRequestMessage().
#pragma once

#include <windows.h>

namespace platform {

// Marks the window that a later start of this user's session brings forward.
void MarkShowTarget(HWND window);
void UnmarkShowTarget(HWND window);  // before the window goes

// The message a later start sends the marked window. The window shows
// itself and answers kShowRequestAnswer (a dialog: as DWLP_MSGRESULT).
UINT ShowRequestMessage();
inline constexpr LRESULT kShowRequestAnswer = 0x50544F;

}  // namespace platform
