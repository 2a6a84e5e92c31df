#include "handlers/main_window_proc.h"

#include "core/instance_state.h"
#include "core/log.h"
#include "handlers/message_handlers.h"
#include "qelapp32/client.h"

namespace {

bool IsClientRequest(UINT message)
{
    return message >= WM_QELAPP32_ENUMPRINTER && message <= WM_QELAPP32_SENDFILE2 && message != WM_QELAPP32_UNUSED_1138;
}

// The answer each request gives when it fails.
LRESULT FailureAnswer(UINT message)
{
    switch (message) {
    case WM_QELAPP32_ENUMPRINTER:
    case WM_QELAPP32_GETDEVICEID: return static_cast<LRESULT>(QEL_FAILURE);
    case WM_QELAPP32_GETSTATUS: return static_cast<LRESULT>(QEL_STATUS_ERROR);
    default: return 0;
    }
}

// A modal loop of start-up (the restart question) or a request queued behind the end of
// the instance must not reach a library that is not bound yet or about to be released.
LRESULT RefuseOutsideService(UINT message, InstancePhase phase)
{
    LogError("MainWindowProc: message %u refused while the instance is %s\n", message,
             phase == InstancePhase::Starting ? "starting" : "ending");
    return FailureAnswer(message);
}

} // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const InstancePhase phase = g_instancePhase.load();
    if (phase != InstancePhase::Serving && IsClientRequest(message))
        return RefuseOutsideService(message, phase);
    switch (message) {
    case WM_DESTROY: return OnDestroy();
    case WM_POWERBROADCAST: return OnPowerBroadcast(wParam);
    case WM_QELAPP32_ENUMPRINTER: return OnEnumPrinter();
    case WM_QELAPP32_ENDJOB: return OnEndJob(wParam, lParam);
    case WM_QELAPP32_READ: return OnRead(wParam, lParam);
    case WM_QELAPP32_WRITE: return OnWrite(wParam, lParam);
    case WM_QELAPP32_GETSTATUS: return OnGetStatus(lParam);
    case WM_QELAPP32_GETDEVICEID: return OnGetDeviceId(wParam, lParam);
    case WM_QELAPP32_STARTDOC: return OnStartDoc(wParam);
    case WM_QELAPP32_ENDDOC: return OnEndDoc(wParam);
    case WM_QELAPP32_OPEN: return OnOpen();
    case WM_QELAPP32_CLOSE: return OnClose();
    case WM_QELAPP32_SENDFILE: return OnSendFile(message, lParam);
    case WM_QELAPP32_PING: return OnPing();
    case WM_QELAPP32_CAPTUREALERTS: return OnCaptureAlerts();
    case WM_QELAPP32_NOOP: return OnNoop();
    case WM_QELAPP32_STOREDATA: return OnStoreData();
    case WM_QELAPP32_RETRIEVEDATA: return OnRetrieveData();
    case WM_QELAPP32_SENDFILE2: return OnSendFile(message, lParam);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
