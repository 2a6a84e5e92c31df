// PacketQueue: a fixed ring of messages of up to 1024 bytes, each with a 16-bit tag,
// guarded by its own critical section and living entirely in static storage.
//
//     QueueAddMessageRetry(&OutboundQueue, packet, length, tag);   // producer
//     WORD length = QueueGetMessage(&OutboundQueue, buffer, 1024, &tag); // consumer
#pragma once

#include <windows.h>

#include "qelapp32/client.h"

constexpr WORD kQueueMessageSize = QEL_MAX_MESSAGE_LENGTH;
// Slot counts are powers of two: an index wraps with the mask capacity - 1.
constexpr WORD kInboundQueueSlots = 32;
constexpr WORD kOutboundQueueSlots = 4;
static_assert((kInboundQueueSlots & (kInboundQueueSlots - 1)) == 0, "a power of two");
static_assert((kOutboundQueueSlots & (kOutboundQueueSlots - 1)) == 0, "a power of two");
constexpr int kQueueRetryAttempts = 700;
constexpr DWORD kQueueRetryIntervalMs = 100;

struct PacketSlot {
    WORD tag;
    WORD length;
    BYTE data[kQueueMessageSize];
};

struct PacketQueue {
    WORD writeIndex;
    WORD readIndex;
    volatile LONG empty; // tells an empty ring from a full one when the indexes meet; read unlocked
    WORD capacity;
    WORD mask;
    CRITICAL_SECTION *lock;
    PacketSlot *slots;
};

extern PacketQueue InboundQueue;  // 32 slots: printer replies and alert packets for clients
extern PacketQueue OutboundQueue; // 4 slots: client packets and document requests for the write thread
extern CRITICAL_SECTION g_inboundQueueLock;
extern CRITICAL_SECTION g_outboundQueueLock;

// Start-up initialises both locks before any thread starts, inbound first;
// every exit deletes them in the same order.
void InitializeQueueLocks();
void DeleteQueueLocks();

// 0: the queue is full and nothing was stored. 1: stored, or refused for good
// (invalid queue, length over 1024) and dropped. Producers retry only on 0.
int QueueAddMessage(PacketQueue *queue, const void *data, WORD length, WORD tag);

// The stored length of the message taken out (which can exceed maximum), or 0.
// Copies min(maximum, 1024) bytes whatever the stored length.
WORD QueueGetMessage(PacketQueue *queue, void *buffer, WORD maximum, WORD *tagOut);
// The same, and whether a message was taken at all, decided under the lock: a message of
// length 0 is taken too, and a consumer that counts what it carried out must not miss one
// queued after it last looked.
bool QueueTakeMessage(PacketQueue *queue, void *buffer, WORD maximum, WORD *tagOut, WORD *lengthOut);

int QueueIsEmpty(const PacketQueue *queue);

// Up to 700 attempts, 100 ms apart outside the lock; then the message is dropped
// without a word. Answers true when the message was handed over (or refused for good).
bool QueueAddMessageRetry(PacketQueue *queue, const void *data, WORD length, WORD tag);
