#include "core/log.h"
#include "handlers/message_handlers.h"
#include "tovlib/tov_library.h"

LRESULT OnPing()
{
    DWORD code = g_tov.TovPing(0);
    if (code != 0) {
        LogError("WM_QELAPP32_PING: TovPing failed (%Xh)\n", code);
        return 0;
    }
    return 1;
}

LRESULT OnNoop()
{
    return 1;
}
