#include "status/status_query.h"

#include <cstring>

#include "config/port_discovery.h"
#include "core/instance_state.h"
#include "core/log.h"
#include "qelapp32/client.h"
#include "tovlib/tov_library.h"

StatusTiming g_statusTiming = {&::GetTickCount, &::WaitForSingleObject};

namespace {

// Answers the library's code; the state is read from the record either way, for the trace.
DWORD QueryPrinterState(DWORD *state)
{
    BYTE record[kStatusRecordSize] = {};
    DWORD length = 0;
    const DWORD code = g_tov.TovQueryPrinterStatus(CurrentAppId(), CurrentPrinterHandle(), kTovAllFlags, record,
                                                   kStatusRecordSize, &length);
    std::memcpy(state, record + kStatusStateOffset, sizeof(*state));
    Trace("TovQueryPrinterStatus: Status %d\n", *state);
    return code;
}

// The printer answers well again after it had to be found anew: the alert window turns
// this into a packet for clients, once per episode.
void EndReEnumerationEpisode()
{
    if (g_reEnumerate.exchange(0) == 0)
        return;
    const HWND alertWindow = g_alertWindow;
    if (alertWindow != nullptr)
        PostMessageA(alertWindow, WM_QELAPP32_PRINTEROK, 0, 0);
}

} // namespace

bool RefreshPrinterStatus(int *usbRequeryCount)
{
    if (g_reEnumerate != 0 && RefreshPrinterPort() == 0)
        return false;
    DWORD state = 0;
    if (QueryPrinterState(&state) != 0)
        return true;
    for (;;) {
        switch (state) {
        case kPrinterIdleAndOkay:
        case kPrinterPrintingAndOkay:
            EndReEnumerationEpisode();
            g_statusWord &= ~kStatusErrorBit;
            return true;
        case kPrinterIdleAndError:
        case kPrinterPrintingAndError:
            // A USB printer may report a passing error; ask again, a limited number of times.
            if (g_portType == kPortUsb && *usbRequeryCount < kUsbRequeryLimit) {
                ++*usbRequeryCount;
                if (QueryPrinterState(&state) != 0)
                    return true;
                continue;
            }
            g_statusWord |= kStatusErrorBit;
            return true;
        default: return true;
        }
    }
}

DWORD TakeStatusAnswer()
{
    // Test and clear in one step: the attention bit is reported exactly once.
    const uint32_t word = g_statusWord.fetch_and(~kStatusAttentionBit);
    if ((word & kStatusAttentionBit) != 0)
        return QEL_STATUS_ATTENTION;
    if ((word & kStatusErrorBit) != 0)
        return QEL_STATUS_ERROR;
    return QEL_STATUS_READY;
}
