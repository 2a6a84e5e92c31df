#include "client/message_handlers.h"

// Pending: served by the data-path change.
LRESULT OnStartDoc(WPARAM) { return 0; }
LRESULT OnEndDoc(WPARAM) { return 0; }
LRESULT OnOpen() { return 0; }
LRESULT OnClose() { return 0; }
