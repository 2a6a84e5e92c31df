// The status thread: queries the printer's state when the main thread asks for it.
#pragma once

#include <windows.h>

// Thread start routine; eventVariable is the address of the get-status event's handle.
DWORD WINAPI StatusThread(LPVOID eventVariable);
