#include "client/message_handlers.h"

#include "app/instance_state.h"
#include "app/log.h"
#include "datapath/job_modes.h"
#include "datapath/packet_queue.h"
#include "datapath/write_producers.h"
#include "tovlib/tov_library.h"

LRESULT OnStartDoc(WPARAM printerHandleHigh)
{
    // The end of the previous document, queued by 1131, must reach the library first.
    if (!WaitForQueuedRequests())
        LogError("WM_QELAPP32_STARTDOC: earlier requests still queued after %lu ms\n",
                 static_cast<unsigned long>(kQueueRetryAttempts * kQueueRetryIntervalMs));
    const int modesReset = ResetQELModes(CurrentAppId(), CurrentPrinterHandle(), IsNonBidiMode() ? 0 : 1);
    // The document starts even when the modes could not be switched; the answer tells.
    const DWORD code = g_tov.TovStartDoc(HIWORD(printerHandleHigh), 0, 0);
    if (code != 0) {
        LogError("WM_QELAPP32_STARTDOC: TovStartDoc failed (%Xh)\n", code);
        return 0;
    }
    return modesReset != 0 ? 1 : 0;
}

LRESULT OnEndDoc(WPARAM printerHandleHigh)
{
    // Queued behind the packets sent before it, so the document ends after them.
    PostEndDocument(HIWORD(printerHandleHigh));
    return 1;
}

LRESULT OnOpen()
{
    const WORD appId = CurrentAppId();
    const WORD hPrinter = CurrentPrinterHandle();
    const DWORD code = g_tov.TovOpen(appId, hPrinter, kTovChannelTimeout);
    if (code == 0)
        return 1;
    LogError("WM_QELAPP32_OPEN: TovOpen(%d, %d, %d) failed (%Xh)\n", static_cast<int>(static_cast<SHORT>(appId)),
             static_cast<int>(hPrinter), static_cast<int>(kTovChannelTimeout), code);
    return 0;
}

LRESULT OnClose()
{
    const WORD appId = CurrentAppId();
    const WORD hPrinter = CurrentPrinterHandle();
    const DWORD code = g_tov.TovClose(appId, hPrinter);
    if (code == 0)
        return 1;
    LogError("WM_QELAPP32_CLOSE: TovClose(%d, %d) failed (%Xh)\n", static_cast<int>(static_cast<SHORT>(appId)),
             static_cast<int>(hPrinter), code);
    return 0;
}
