#include "datapath/write_thread.h"

#include "app/instance_state.h"

DWORD WINAPI WriteThread(LPVOID eventVariable)
{
    HANDLE writeDataEvent = *static_cast<HANDLE *>(eventVariable);
    while (g_writeStop == 0) {
        WaitForSingleObject(writeDataEvent, INFINITE);
        // Draining the OutboundQueue into the library arrives with the data-path change.
    }
    return 0;
}
