#include "app/lifecycle.h"

#include <array>
#include <initializer_list>

#include "alerts/alert_thread.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/restart_offer.h"
#include "config/printer_registry.h"
#include "config/spooler_probe.h"
#include "core/instance_names.h"
#include "core/instance_state.h"
#include "core/log.h"
#include "core/owned.h"
#include "core/platform.h"
#include "core/window_class.h"
#include "datapath/file_sender.h"
#include "datapath/packet_queue.h"
#include "datapath/write_thread.h"
#include "handlers/client_memory.h"
#include "maintenance/component_check.h"
#include "qelapp32/client.h"
#include "status/status_thread.h"
#include "tovlib/tov_library.h"

namespace {

constexpr DWORD kAlertWindowWaitMs = 4000;
constexpr DWORD kTeardownPauseMs = 500;
constexpr DWORD kWorkerShutdownWaitMs = 500;
constexpr int kStartupFailed = 0;

HANDLE CreateInstanceEvent(const char *format)
{
    char name[kNameBufferSize];
    FormatInstanceName(name, format, g_printerName);
    return CreateEventA(nullptr, FALSE, FALSE, name);
}

// The owner closes it (leaving GetLastError as it was) as it goes out of scope here.
void CloseAndClear(HANDLE &handle)
{
    const HandleGuard owner(handle);
    handle = nullptr;
}

void RaiseStopFlagsAndWakeWorkers()
{
    g_writeStop = 1;
    g_statusStop = 1;
    SetEvent(g_writeDataEvent);
    SetEvent(g_getStatusEvent);
}

// How a failed start-up ends the alert window and lets go of what it made. The design
// leaves the rest to the end of the process: the worker threads' handles, the events not
// listed, the main window and, after a late failure, the loaded library.
struct FailedStartTeardown {
    bool stopWorkers;                       // raise the stop flags and wake the write and status threads
    const WORD *unregisterAppId;            // TovUnregisterApp after the pause, when given
    std::initializer_list<HANDLE *> events; // closed in this order
};

// Posts the alert window its end, waits 500 ms for it, then closes and deletes in the
// design's fixed order. Answers the exit code of a failed start-up.
int TearDownFailedStart(const FailedStartTeardown &teardown)
{
    PostDestroyToAlertWindow();
    if (teardown.stopWorkers)
        RaiseStopFlagsAndWakeWorkers();
    g_platform.Sleep(kTeardownPauseMs);
    if (teardown.unregisterAppId != nullptr)
        g_tov.TovUnregisterApp(*teardown.unregisterAppId);
    g_alertWindow = nullptr;
    for (HANDLE *event : teardown.events)
        CloseAndClear(*event);
    DeleteQueueLocks();
    return kStartupFailed;
}

int TakeCheckOnlyExit()
{
    return CheckComponents() != 0 ? 1 : 0;
}

// Another copy serves this printer, or is still starting. It publishes its own window
// once it serves; writing it here would lead clients to a copy that may never serve.
int TakeAnotherCopyExit()
{
    return GetFirstPrinterJob(kJobProbeAskOnly) != 0 ? 1 : 0;
}

// A failed start leaves no client pointed at its window: a value left by an earlier run
// may hold the same window handle.
int EndFailedStart(int exitCode)
{
    const DWORD ownWindow = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(g_mainWindow));
    DWORD published = 0;
    if (ownWindow != 0 && GetPrinterRegistryDWORD(g_printerName, QEL_VALUE_HWND, &published) && published == ownWindow)
        SetPrinterRegistryDWORD(g_printerName, QEL_VALUE_HWND, 0);
    return exitCode;
}

// Starts the alert thread and waits until its window exists. False means start-up ends;
// a thread that could not be created is not a failure: the instance runs without it.
bool StartAlertThread()
{
    g_alertInitEvent = CreateInstanceEvent(QEL_EVENT_ALERT_INIT_FORMAT);
    if (g_alertInitEvent == nullptr) {
        DeleteQueueLocks();
        LogError("WinMain: Error creating AlertInit Event\n");
        return false;
    }
    DWORD threadId = 0;
    g_alertThread = CreateThread(nullptr, 0, RunAsServiceThread<AlertThread>, &g_alertInitEvent, 0, &threadId);
    if (g_alertThread == nullptr)
        return true;

    const HANDLE waitFor[] = {g_alertInitEvent, g_alertThread};
    switch (WaitForMultipleObjects(2, waitFor, FALSE, kAlertWindowWaitMs)) {
    case WAIT_OBJECT_0: return true;
    case WAIT_OBJECT_0 + 1: break;
    default: TerminateThread(g_alertThread, 0); break;
    }
    CloseAndClear(g_alertThread);
    CloseAndClear(g_alertInitEvent);
    DeleteQueueLocks();
    return false;
}

