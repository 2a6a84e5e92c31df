#include "app/main_window.h"

#include "core/instance_state.h"
#include "core/log.h"
#include "core/window_class.h"
#include "handlers/main_window_proc.h"

ATOM InitApplication(HINSTANCE instance, const char *className, const char *title)
{
    if (IsWindowPresent(className, title)) {
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
