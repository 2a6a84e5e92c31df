// Finding the instance that serves a printer, and asking it things.
#pragma once

#include <windows.h>

#include <string>

struct Instance {
    std::string printer;
    HWND window = nullptr;
};

// kExitOk, or kExitNoInstance with the reason in *error: "QelApp32Hwnd" missing or 0,
// or a published window that no longer exists or is not an instance's main window.
int LocateInstance(const std::string &printer, Instance *instance, std::string *error);

// SendMessageTimeoutA; false when the window did not answer within timeoutMs.
bool SendToInstance(const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                    DWORD *answer);

// The id of the process that owns the instance's window, 0 if the window is gone.
DWORD InstanceProcessId(const Instance &instance);
