#include "client/message_handlers.h"

// Pending: served by the data-path change.
LRESULT OnRead(WPARAM, LPARAM) { return 0; }
LRESULT OnWrite(WPARAM, LPARAM) { return 0; }
