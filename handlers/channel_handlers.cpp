#include "handlers/message_handlers.h"

#include "core/instance_state.h"
#include "core/log.h"
#include "tovlib/tov_library.h"

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
