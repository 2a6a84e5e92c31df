// Floor for start-up: a program that does only what any windowed instance must do
// before a client can talk to it (create a hidden window, signal a named event) and
// then ends.
//
// With --library it also loads the communication library, resolves its 24 entry
// points, pings it and registers with it, as the service does, and ends with the time
// that took, in microseconds, as its exit code: the library's share of start-up.
//
// With --design it also takes the other steps the design asks of every start, with
// nothing around them: the main class with the arrow cursor after a look for another
// copy, a second thread that creates its own window while the first waits for it, two
// more threads waiting on events, the component files looked for in the system
// directory, one registry value read and two written.
//
// With --wait it does not end: after its event it waits in its message loop until it is
// ended from outside, an idle program to weigh against an idle instance.
//
//     bench_bare_startup.exe "<ready event name>" [--library] [--design] [--wait]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/entry_point.h"
#include "maintenance/component_table.h"
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
    return std::string("System\\CurrentControlSet\\control\\Print\\Printers\\") + name;
}

bool UseRegistry(const std::string &keyPath)
{
    for (int access = 0; access < 3; ++access) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (keyPath + "\\PrinterDriverData").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        DWORD value = 1;
        DWORD size = sizeof(value);
        if (access == 0)
            RegQueryValueExA(key, "NON BIDI MODE", nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
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
    bool withLibrary = false;
    bool withDesign = false;
    bool waitForEnd = false;
    for (int i = 2; i < argc; ++i) {
        withLibrary = withLibrary || std::strcmp(argv[i], "--library") == 0;
        withDesign = withDesign || std::strcmp(argv[i], "--design") == 0;
        waitForEnd = waitForEnd || std::strcmp(argv[i], "--wait") == 0;
    }
    if (withDesign)
        FindWindowA(kClassName, argv[1]);
    HWND window = CreateHiddenWindow(kClassName, argv[1], withDesign);
    if (window == nullptr)
        return 1;

    HMODULE library = nullptr;
    WORD appId = 0xFFFF;
    LARGE_INTEGER frequency{};
    LARGE_INTEGER bindStart{};
    LARGE_INTEGER bindEnd{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&bindStart);
    if (withLibrary && !BindAndRegister(window, library, appId))
        return 1;
    QueryPerformanceCounter(&bindEnd);
    if (withDesign && !TakeDesignSteps(argv[1]))
        return 1;

    HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, argv[1]);
    SetEvent(ready);
    CloseHandle(ready);

    if (withDesign)
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, ScratchKeyPath(argv[1]).c_str());
    if (waitForEnd) {
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
    }
    if (library != nullptr) {
        auto unregisterApp = BindEntryPoint<TovUnregisterAppFn>(library, "TovUnregisterApp");
        unregisterApp(appId);
        FreeLibrary(library);
    }
    DestroyWindow(window);
    if (!withLibrary)
        return 0;
    // At least 2, so that it never reads as success or as the usage error.
    const LONGLONG microseconds = (bindEnd.QuadPart - bindStart.QuadPart) * 1000000 / frequency.QuadPart;
    return static_cast<int>(microseconds < 2 ? 2 : microseconds);
}