bool StartWriteThread()
{
    g_writeDataEvent = CreateInstanceEvent(QEL_EVENT_WRITE_DATA_FORMAT);
    if (g_writeDataEvent == nullptr)
        return true;
    DWORD threadId = 0;
    g_writeThread = CreateThread(nullptr, 0, RunAsServiceThread<WriteThread>, &g_writeDataEvent, 0, &threadId);
    if (g_writeThread != nullptr)
        return true;

    LogError("WinMain: WriteThread failed\n");
    TearDownFailedStart({false, nullptr, {&g_writeDataEvent}});
    return false;
}

bool StartStatusThread()
{
    // Both names are needed together, so each has its own buffer.
    char getStatusName[kNameBufferSize];
    char gotStatusName[kNameBufferSize];
    FormatInstanceName(getStatusName, QEL_EVENT_GET_STATUS_FORMAT, g_printerName);
    FormatInstanceName(gotStatusName, QEL_EVENT_GOT_STATUS_FORMAT, g_printerName);
    g_getStatusEvent = CreateEventA(nullptr, FALSE, FALSE, getStatusName);
    if (g_getStatusEvent != nullptr)
        g_gotStatusEvent = CreateEventA(nullptr, FALSE, FALSE, gotStatusName);
    if (g_getStatusEvent == nullptr || g_gotStatusEvent == nullptr)
        return true;
    DWORD threadId = 0;
    g_statusThread = CreateThread(nullptr, 0, RunAsServiceThread<StatusThread>, &g_getStatusEvent, 0, &threadId);
    if (g_statusThread != nullptr)
        return true;

    LogError("WinMain: StatusThread failed\n");
    TearDownFailedStart({false, nullptr, {&g_writeDataEvent, &g_getStatusEvent, &g_gotStatusEvent}});
    return false;
}

// The component check or the binding failed. The write and status threads are not told
// to stop; the process ends with them.
int RunBindingTeardown()
{
    FreeTovLibrary();
    return TearDownFailedStart(
        {false, nullptr, {&g_writeDataEvent, &g_getStatusEvent, &g_gotStatusEvent, &g_initEvent, &g_initCancelEvent}});
}

// A failure after the library was bound; the library stays loaded until the process ends.
int RunLateTeardown()
{
    return TearDownFailedStart({true, nullptr, {&g_writeDataEvent, &g_getStatusEvent}});
}

// As the late teardown, with the registration undone after the pause.
int RunAppIdTeardown(WORD appId)
{
    return TearDownFailedStart({true, &appId, {&g_writeDataEvent, &g_getStatusEvent}});
}

// Binds the library, starts its starter when asked, registers and publishes the
// instance. Answers the exit code of a failed start-up, or -1 when the instance is ready.
int BindRegisterAndPublish()
{
    if (CheckComponents() == 0) {
        SetEvent(g_initCancelEvent);
        OfferWindowsRestart(g_mainWindow);
        return RunBindingTeardown();
    }
    if (!BindTovLibrary())
        return RunBindingTeardown();

    if (g_tov.TovPing(0) == 1 && !StartTovStarterProgram())
        return RunLateTeardown();

    const WORD appId = g_tov.TovRegisterApp(g_alertWindow);
    g_appId = appId;
    const LONG signedAppId = static_cast<SHORT>(appId);
    if ((appId & 0x8000) != 0) {
        LogError("ERROR: TovRegisterApp FAILED <%Xh>\n", signedAppId);
        return RunLateTeardown();
    }

    DWORD nonBidi = 0;
    GetPrinterRegistryDWORD(g_printerName, QEL_VALUE_NON_BIDI, &nonBidi);
    g_nonBidiMode = nonBidi;

    if (!SetPrinterRegistryDWORD(g_printerName, QEL_VALUE_APPID, static_cast<DWORD>(signedAppId))) {
        LogError("WinMain: ERROR: SetPrinterRegistryDWORD(%s, %s, %ld) FAILED.\n", g_printerName, QEL_VALUE_APPID,
                 signedAppId);
        return RunAppIdTeardown(appId);
    }
    // Serving from the moment clients can find the window.
    g_instancePhase = InstancePhase::Serving;
    const LONG windowValue = static_cast<LONG>(reinterpret_cast<LONG_PTR>(g_mainWindow));
    if (!SetPrinterRegistryDWORD(g_printerName, QEL_VALUE_HWND, static_cast<DWORD>(windowValue))) {
        g_instancePhase = InstancePhase::Starting;
        LogError("WinMain: ERROR: SetPrinterRegistryDWORD (%s, %s, %ld) FAILED\n", g_printerName, QEL_VALUE_HWND,
                 windowValue);
        g_tov.TovUnregisterApp(appId);
        return RunLateTeardown();
    }
    SetEvent(g_initEvent);
    return -1;
}

