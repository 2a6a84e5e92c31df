#include "datapath/write_producers.h"

#include "app/instance_state.h"
#include "app/platform.h"
#include "datapath/packet_queue.h"
#include "qelapp32/client.h"

void PostToWriteThread(WORD tag, const void *data, WORD length)
{
    QueueAddMessageRetry(&OutboundQueue, data, length, tag);
    SetEvent(g_writeDataEvent);
    // Gives the write thread a moment with the packet before the client sends the next.
    g_platform.Sleep(kPostToWriteThreadPauseMs);
}

void PostEndDocument(WORD tag)
{
    const BYTE endDocument = QEL_DOC_END_BYTE;
    QueueAddMessageRetry(&OutboundQueue, &endDocument, 1, tag);
    SetEvent(g_writeDataEvent);
}
