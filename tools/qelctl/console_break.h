// Ctrl+C (and Ctrl+Break, closing the console) ends the commands that run until
// stopped, through a manual-reset event they wait on, instead of killing qelctl
// before it has freed what it placed in the instance or detached from it.
#pragma once

#include <windows.h>

// Installs the handler; the event is set once the user asks to stop.
void CatchConsoleBreak();
HANDLE ConsoleBreakEvent();
bool IsConsoleBreakRequested();
