#include "client/message_handlers.h"

// Pending: served by the client-interface change.
LRESULT OnPowerBroadcast(WPARAM) { return 0; }
