// The instance that serves a printer, as the client library finds and opens it, and
// what "QelApp32Hwnd" says when none does.
#pragma once

#include <windows.h>

#include <string>

#include "qelapp32/qelclient.h"

// The library's view of one instance; the process it opened is closed when this goes.
class Instance {
public:
    Instance() : client_() {}
    // A window found by other means (list, check): asked only by messages without buffers.
    Instance(const std::string &printer, HWND window);
    ~Instance() { QelCloseInstance(&client_); }
    Instance(const Instance &) = delete;
    Instance &operator=(const Instance &) = delete;

    QelInstance *Client() { return &client_; }
    const QelInstance *Client() const { return &client_; }
    DWORD ProcessId() const { return client_.processId; }

private:
    QelInstance client_;
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

PublishedWindow ReadPublishedWindow(const std::string &printer);
// The main window of a running instance found as a second start would find it: by class
// and title, whatever is published.
HWND FindInstanceByTitle(const std::string &printer);

// kExitOk, or kExitNoInstance with the reason in *error: "QelApp32Hwnd" missing or 0,
// or a published window that no longer exists or is not an instance's main window.
int LocateInstance(const std::string &printer, Instance *instance, std::string *error);

// SendMessageTimeoutA through the library; false when the window did not answer within
// timeoutMs. *answer is the low 32 bits, the whole answer in either bitness.
bool SendToInstance(const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                    DWORD *answer);
