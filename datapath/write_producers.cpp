#include "datapath/write_producers.h"

#include "core/instance_state.h"
#include "core/platform.h"
#include "datapath/packet_queue.h"
#include "qelapp32/client.h"

namespace {

void QueueForWriteThread(WORD tag, const void *data, WORD length)
{
    if (QueueAddMessageRetry(&OutboundQueue, data, length, tag))
        ++g_outboundQueued;
}

} // namespace

void PostToWriteThread(WORD tag, const void *data, WORD length)
{
    QueueForWriteThread(tag, data, length);
    SetEvent(g_writeDataEvent);
    // Gives the write thread a moment with the packet before the client sends the next.
    g_platform.Sleep(kPostToWriteThreadPauseMs);
}

void PostEndDocument(WORD tag)
{
    const BYTE endDocument = QEL_DOC_END_BYTE;
    QueueForWriteThread(tag, &endDocument, 1);
    SetEvent(g_writeDataEvent);
}

bool WaitForQueuedRequests()
{
    // Without a write thread nothing queued is ever carried out.
    if (g_writeThread == nullptr)
        return true;
    const DWORD queued = g_outboundQueued.load();
    constexpr int kPolls = static_cast<int>(kQueueRetryAttempts * kQueueRetryIntervalMs / kQueuedRequestsPollMs);
    for (int poll = 0; poll < kPolls; ++poll) {
        if (static_cast<LONG>(g_outboundCarriedOut.load() - queued) >= 0)
            return true;
        g_platform.Sleep(kQueuedRequestsPollMs);
    }
    return false;
}
