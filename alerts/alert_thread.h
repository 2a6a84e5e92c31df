// The alert thread: owns the hidden alert window to which the library posts alerts.
#pragma once

#include <windows.h>

// Thread start routine; eventPointer is the address of the alert-init event's handle,
// signalled once the alert window exists.
DWORD WINAPI AlertThread(LPVOID eventPointer);

ATOM RegisterAlertWindowClass(const char *className, const char *title);

// 1 when the window exists (then g_alertWindow holds it), else 0.
int CreateAlertWindow(const char *className, const char *title);

// Ends the alert thread's loop. Without an alert window there is nothing to end: a post
// to no window would land in the calling thread's own queue.
void PostDestroyToAlertWindow();
