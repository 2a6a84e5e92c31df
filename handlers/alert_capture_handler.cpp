#include "handlers/message_handlers.h"

#include <array>

#include "core/instance_state.h"
#include "core/log.h"
#include "qelapp32/client.h"
#include "tovlib/tov_library.h"

// The alerts the library is asked to post; its bytes mean something to the library only.
constexpr std::array<BYTE, 4> AlertMask = {0x00, 0x05, 0x60, 0x00};

LRESULT OnCaptureAlerts()
{
    // A network printer sends no alerts through the library.
    if (g_portType == kPortNetwork)
        return 1;
    const DWORD code =
        g_tov.TovCaptureAlerts(CurrentAppId(), CurrentPrinterHandle(), AlertMask.data(), g_alertWindow, 0);
    if (code != 0) {
        LogError("WM_QELAPP32_CAPTUREALERTS: TovCaptureAlerts FAILED (%Xh)\n", code);
        return 0;
    }
    return 1;
}
