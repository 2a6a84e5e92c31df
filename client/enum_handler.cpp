#include "client/message_handlers.h"

// Pending: served by the status change.
LRESULT OnEnumPrinter() { return 0; }
