#include "alerts/alert_thread.h"

#include "alerts/alert_window_proc.h"
#include "core/instance_state.h"
#include "core/log.h"
#include "core/window_class.h"
#include "qelapp32/client.h"

ATOM RegisterAlertWindowClass(const char *className, const char *title)
{
    if (IsWindowPresent(className, title))
        return 0;
    return RegisterHiddenWindowClass(g_instance, className, AlertWindowProc);
}

int CreateAlertWindow(const char *className, const char *title)
{
    HWND window = CreateHiddenWindow(g_instance, className, title);
    if (window == nullptr)
        return 0;
    g_alertWindow = window;
    return 1;
}

DWORD WINAPI AlertThread(LPVOID eventPointer)
{
    if (eventPointer == nullptr || IsBadReadPtr(eventPointer, sizeof(HANDLE))) {
        LogError("AlertThread: Invalid Handle Pointer\n");
        return 0;
    }
    if (RegisterAlertWindowClass(QEL_ALERT_WINDOW_CLASS, g_windowTitle) == 0)
        LogError("Error creating Alert Window Class.\n");
    if (!CreateAlertWindow(QEL_ALERT_WINDOW_CLASS, g_windowTitle))
        return 0;
    SetEvent(*static_cast<HANDLE *>(eventPointer));

    return static_cast<DWORD>(RunMessageLoop(static_cast<WPARAM>(-1)));
}

void PostDestroyToAlertWindow()
{
    const HWND alertWindow = g_alertWindow;
    if (alertWindow != nullptr)
        PostMessageA(alertWindow, WM_DESTROY, 0, 0);
}
