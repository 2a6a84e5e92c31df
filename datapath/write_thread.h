// The write thread: the single consumer of the OutboundQueue. A message whose first
// byte is 1 starts a document, 2 ends one, anything else is a packet for the printer
// whose response goes to the InboundQueue for clients.
#pragma once

#include <windows.h>

// Thread start routine; eventVariable is the address of the write-data event's handle.
// Ends when it finds the write stop flag raised, after a wait or after a message.
DWORD WINAPI WriteThread(LPVOID eventVariable);
