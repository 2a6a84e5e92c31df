// The single-instance test and the hidden main window that clients send requests to.
#pragma once

#include <windows.h>

// The class atom, or 0 when another copy for this printer runs or registration fails.
ATOM InitApplication(HINSTANCE instance, const char *className, const char *title);

// 1 when the main window exists (its handle is then g_mainWindow), else 0.
int CreateMainWindow(HINSTANCE instance, int showCommand, const char *className, const char *title);
