#include "port_kind.h"

#include <windows.h>
#include <winnetwk.h>

const char *ClassifyPort(const std::string &port)
{
    if (port.compare(0, 3, "USB") == 0)
        return kPortUsb;
    if (port.compare(0, 2, "\\\\") == 0)
        return kPortNetwork;
    char remote[MAX_PATH];
    DWORD length = sizeof(remote);
    if (WNetGetConnectionA(port.c_str(), remote, &length) == NO_ERROR)
        return kPortRedirected;
    return kPortOther;
}
