#include "client/main_window_proc.h"

#include "client/message_handlers.h"
#include "qelapp32/client.h"

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
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
