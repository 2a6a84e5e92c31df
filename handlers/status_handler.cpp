#include "handlers/message_handlers.h"

#include "core/instance_state.h"
#include "qelapp32/client.h"
#include "status/status_query.h"

namespace {

constexpr DWORD kRefreshIntervalMs = 2000;
constexpr DWORD kLocalWaitMs = 1000;
constexpr DWORD kUsbWaitMs = 3500;
constexpr DWORD kFirstRefreshWaitMs = 5000;
constexpr DWORD kForcedFirstQueryWaitMs = 10000;
constexpr LPARAM kForcedRefresh = static_cast<LPARAM>(QEL_REFRESH_FORCED);
constexpr LPARAM kNoWaitBit = 1;

// Only a printer the library reaches directly is worth waiting for.
bool IsWaitingPortType(uint32_t portType)
{
    return portType == kPortLocal || portType == kPortUsb;
}

bool IsRefreshDue(LPARAM refreshMode)
{
    // Unsigned difference: still right when the tick count wraps around.
    const DWORD elapsed = g_statusTiming.GetTickCount() - g_lastRefreshTick;
    return elapsed > kRefreshIntervalMs || refreshMode == kForcedRefresh;
}

void RequestRefresh(LPARAM refreshMode, DWORD waitMs)
{
    // An answer to an earlier request that no one waited for must not pass for this one.
    ResetEvent(g_gotStatusEvent);
    SetEvent(g_getStatusEvent);
    if (refreshMode == kForcedRefresh && IsWaitingPortType(g_portType)) {
        // A forced refresh gives the first query a long chance, then asks once more.
        g_statusTiming.WaitForSingleObject(g_gotStatusEvent, kForcedFirstQueryWaitMs);
        SetEvent(g_getStatusEvent);
    }
    const bool firstRefresh = g_lastRefreshTick == 0;
    if ((refreshMode & kNoWaitBit) == 0 || firstRefresh) {
        if (firstRefresh)
            waitMs = kFirstRefreshWaitMs;
        // A printer that does not answer in time counts as one in error; so does a wait
        // that fails (no got-status event): nothing was asked, so nothing is known.
        if (IsWaitingPortType(g_portType) &&
            g_statusTiming.WaitForSingleObject(g_gotStatusEvent, waitMs) != WAIT_OBJECT_0)
            g_statusWord |= kStatusErrorBit;
    }
    g_lastRefreshTick = g_statusTiming.GetTickCount();
}

} // namespace

LRESULT OnGetStatus(LPARAM refreshMode)
{
    // The library cannot query a network printer; it always reads as ready.
    const uint32_t portType = g_portType;
    if (portType == kPortNetwork)
        return QEL_STATUS_READY;
    const DWORD waitMs = portType == kPortUsb ? kUsbWaitMs : kLocalWaitMs;
    if (IsRefreshDue(refreshMode))
        RequestRefresh(refreshMode, waitMs);
    return static_cast<LRESULT>(TakeStatusAnswer());
}
