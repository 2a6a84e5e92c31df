#include "instance.h"

#include <cstring>

#include "exit_codes.h"
#include "printer_values.h"
#include "qelapp32/client.h"

namespace {

bool IsInstanceWindow(HWND window)
{
    char className[64] = {};
    return IsWindow(window) && GetClassNameA(window, className, sizeof(className)) > 0 &&
           std::strcmp(className, QEL_MAIN_WINDOW_CLASS) == 0;
}

} // namespace

int LocateInstance(const std::string &printer, Instance *instance, std::string *error)
{
    const std::optional<DWORD> published = ReadDriverDword(printer, QEL_VALUE_HWND);
    if (!published) {
        *error = "no instance serves printer \"" + printer + "\" (" QEL_VALUE_HWND " is not published)";
        return kExitNoInstance;
    }
    if (*published == 0) {
        *error = "no instance serves printer \"" + printer + "\" (" QEL_VALUE_HWND " is 0)";
        return kExitNoInstance;
    }
    const HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(*published));
    // An instance that crashed leaves its handle behind; the window is then gone, or
    // the number now belongs to some other window.
    if (!IsInstanceWindow(window)) {
        *error = "no instance serves printer \"" + printer + "\" (the published window no longer exists)";
        return kExitNoInstance;
    }
    instance->printer = printer;
    instance->window = window;
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