// Waits for the workers that exist; a worker still running after 500 ms is cut off.
void StopWorkerThreads()
{
    std::array<HANDLE, 3> workers{};
    DWORD count = 0;
    for (HANDLE thread : {g_writeThread, g_alertThread, g_statusThread}) {
        if (thread != nullptr)
            workers[count++] = thread;
    }
    if (count != 0 && WaitForMultipleObjects(count, workers.data(), TRUE, kWorkerShutdownWaitMs) == WAIT_TIMEOUT) {
        for (HANDLE thread : {g_alertThread, g_writeThread, g_statusThread}) {
            if (thread != nullptr)
                TerminateThread(thread, 0);
        }
    }
    CloseAndClear(g_alertThread);
    CloseAndClear(g_writeThread);
    CloseAndClear(g_statusThread);
}

void CloseFileSenderHandle()
{
    CloseAndClear(g_senderThread);
}

int ShutDown(WPARAM exitCode)
{
    // However the loop ended, nothing is served any more and no sender outlives the library.
    g_instancePhase = InstancePhase::Ending;
    StopFileSender();
    SetPrinterRegistryDWORD(g_printerName, QEL_VALUE_HWND, 0);
    PostDestroyToAlertWindow();
    RaiseStopFlagsAndWakeWorkers();
    StopWorkerThreads();
    g_alertWindow = nullptr;
    CloseAndClear(g_writeDataEvent);
    CloseAndClear(g_getStatusEvent);
    CloseAndClear(g_gotStatusEvent);
    CloseAndClear(g_initEvent);
    CloseAndClear(g_initCancelEvent);
    CloseAndClear(g_alertInitEvent);
    CloseFileSenderHandle();
    DeleteQueueLocks();
    g_tov.TovUnregisterApp(g_appId);
    FreeTovLibrary();
    if (g_nextJobEvent != nullptr) {
        // The client waits on this event to know the instance is gone: it comes last.
        SetEvent(g_nextJobEvent);
        Trace("hNextJob Event\n");
        CloseAndClear(g_nextJobEvent);
    }
    Trace("WinMain: Exiting QelApp32(%s)\n", g_printerName);
    return static_cast<int>(exitCode);
}

} // namespace

int RunQelApp(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int showCommand)
{
    // Client requests are served on this thread: its stack and its thread block are no client's memory.
    const ServiceThreadRegions mainThreadRegions;
    const char *commandLine = GetCommandLineA();
    TraceLine(1, "QELAPP32: Version x.xx\n");
    Trace("WinMain: Starting QelApp32\n");

    g_printerName = ParseCommandLine(commandLine);
    if (g_printerName == nullptr || g_checkOnly)
        return TakeCheckOnlyExit();
    if (!IsPrinterNameUsable(g_printerName)) {
        LogError("WinMain: printer name longer than %d characters refused\n", static_cast<int>(kMaxPrinterNameLength));
        return kStartupFailed;
    }

    g_instance = instance;
    BuildWindowTitle(g_windowTitle, g_printerName);
    if (previousInstance == nullptr && InitApplication(instance, QEL_MAIN_WINDOW_CLASS, g_windowTitle) == 0)
        return TakeAnotherCopyExit();
    if (!CreateMainWindow(instance, showCommand, QEL_MAIN_WINDOW_CLASS, g_windowTitle))
        return kStartupFailed;

    InitializeQueueLocks();
    if (!StartAlertThread() || !StartWriteThread() || !StartStatusThread())
        return EndFailedStart(kStartupFailed);
    g_initEvent = CreateInstanceEvent(QEL_EVENT_INIT_FORMAT);
    g_initCancelEvent = CreateInstanceEvent(QEL_EVENT_INIT_CANCEL_FORMAT);

    const int startupExit = BindRegisterAndPublish();
    if (startupExit >= 0)
        return EndFailedStart(startupExit);

    return ShutDown(RunMessageLoop(0)); // a failing GetMessageA ends the loop with 0
}
