#include "app/main_window.h"

#include "app/instance_state.h"
#include "app/log.h"
#include "client/main_window_proc.h"

HWND FindRunningCopy(const char *className, const char *title)
{
    return FindWindowA(className, title);
}

ATOM InitApplication(HINSTANCE instance, const char *className, const char *title)
{
    if (FindRunningCopy(className, title) != nullptr) {
        LogError("InitApplication: Found another copy of myself\n");
        return 0;
    }

    WNDCLASSA windowClass{};
    windowClass.style = CS_GLOBALCLASS;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 4;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = className;
    return RegisterClassA(&windowClass);
}

int CreateMainWindow(HINSTANCE instance, int, const char *className, const char *title)
{
    g_instance = instance;
    // Never shown: no WS_VISIBLE and no ShowWindow.
    HWND window = CreateWindowExA(0, className, title, WS_MINIMIZE, 0, 0, 20, 20, nullptr, nullptr, instance,
                                  nullptr);
    if (window == nullptr)
        return 0;
    g_mainWindow = window;
    return 1;
}
