// Floor for a client request: a hidden top-level window in a process of its own that
// answers the no-op message, and nothing else. The benchmark sends it the same message
// as the service and compares the round trips.
//
// It also answers the status message the way the design asks for a refresh and no
// more: reset the answer event, wake a worker thread, wait for it to make one library
// call (TovQueryPrinterStatus of the library in this folder) and signal back.
//
//     bench_bare_window.exe "<name of the ready event, and the window's title>"
#include <windows.h>

#include <cstdlib>

#include "core/entry_point.h"
#include "qelapp32/client.h"
#include "tovlib/tov_abi.h"

namespace {

constexpr char kClassName[] = "QelBenchBareWindow";
constexpr DWORD kAnswerWaitMs = 1000;

HANDLE g_askEvent;
HANDLE g_answerEvent;
TovQueryPrinterStatusFn g_queryStatus;

DWORD WINAPI StatusWorker(LPVOID)
{
    for (;;) {
        WaitForSingleObject(g_askEvent, INFINITE);
        BYTE record[kStatusRecordSize] = {};
        DWORD length = 0;
        g_queryStatus(1, 5, kTovAllFlags, record, kStatusRecordSize, &length);
        SetEvent(g_answerEvent);
    }
}

LRESULT AskWorker()
{
    ResetEvent(g_answerEvent);
    SetEvent(g_askEvent);
    WaitForSingleObject(g_answerEvent, kAnswerWaitMs);
    return QEL_STATUS_READY;
}

bool StartStatusWorker()
{
    HMODULE library = LoadLibraryA("QRMTOV.DLL");
    if (library == nullptr)
        return false;
    g_queryStatus = BindEntryPoint<TovQueryPrinterStatusFn>(library, "TovQueryPrinterStatus");
    g_askEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    g_answerEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD threadId = 0;
    return g_queryStatus != nullptr && g_askEvent != nullptr && g_answerEvent != nullptr &&
           CreateThread(nullptr, 0, StatusWorker, nullptr, 0, &threadId) != nullptr;
}

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_QELAPP32_NOOP: return 1;
    case WM_QELAPP32_GETSTATUS: return AskWorker();
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // A windowed program, started like the service; the C runtime splits the command line.
    const int argc = __argc;
    char **argv = __argv;
    if (argc < 2)
        return 2;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = BareWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    if (RegisterClassA(&windowClass) == 0 || !StartStatusWorker())
        return 1;
    // Shaped like the service's main window: top-level, never shown.
    HWND window =
        CreateWindowExA(0, kClassName, argv[1], WS_MINIMIZE, 0, 0, 20, 20, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 1;
    HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, argv[1]);
    SetEvent(ready);
    CloseHandle(ready);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
