#include "client/message_handlers.h"

// Pending: served by the data-path change.
LRESULT OnSendFile(UINT, LPARAM) { return 0; }
