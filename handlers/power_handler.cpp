#include "config/spooler_probe.h"
#include "core/log.h"
#include "handlers/message_handlers.h"
#include "qelapp32/client.h"

// A suspend in the middle of a queued job would strand it; every other power event is
// only acknowledged, without DefWindowProcA.
LRESULT OnPowerBroadcast(WPARAM powerEvent)
{
    if (powerEvent != PBT_APMQUERYSUSPEND)
        return 0;
    if (GetFirstPrinterJob(kJobProbeAskOnly) == 0)
        return TRUE;
    Trace("WM_POWERBROADCAST: denied system suspend - BROADCAST_QUERY_DENY\n");
    return static_cast<LRESULT>(QEL_BROADCAST_QUERY_DENY);
}
