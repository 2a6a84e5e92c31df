#include "core/window_class.h"

ATOM RegisterHiddenWindowClass(HINSTANCE instance, const char *className, WNDPROC procedure)
{
    WNDCLASSA windowClass{};
    windowClass.style = CS_GLOBALCLASS;
    windowClass.lpfnWndProc = procedure;
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

HWND CreateHiddenWindow(HINSTANCE instance, const char *className, const char *title)
{
    return CreateWindowExA(0, className, title, WS_MINIMIZE, 0, 0, 20, 20, nullptr, nullptr, instance, nullptr);
}

bool IsWindowPresent(const char *className, const char *title)
{
    return FindWindowA(className, title) != nullptr;
}

WPARAM RunMessageLoop(WPARAM failureAnswer)
{
    MSG message{};
    for (;;) {
        const BOOL result = GetMessageA(&message, nullptr, 0, 0);
        if (result == 0)
            return message.wParam;
        if (result == -1)
            return failureAnswer;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
