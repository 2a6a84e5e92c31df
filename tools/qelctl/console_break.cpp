#include "console_break.h"

namespace {

HANDLE g_breakEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD)
{
    SetEvent(g_breakEvent);
    return TRUE; // handled: the command ends on its own
}

} // namespace

void CatchConsoleBreak()
{
    if (g_breakEvent != nullptr)
        return;
    g_breakEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

HANDLE ConsoleBreakEvent()
{
    return g_breakEvent;
}

bool IsConsoleBreakRequested()
{
    return g_breakEvent != nullptr && WaitForSingleObject(g_breakEvent, 0) == WAIT_OBJECT_0;
}
