// The write thread: the single consumer of the OutboundQueue.
#pragma once

#include <windows.h>

// Thread start routine; eventVariable is the address of the write-data event's handle.
DWORD WINAPI WriteThread(LPVOID eventVariable);
