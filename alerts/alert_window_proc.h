// The alert window's procedure: turns the library's alerts into packets for clients.
#pragma once

#include <windows.h>

LRESULT CALLBACK AlertWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
