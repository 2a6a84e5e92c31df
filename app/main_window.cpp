#include "app/main_window.h"

#include "app/instance_state.h"
#include "app/log.h"
#include "app/window_class.h"
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
    return RegisterHiddenWindowClass(instance, className, MainWindowProc);
}

int CreateMainWindow(HINSTANCE instance, int, const char *className, const char *title)
{
    g_instance = instance;
    HWND window = CreateHiddenWindow(instance, className, title);
    if (window == nullptr)
        return 0;
    g_mainWindow = window;
    return 1;
}
