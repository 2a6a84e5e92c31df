#include "alerts/alert_window_proc.h"

LRESULT CALLBACK AlertWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    // The library's alerts (1524 to 1596) and 2024 are handled by the alert handling change.
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
