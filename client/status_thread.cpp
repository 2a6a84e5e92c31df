#include "client/status_thread.h"

#include "app/instance_state.h"

DWORD WINAPI StatusThread(LPVOID eventVariable)
{
    HANDLE getStatusEvent = *static_cast<HANDLE *>(eventVariable);
    while (g_statusStop == 0) {
        WaitForSingleObject(getStatusEvent, INFINITE);
        // The status query arrives with the status change.
    }
    return 0;
}
