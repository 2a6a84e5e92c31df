#include "config/port_discovery.h"

#include <atomic>
#include <cstring>

#include "config/printer_registry.h"
#include "core/instance_state.h"
#include "core/log.h"
#include "core/owned.h"
#include "core/platform.h"
#include "qelapp32/client.h"
#include "tovlib/tov_library.h"

namespace {

// log contract: a failed read of "Port" is logged under this name, as it always was.
constexpr char kPortNameLabel[] = "QelApp32PortName";

// The main, status and alert threads may all enumerate at once. The record, its mirrors
// and the port name change together under this lock; it is held for a copy only, never
// across a library call, so an enumeration never waits for another.
SRWLOCK g_portStateLock = SRWLOCK_INIT;

// Records delivered to EnumPrinterCallback so far: tells whether an enumeration found
// anything in this run, rather than leaving a record of an earlier one.
std::atomic<DWORD> g_recordsDelivered{0};

// Reads "Port" from the printer's own key. name comes in holding the port name as last
// read, so that a failed read shows the buffer as it stands; it leaves NUL-terminated
// within its 260 bytes whatever the value held.
bool ReadPortValue(char *name, DWORD *size)
{
    *size = kNameBufferSize;
    char path[kNameBufferSize];
    RegistryKeyGuard key;
    // Opened, never created: a mistyped printer name must not leave a phantom printer key.
    const bool opened = g_printerName != nullptr && BuildPrinterKeyPath(path, g_printerName, "") &&
                        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.Receive()) == ERROR_SUCCESS;
    LONG result = ERROR_INVALID_HANDLE;
    if (opened)
        result = RegQueryValueExA(key.Get(), QEL_VALUE_PORT, nullptr, nullptr, reinterpret_cast<BYTE *>(name), size);
    // The type is not checked, and a string value need not carry its terminator.
    if (result == ERROR_SUCCESS && *size < kNameBufferSize)
        name[*size] = '\0';
    name[kNameBufferSize - 1] = '\0';
    return result == ERROR_SUCCESS;
}

// Rewrites the shared name only when the port really changed: the file sender may be
// handing it to the library right now.
void StorePortName(const char *name)
{
    AcquireSRWLockExclusive(&g_portStateLock);
    if (std::strcmp(g_portName, name) != 0)
        std::memcpy(g_portName, name, std::strlen(name) + 1);
    ReleaseSRWLockExclusive(&g_portStateLock);
}

// remoteName comes in holding the port name; a redirected port replaces it with the
// network name.
uint32_t ClassifyPort(const char *port, char *remoteName)
{
    if (std::strncmp(port, "USB", 3) == 0)
        return kPortUsb;
    if (port[0] == '\\' && port[1] == '\\')
        return kPortNetwork;
    DWORD length = kRedirectorNameLength;
    if (g_platform.WNetGetConnectionA(port, remoteName, &length) == NO_ERROR) {
        remoteName[kPrinterInfoRemoteNameSize - 1] = '\0';
        return kPortNetwork;
    }
    return kPortLocal;
}

DWORD EnumeratePrinter(uint32_t portType, const char *port, const char *remoteName)
{
    const WORD appId = CurrentAppId();
    if (portType == kPortNetwork) {
        Trace("Calling TovEnumByUNC <%s>\n", port);
        // Its answer says nothing; a record delivered during the call says it was found.
        const DWORD deliveredBefore = g_recordsDelivered.load();
        g_tov.TovEnumByUNC(appId, kTovAllFlags, remoteName, EnumPrinterCallback);
        return g_recordsDelivered.load() != deliveredBefore ? kEnumByUncOutcome : 0;
    }
    Trace("Calling TovEnumSpecificPort <%s>\n", port);
    return g_tov.TovEnumSpecificPort(appId, kTovAllFlags, port, EnumPrinterCallback);
}

int JudgeEnumeration(DWORD outcome)
{
    if (CurrentPrinterHandle() == 0) {
        LogError("TovEnumSpecificPort or TovEnumByUNC PrinterInfo.hPrinter == 0\n");
        g_reEnumerate = 1;
        return 0;
    }
    if ((outcome & kEnumFoundMask) == 0) {
        LogError("TovEnumSpecificPort or TovEnumByUNC failed (%Xh)\n", outcome);
        g_reEnumerate = 1;
        return 0;
    }
    return 1;
}

} // namespace

int RefreshPrinterPort()
{
    char port[kNameBufferSize];
    CopyCurrentPortName(port);
    DWORD size = 0;
    if (!ReadPortValue(port, &size)) {
        LogError("GetPrinterRegistryString(%s, %s, %s, %d) failed.\n", g_printerName, kPortNameLabel, port,
                 static_cast<int>(size));
        return 0;
    }
    StorePortName(port);

    // The name for TovEnumByUNC lives here, not in the record: the callback overwrites
    // the record while the library may still be reading the name.
    char remoteName[kPrinterInfoRemoteNameSize];
    std::memcpy(remoteName, port, std::strlen(port) + 1);
    const uint32_t portType = ClassifyPort(port, remoteName);
    if (portType == kPortLocal && IsNonBidiMode()) {
        g_portType = kPortLocalNonBidi;
        Trace("Non bidi setting - TovEnum is not called <%s>\n", port);
        return 0;
    }
    g_portType = portType;
    return JudgeEnumeration(EnumeratePrinter(portType, port, remoteName));
}

BOOL WINAPI EnumPrinterCallback(LPVOID printerInfo)
{
    if (printerInfo == nullptr)
        return TRUE;
    const BYTE *record = static_cast<const BYTE *>(printerInfo);
    WORD handle = 0;
    std::memcpy(&handle, record + kPrinterInfoHandleOffset, sizeof(handle));
    AcquireSRWLockExclusive(&g_portStateLock);
    std::memcpy(g_printerInfo.data(), record, kPrinterInfoSize);
    g_hPrinter = handle;
    g_printerFlags = record[kPrinterInfoFlagsOffset];
    ++g_recordsDelivered;
    ReleaseSRWLockExclusive(&g_portStateLock);
    return TRUE;
}

DWORD CurrentHandleAndFlagBit()
{
    AcquireSRWLockShared(&g_portStateLock);
    const DWORD answer = (static_cast<DWORD>(g_hPrinter.load()) << 16) | (g_printerFlags.load() & 1u);
    ReleaseSRWLockShared(&g_portStateLock);
    return answer;
}

void CopyCurrentPortName(char *destination)
{
    AcquireSRWLockShared(&g_portStateLock);
    std::memcpy(destination, g_portName, kNameBufferSize);
    ReleaseSRWLockShared(&g_portStateLock);
}
