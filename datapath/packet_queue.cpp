#include "datapath/packet_queue.h"

#include <cstring>

#include "core/log.h"
#include "core/owned.h"
#include "core/platform.h"

namespace {

PacketSlot g_inboundSlots[kInboundQueueSlots];
PacketSlot g_outboundSlots[kOutboundQueueSlots];

// Read-only on purpose: a write probe reads each byte and writes it back outside the
// lock, which undoes an index update another thread makes at that moment.
bool IsUsableQueue(const PacketQueue *queue)
{
    return queue != nullptr && !IsBadReadPtr(queue, sizeof(PacketQueue));
}

bool IsFull(const PacketQueue *queue)
{
    return queue->empty == 0 && queue->writeIndex == queue->readIndex;
}

} // namespace

CRITICAL_SECTION g_inboundQueueLock;
CRITICAL_SECTION g_outboundQueueLock;

PacketQueue InboundQueue = {0, 0, 1, kInboundQueueSlots, kInboundQueueSlots - 1, &g_inboundQueueLock, g_inboundSlots};
PacketQueue OutboundQueue = {
    0, 0, 1, kOutboundQueueSlots, kOutboundQueueSlots - 1, &g_outboundQueueLock, g_outboundSlots};

void InitializeQueueLocks()
{
    InitializeCriticalSection(&g_inboundQueueLock);
    InitializeCriticalSection(&g_outboundQueueLock);
}

void DeleteQueueLocks()
{
    DeleteCriticalSection(&g_inboundQueueLock);
    DeleteCriticalSection(&g_outboundQueueLock);
}

int QueueAddMessage(PacketQueue *queue, const void *data, WORD length, WORD tag)
{
    TraceDump(data, length);
    if (!IsUsableQueue(queue)) {
        LogError("QueueAddMessage: Invalid Queue Pointer!\n");
        return 1;
    }
    const CriticalSectionLock lock = LockSection(queue->lock);
    if (IsFull(queue))
        return 0;
    if (length > kQueueMessageSize)
        return 1;
    PacketSlot &slot = queue->slots[queue->writeIndex];
    if (length != 0)
        std::memcpy(slot.data, data, length);
    slot.length = length;
    slot.tag = tag;
    queue->empty = 0;
    queue->writeIndex = static_cast<WORD>((queue->writeIndex + 1) & queue->mask);
    return 1;
}

bool QueueTakeMessage(PacketQueue *queue, void *buffer, WORD maximum, WORD *tagOut, WORD *lengthOut)
{
    *lengthOut = 0;
    if (!IsUsableQueue(queue)) {
        LogError("QueueGetMessage: Invalid Queue Pointer!\n");
        return false;
    }
    const CriticalSectionLock lock = LockSection(queue->lock);
    if (queue->empty)
        return false;
    const PacketSlot &slot = queue->slots[queue->readIndex];
    const WORD copied = maximum < kQueueMessageSize ? maximum : kQueueMessageSize;
    std::memcpy(buffer, slot.data, copied);
    *lengthOut = slot.length;
    if (tagOut != nullptr)
        *tagOut = slot.tag;
    queue->readIndex = static_cast<WORD>((queue->readIndex + 1) & queue->mask);
    if (queue->readIndex == queue->writeIndex)
        queue->empty = 1;
    return true;
}

WORD QueueGetMessage(PacketQueue *queue, void *buffer, WORD maximum, WORD *tagOut)
{
    WORD length = 0;
    QueueTakeMessage(queue, buffer, maximum, tagOut, &length);
    return length;
}

int QueueIsEmpty(const PacketQueue *queue)
{
    if (queue == nullptr)
        return 1;
    // Read without the lock: the write thread only uses it to decide whether to sleep.
    return queue->empty != 0 ? 1 : 0;
}

bool QueueAddMessageRetry(PacketQueue *queue, const void *data, WORD length, WORD tag)
{
    for (int attempt = 0; attempt < kQueueRetryAttempts; ++attempt) {
        if (QueueAddMessage(queue, data, length, tag) != 0)
            return true;
        g_platform.Sleep(kQueueRetryIntervalMs);
    }
    return false;
}
