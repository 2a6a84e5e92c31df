// Floor for start-up: a program that takes the design's start-up steps with nothing
// around them, then signals a named event and ends: the look for another copy, the main
// class with the arrow cursor and a hidden window, the communication library loaded, its
// 24 entry points resolved, pinged and registered with, a second thread that creates
// its own window while the first waits for it, two more threads waiting on events, the
// component files looked for in the system directory, one registry value read and two
// written.
//
// With --wait it does not end: after its event it waits in its message loop until it is
// ended from outside, an idle program with the design's threads to weigh an idle
// instance against.
//
//     bench_bare_startup.exe "<ready event name>" [--wait]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/entry_point.h"
#include "maintenance/component_table.h"
#include "qelapp32/client.h"
#include "tovlib/tov_abi.h"

namespace {

constexpr char kClassName[] = "QelBenchBareStartup";
constexpr char kSecondClassName[] = "QelBenchBareStartupSecond";
constexpr DWORD kSecondWindowWaitMs = 4000;

// Loads and registers as the service does; false when any step fails.
bool BindAndRegister(HWND window, HMODULE &library, WORD &appId)
{
    library = LoadLibraryA("QRMTOV.DLL");
    if (library == nullptr)
        return false;
    for (const char *name : kTovEntryPointNames) {
        if (BindEntryPoint<FARPROC>(library, name) == nullptr)
            return false;
    }
    auto ping = BindEntryPoint<TovPingFn>(library, "TovPing");
    auto registerApp = BindEntryPoint<TovRegisterAppFn>(library, "TovRegisterApp");
    ping(0);
    appId = registerApp(window);
    return (appId & 0x8000) == 0;
}

HWND CreateHiddenWindow(const char *className, const char *title, bool withCursor)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    if (withCursor) {
        windowClass.style = CS_GLOBALCLASS;
        windowClass.cbWndExtra = 4;
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    }
    if (RegisterClassA(&windowClass) == 0)
        return nullptr;
    return CreateWindowExA(0, className, title, WS_MINIMIZE, 0, 0, 20, 20, nullptr, nullptr, windowClass.hInstance,
                           nullptr);
}

DWORD WINAPI RunSecondWindow(LPVOID readyEvent)
{
    if (CreateHiddenWindow(kSecondClassName, "second", true) == nullptr)
        return 1;
    SetEvent(static_cast<HANDLE>(readyEvent));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

DWORD WINAPI WaitOnEvent(LPVOID event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

bool StartThread(LPTHREAD_START_ROUTINE routine, HANDLE event)
{
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, routine, event, 0, &threadId);
    if (thread == nullptr)
        return false;
    CloseHandle(thread);
    return true;
}

void LookForComponentFiles()
{
    char directory[MAX_PATH];
    const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
    for (const ComponentRow &row : kComponentTable) {
        char path[MAX_PATH + 16];
        char backup[MAX_PATH + 20];
        std::snprintf(path, sizeof(path), "%.*s%s", static_cast<int>(length), directory, row.component);
        OFSTRUCT openInfo{};
        if (OpenFile(path, &openInfo, OF_EXIST) == HFILE_ERROR) {
            std::snprintf(backup, sizeof(backup), "%.*s%s", static_cast<int>(length), directory, row.backup);
            CopyFileA(backup, path, FALSE);
        }
    }
}

std::string ScratchKeyPath(const char *name)
{
    return std::string(QEL_PRINTERS_KEY_PREFIX) + name;
}

bool UseRegistry(const std::string &keyPath)
{
    for (int access = 0; access < 3; ++access) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (keyPath + QEL_DRIVER_DATA_SUFFIX).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        DWORD value = 1;
        DWORD size = sizeof(value);
        if (access == 0)
            RegQueryValueExA(key, QEL_VALUE_NON_BIDI, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
        else
            RegSetValueExA(key, access == 1 ? "BenchAppId" : "BenchHwnd", 0, REG_DWORD,
                           reinterpret_cast<const BYTE *>(&value), sizeof(value));
        RegCloseKey(key);
    }
    return true;
}

// The design's own steps between the main window and the init event.
bool TakeDesignSteps(const char *name)
{
    HANDLE secondReady = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD threadId = 0;
    HANDLE second = CreateThread(nullptr, 0, RunSecondWindow, secondReady, 0, &threadId);
    if (second == nullptr)
        return false;
    const HANDLE waitFor[] = {secondReady, second};
    if (WaitForMultipleObjects(2, waitFor, FALSE, kSecondWindowWaitMs) != WAIT_OBJECT_0)
        return false;
    HANDLE writeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE statusEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!StartThread(WaitOnEvent, writeEvent) || !StartThread(WaitOnEvent, statusEvent))
        return false;
    CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CreateEventA(nullptr, FALSE, FALSE, nullptr);
    LookForComponentFiles();
    return UseRegistry(ScratchKeyPath(name));
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // A windowed program, started like the service; the C runtime splits the command line.
    const int argc = __argc;
    char **argv = __argv;
    if (argc < 2)
        return 2;
    const bool waitForEnd = argc > 2 && std::strcmp(argv[2], "--wait") == 0;
    FindWindowA(kClassName, argv[1]);
    HWND window = CreateHiddenWindow(kClassName, argv[1], true);
    HMODULE library = nullptr;
    WORD appId = 0xFFFF;
    if (window == nullptr || !BindAndRegister(window, library, appId) || !TakeDesignSteps(argv[1]))
        return 1;

    HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, argv[1]);
    SetEvent(ready);
    CloseHandle(ready);

    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ScratchKeyPath(argv[1]).c_str());
    if (waitForEnd) {
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
    }
    BindEntryPoint<TovUnregisterAppFn>(library, "TovUnregisterApp")(appId);
    FreeLibrary(library);
    DestroyWindow(window);
    return 0;
}
