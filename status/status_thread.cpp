#include "status/status_thread.h"

#include "core/instance_state.h"
#include "status/status_query.h"

DWORD WINAPI StatusThread(LPVOID eventVariable)
{
    HANDLE getStatusEvent = *static_cast<HANDLE *>(eventVariable);
    // Counts over the thread's whole life, not per request.
    int usbRequeryCount = 0;
    while (g_statusStop == 0) {
        WaitForSingleObject(getStatusEvent, INFINITE);
        if (g_statusStop != 0)
            break;
        // A failed enumeration leaves got-status unset: a waiting client runs into its
        // time-out and sees the error.
        if (RefreshPrinterStatus(&usbRequeryCount))
            SetEvent(g_gotStatusEvent);
    }
    return 0;
}
