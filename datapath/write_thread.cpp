#include "datapath/write_thread.h"

#include <array>

#include "core/instance_state.h"
#include "core/log.h"
#include "datapath/job_modes.h"
#include "datapath/packet_queue.h"
#include "qelapp32/client.h"
#include "tovlib/tov_library.h"

namespace {

constexpr DWORD kBidiCommand = 170;

void StartDocument(WORD tag)
{
    ResetQELModes(CurrentAppId(), CurrentPrinterHandle(), IsNonBidiMode() ? 0 : 1);
    // The client's handle stands in for the printer here, as it was queued.
    const DWORD code = g_tov.TovStartDoc(tag, 0, 0);
    if (code != 0)
        LogError("WriteThread: TovStartDoc failed (%Xh)\n", code);
}

void EndDocument()
{
    const DWORD code = g_tov.TovEndDoc(CurrentPrinterHandle(), 0);
    if (code != 0)
        LogError("WriteThread: TovEndDoc failed (%Xh)\n", code);
    SetQELModes(CurrentAppId(), CurrentPrinterHandle());
}

void SendPacket(WORD tag, BYTE *command, WORD length, BYTE *response, DWORD &responseLength)
{
    const DWORD code =
        g_tov.TovSendBidi(CurrentAppId(), tag, 0, kBidiCommand, response, &responseLength, command, length);
    if (code != 0) {
        LogError("WriteThread: TovSendBidi FAILED (%Xh)\n", code);
        return;
    }
    // A length beyond the buffer is a library fault: nothing of it can be trusted, and cut
    // to 16 bits it could pass for a short response.
    if (responseLength == 0 || responseLength > kQueueMessageSize)
        return;
    QueueAddMessageRetry(&InboundQueue, response, static_cast<WORD>(responseLength), 0);
}

} // namespace

DWORD WINAPI WriteThread(LPVOID eventVariable)
{
    HANDLE writeDataEvent = *static_cast<HANDLE *>(eventVariable);
    std::array<BYTE, kQueueMessageSize> command{};
    std::array<BYTE, kQueueMessageSize> response{};
    if (g_writeStop != 0)
        return 0;
    for (;;) {
        if (QueueIsEmpty(&OutboundQueue))
            WaitForSingleObject(writeDataEvent, INFINITE);
        // Messages still queued at shutdown are left behind.
        if (g_writeStop != 0)
            return 0;
        DWORD responseLength = kQueueMessageSize;
        WORD tag = 0;
        WORD length = 0;
        const bool tookMessage = QueueTakeMessage(&OutboundQueue, command.data(), kQueueMessageSize, &tag, &length);
        if (length != 0) {
            TraceDump(command.data(), length);
            switch (command[0]) {
            case QEL_DOC_START_BYTE: StartDocument(tag); break;
            case QEL_DOC_END_BYTE: EndDocument(); break;
            default: SendPacket(tag, command.data(), length, response.data(), responseLength); break;
            }
        }
        if (tookMessage)
            ++g_outboundCarriedOut;
        if (g_writeStop != 0)
            return 0;
    }
}
