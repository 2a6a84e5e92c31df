#include "alerts/alert_thread.h"
#include "core/instance_names.h"
#include "core/instance_state.h"
#include "core/log.h"
#include "core/platform.h"
#include "datapath/file_sender.h"
#include "handlers/message_handlers.h"
#include "qelapp32/client.h"
#include "tovlib/tov_library.h"

namespace {

constexpr DWORD kAlertThreadPauseMs = 500;

} // namespace

LRESULT OnDestroy()
{
    g_instancePhase = InstancePhase::Ending;
    // The sender finishes its current block and its closing steps before the loop ends.
    StopFileSender();
    PostQuitMessage(0);
    return 0;
}

LRESULT OnEndJob(WPARAM appId, LPARAM printerHandleHigh)
{
    // Requests that arrive from now on are refused: the library is about to be released.
    g_instancePhase = InstancePhase::Ending;
    LRESULT result = 1;
    char name[kNameBufferSize];
    FormatInstanceName(name, QEL_EVENT_NEXT_JOB_FORMAT, g_printerName);
    // A second end-job request while the first is ending shares the first one's handle.
    if (g_nextJobEvent == nullptr)
        g_nextJobEvent = OpenEventA(EVENT_ALL_ACCESS, FALSE, name);
    if (g_nextJobEvent == nullptr) {
        LogError("WM_QELAPP32_ENDJOB: Failed to open QELAPP32_READY_FOR_NEXT_JOB event\n");
        result = 0;
    }
    if (g_portType != kPortNetwork && !IsNonBidiMode()) {
        DWORD code = g_tov.TovReleaseAlerts(static_cast<WORD>(appId), HIWORD(printerHandleHigh), 1);
        if (code != 0) {
            // log contract: named after the unregistering it once was, not after 1125
            LogError("WM_QELAPP32_UNREGISTER: TovReleaseAlerts FAILED (%Xh)\n", code);
            result = 0;
        }
    }
    PostDestroyToAlertWindow();
    g_platform.Sleep(kAlertThreadPauseMs);
    SendMessageA(g_mainWindow, WM_DESTROY, 0, 0);
    return result;
}
