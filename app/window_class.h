// The class and the window shape shared by both hidden windows of the instance; only
// the class name and the window procedure differ.
#pragma once

#include <windows.h>

ATOM RegisterHiddenWindowClass(HINSTANCE instance, const char *className, WNDPROC procedure);

// A 20 by 20 minimised top-level window that is never shown (no WS_VISIBLE, no ShowWindow).
HWND CreateHiddenWindow(HINSTANCE instance, const char *className, const char *title);
