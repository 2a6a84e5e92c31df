// The main thread's side of the OutboundQueue: client packets and end-of-document
// requests for the write thread, which keeps them in the order they were queued.
//
//     PostToWriteThread(printerHandle, packet, length); // 1127
//     PostEndDocument(printerHandle);                   // 1131
#pragma once

#include <windows.h>

constexpr DWORD kPostToWriteThreadPauseMs = 40;

// Queues one message with the retry rule, wakes the write thread (also when the message
// was dropped) and pauses 40 ms. length is at most 1024; data must be readable for it.
void PostToWriteThread(WORD tag, const void *data, WORD length);

// Queues the one-byte end-of-document message and wakes the write thread; no pause.
void PostEndDocument(WORD tag);
