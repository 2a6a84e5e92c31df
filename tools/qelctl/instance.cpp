#include "instance.h"

#include "exit_codes.h"

Instance::Instance(const std::string &printer, HWND window) : client_()
{
    lstrcpynA(client_.printerName, printer.c_str(), sizeof(client_.printerName));
    client_.window = window;
    GetWindowThreadProcessId(window, &client_.processId);
}

HWND FindInstanceByTitle(const std::string &printer)
{
    return FindWindowA(QEL_MAIN_WINDOW_CLASS, (QEL_WINDOW_TITLE_PREFIX + printer).c_str());
}

PublishedWindow ReadPublishedWindow(const std::string &printer)
{
    PublishedWindow published;
    if (!QelReadPublishedWindow(printer.c_str(), &published.value))
        return published;
    const HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(published.value));
    if (published.value == 0)
        published.state = Publication::Zero;
    else if (!QelIsInstanceWindow(window, printer.c_str()))
        published.state = Publication::Stale;
    else {
        published.state = Publication::Window;
        published.window = window;
    }
    return published;
}

int LocateInstance(const std::string &printer, Instance *instance, std::string *error)
{
    // A process that cannot be opened still answers the messages without buffers; those
    // with buffers report it themselves.
    const QelResult opened = QelOpenInstance(printer.c_str(), instance->Client());
    if (opened == QEL_OK || (opened == QEL_SYSTEM && instance->Client()->window != nullptr))
        return kExitOk;
    switch (ReadPublishedWindow(printer).state) {
    case Publication::Missing:
        *error = "no instance serves printer \"" + printer + "\" (" QEL_VALUE_HWND " is not published)";
        break;
    case Publication::Zero: *error = "no instance serves printer \"" + printer + "\" (" QEL_VALUE_HWND " is 0)"; break;
    case Publication::Stale:
    case Publication::Window:
        *error = "no instance serves printer \"" + printer + "\" (the published window no longer exists)";
        break;
    }
    return kExitNoInstance;
}

bool SendToInstance(const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                    DWORD *answer)
{
    DWORD_PTR raw = 0;
    if (QelSend(instance.Client(), message, wParam, lParam, timeoutMs, &raw) != QEL_OK)
        return false;
    *answer = QEL_ANSWER(raw);
    return true;
}
