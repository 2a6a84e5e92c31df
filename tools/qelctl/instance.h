// Finding the instance that serves a printer, and asking it things.
#pragma once

#include <windows.h>

#include <string>

struct Instance {
    std::string printer;
    HWND window = nullptr;
};

// What "QelApp32Hwnd" says about a printer.
enum class Publication {
    Missing, // no value (never served, or no PrinterDriverData key)
    Zero,    // the last instance ended in order
    Stale,   // names no window, or one that is not this printer's instance window
    Window,  // names the instance's main window
};

struct PublishedWindow {
    Publication state = Publication::Missing;
    DWORD value = 0;
    HWND window = nullptr; // set for Publication::Window
};

// An instance that crashed leaves its value behind; the window is then gone, or the
// number now belongs to some other window. Only a window of the instance's class with
// the title "VODUVI32 PRINTER" counts.
PublishedWindow ReadPublishedWindow(const std::string &printer);
bool IsInstanceWindow(HWND window, const std::string &printer);
// The main window of a running instance found as a second start would find it: by class
// and title, whatever is published.
HWND FindInstanceByTitle(const std::string &printer);

// kExitOk, or kExitNoInstance with the reason in *error: "QelApp32Hwnd" missing or 0,
// or a published window that no longer exists or is not an instance's main window.
int LocateInstance(const std::string &printer, Instance *instance, std::string *error);

// SendMessageTimeoutA; false when the window did not answer within timeoutMs.
bool SendToInstance(const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                    DWORD *answer);

// The id of the process that owns the instance's window, 0 if the window is gone.
DWORD InstanceProcessId(const Instance &instance);
