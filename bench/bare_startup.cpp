// Floor for start-up: a program that does only what any windowed instance must do
// before a client can talk to it (create a hidden window, signal a named event) and
// then ends. With --library it also loads the communication library, resolves its 24
// entry points, pings it and registers with it, as the service does, and ends with the
// time that took, in microseconds, as its exit code: the library's share of start-up.
//
//     bench_bare_startup.exe "<ready event name>" [--library]
#include <windows.h>

#include <cstdlib>

#include <cstring>

#include "tovlib/tov_abi.h"

namespace {

// GetProcAddress's answer as the entry point's own type.
template <typename EntryPoint>
EntryPoint Resolve(HMODULE module, const char *name)
{
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

constexpr char kClassName[] = "QelBenchBareStartup";

constexpr const char *kEntryPoints[] = {
    "TovRegisterApp", "TovUnregisterApp", "TovEnumSpecificPort", "TovEnumByUNC", "TovCaptureAlerts",
    "TovReleaseAlerts", "TovQueryAlerts", "TovQueryPrinterStatus", "TovGetDeviceIDStringEx", "TovSendBidi",
    "TovStartDoc", "TovEndDoc", "TovWrite", "TovWriteUNI", "TovSetJobControlMode", "TovSetJobCancelMode",
    "TovSetEndOfJobMode", "TovOpen", "TovClose", "TovPing", "TovQueryPortType", "TovFlushMWOBuffer",
    "TovStoreData", "TovRetrieveData",
};

// Loads and registers as the service does; false when any step fails.
bool BindAndRegister(HWND window, HMODULE &library, WORD &appId)
{
    library = LoadLibraryA("QRMTOV.DLL");
    if (library == nullptr)
        return false;
    for (const char *name : kEntryPoints) {
        if (GetProcAddress(library, name) == nullptr)
            return false;
    }
    auto ping = Resolve<TovPingFn>(library, "TovPing");
    auto registerApp = Resolve<TovRegisterAppFn>(library, "TovRegisterApp");
    ping(0);
    appId = registerApp(window);
    return (appId & 0x8000) == 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // A windowed program, started like the service; the C runtime splits the command line.
    const int argc = __argc;
    char **argv = __argv;
    if (argc < 2)
        return 2;
    const bool withLibrary = argc > 2 && std::strcmp(argv[2], "--library") == 0;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    if (RegisterClassA(&windowClass) == 0)
        return 1;
    HWND window = CreateWindowExA(0, kClassName, argv[1], WS_MINIMIZE, 0, 0, 20, 20, nullptr, nullptr, instance,
                                  nullptr);
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

    HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, argv[1]);
    SetEvent(ready);
    CloseHandle(ready);

    if (library != nullptr) {
        auto unregisterApp = Resolve<TovUnregisterAppFn>(library, "TovUnregisterApp");
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
