#include "app/restart_offer.h"

#include "core/owned.h"
#include "core/platform.h"

namespace {

// On NT a process may restart Windows only with the shutdown privilege enabled in its
// token; without it a user's Yes would do nothing.
void EnableShutdownPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    HandleGuard tokenGuard(token);
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        return;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
}

} // namespace

void OfferWindowsRestart(HWND owner)
{
    if (g_platform.MessageBoxA(owner, kRestartQuestion, "", MB_ICONERROR | MB_YESNO) != IDYES)
        return;
    EnableShutdownPrivilege();
    g_platform.ExitWindowsEx(EWX_REBOOT, 0);
}
