#include "client/message_handlers.h"

// Pending: served by the status change.
LRESULT OnGetDeviceId(WPARAM, LPARAM) { return 0; }
