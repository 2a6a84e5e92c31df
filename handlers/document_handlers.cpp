#include "handlers/message_handlers.h"

#include "core/instance_state.h"
#include "core/log.h"
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
