#include "handlers/message_handlers.h"

#include <cstring>

#include "core/log.h"
#include "datapath/packet_queue.h"
#include "datapath/write_producers.h"
#include "handlers/client_memory.h"

LRESULT OnRead(WPARAM bufferSize, LPARAM buffer)
{
    const WORD size = LOWORD(bufferSize);
    void *clientBuffer = reinterpret_cast<void *>(buffer);
    // The queue copies min(size, 1024) bytes. Checked before the message is taken out, so
    // a wrong address costs the client this answer and not the message.
    const WORD copied = size < kQueueMessageSize ? size : kQueueMessageSize;
    if (!IsClientRangeWritable(clientBuffer, copied)) {
        LogError("WM_QELAPP32_READ: invalid buffer address %lXh (%u bytes)\n", static_cast<unsigned long>(buffer),
                 static_cast<unsigned>(size));
        return 0;
    }
    return static_cast<LRESULT>(QueueGetMessage(&InboundQueue, clientBuffer, size, nullptr));
}

LRESULT OnWrite(WPARAM handleAndLength, LPARAM data)
{
    const WORD tag = HIWORD(handleAndLength);
    const WORD length = LOWORD(handleAndLength);
    const void *message = reinterpret_cast<const void *>(data);
    // The queue would drop it anyway; refusing here spares reading it and waiting for room.
    if (length > kQueueMessageSize) {
        LogError("WM_QELAPP32_WRITE: message of %u bytes refused (at most %u)\n", static_cast<unsigned>(length),
                 static_cast<unsigned>(kQueueMessageSize));
        return 0;
    }
    if (length != 0 && !IsClientRangeReadable(message, length)) {
        LogError("WM_QELAPP32_WRITE: invalid message address %lXh (%u bytes)\n", static_cast<unsigned long>(data),
                 static_cast<unsigned>(length));
        return 0;
    }
    // Copied now, while the check still holds: the queue may make the post wait up to 70 s
    // for room, and the client may reuse or free its buffer meanwhile.
    BYTE copy[kQueueMessageSize];
    if (length != 0)
        std::memcpy(copy, message, length);
    PostToWriteThread(tag, copy, length);
    return 0;
}
