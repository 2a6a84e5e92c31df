#include "client/message_handlers.h"

// Pending: served by the status change.
LRESULT OnGetStatus(LPARAM) { return 0; }
