#include "instance.h"

#include "exit_codes.h"
#include "printer_values.h"
#include "qelapp32/client.h"

namespace {

std::string WindowTitle(const std::string &printer)
{
    return QEL_WINDOW_TITLE_PREFIX + printer;
}

} // namespace

bool IsInstanceWindow(HWND window, const std::string &printer)
{
    char className[64] = {};
    char title[300] = {};
    // For another process's window GetWindowTextA reads the stored title and sends
    // nothing, so a hung instance does not hang this test.
    return window != nullptr && IsWindow(window) && GetClassNameA(window, className, sizeof(className)) > 0 &&
           lstrcmpiA(className, QEL_MAIN_WINDOW_CLASS) == 0 && GetWindowTextA(window, title, sizeof(title)) > 0 &&
           lstrcmpiA(title, WindowTitle(printer).c_str()) == 0;
}

HWND FindInstanceByTitle(const std::string &printer)
{
    return FindWindowA(QEL_MAIN_WINDOW_CLASS, WindowTitle(printer).c_str());
}

PublishedWindow ReadPublishedWindow(const std::string &printer)
{
    PublishedWindow published;
    const std::optional<DWORD> value = ReadDriverDword(printer, QEL_VALUE_HWND);
    if (!value)
        return published;
    published.value = *value;
    if (*value == 0) {
        published.state = Publication::Zero;
        return published;
    }
    const HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(*value));
    if (!IsInstanceWindow(window, printer)) {
        published.state = Publication::Stale;
        return published;
    }
    published.state = Publication::Window;
    published.window = window;
    return published;
}

int LocateInstance(const std::string &printer, Instance *instance, std::string *error)
{
    const PublishedWindow published = ReadPublishedWindow(printer);
    switch (published.state) {
    case Publication::Missing:
        *error = "no instance serves printer \"" + printer + "\" (" QEL_VALUE_HWND " is not published)";
        return kExitNoInstance;
    case Publication::Zero:
        *error = "no instance serves printer \"" + printer + "\" (" QEL_VALUE_HWND " is 0)";
        return kExitNoInstance;
    case Publication::Stale:
        *error = "no instance serves printer \"" + printer + "\" (the published window no longer exists)";
        return kExitNoInstance;
    case Publication::Window: break;
    }
    instance->printer = printer;
    instance->window = published.window;
    return kExitOk;
}

bool SendToInstance(const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                    DWORD *answer)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(instance.window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result))
        return false;
    *answer = static_cast<DWORD>(result);
    return true;
}

DWORD InstanceProcessId(const Instance &instance)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(instance.window, &processId);
    return processId;
}
