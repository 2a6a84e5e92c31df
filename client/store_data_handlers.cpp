#include "client/message_handlers.h"

// Pending: served by the client-interface change.
LRESULT OnStoreData() { return 0; }
LRESULT OnRetrieveData() { return 0; }
