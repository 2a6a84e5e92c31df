#include "client/message_handlers.h"

#include "app/instance_state.h"
#include "config/port_discovery.h"
#include "qelapp32/client.h"

LRESULT OnEnumPrinter()
{
    if (RefreshPrinterPort() == 0)
        return static_cast<LRESULT>(QEL_FAILURE);
    const DWORD answer = (static_cast<DWORD>(CurrentPrinterHandle()) << 16) | (g_printerFlags & 1u);
    return static_cast<LRESULT>(answer);
}
