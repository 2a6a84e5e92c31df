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

constexpr DWORD kQueuedRequestsPollMs = 10;

// Waits until the write thread has carried out every message queued so far, polling
// every 10 ms up to the queue's own retry limit (70 s). False when the limit was reached.
// A request that goes to the library directly calls it first, so that it does not
// overtake what the client asked for before it.
bool WaitForQueuedRequests();
