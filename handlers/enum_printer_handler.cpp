#include "handlers/message_handlers.h"

#include "config/port_discovery.h"
#include "core/instance_state.h"
#include "qelapp32/client.h"

LRESULT OnEnumPrinter()
{
    if (RefreshPrinterPort() == 0)
        return static_cast<LRESULT>(QEL_FAILURE);
    return static_cast<LRESULT>(CurrentHandleAndFlagBit());
}
