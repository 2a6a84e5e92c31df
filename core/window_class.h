// The class and the window shape shared by both hidden windows of the instance; only
// the class name and the window procedure differ.
#pragma once

#include <windows.h>

ATOM RegisterHiddenWindowClass(HINSTANCE instance, const char *className, WNDPROC procedure);

// Whether a window of the class with the title exists: another copy serves this printer.
bool IsWindowPresent(const char *className, const char *title);

// A 20 by 20 minimised top-level window that is never shown (no WS_VISIBLE, no ShowWindow).
HWND CreateHiddenWindow(HINSTANCE instance, const char *className, const char *title);

// Dispatches the calling thread's messages until WM_QUIT, whose wParam it answers;
// failureAnswer when GetMessageA fails.
WPARAM RunMessageLoop(WPARAM failureAnswer);
