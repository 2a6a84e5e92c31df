#include "tovlib/tov_library.h"

#include <cstring>
#include "core/entry_point.h"

#include "core/log.h"
#include "core/platform.h"

TovApi g_tov = {};
HMODULE g_tovModule = nullptr;

namespace {

template <typename EntryPoint>
bool ResolveEntry(HMODULE module, const char *name, EntryPoint &slot)
{
    slot = BindEntryPoint<EntryPoint>(module, name);
    return slot != nullptr;
}

constexpr char kStarterProgram[] = "\\Qrmstart.exe";

} // namespace

bool ResolveTovEntryPoints(HMODULE module, TovApi &api)
{
    // The library's own order; resolution stops at the first missing entry point.
    return ResolveEntry(module, "TovRegisterApp", api.TovRegisterApp) &&
           ResolveEntry(module, "TovUnregisterApp", api.TovUnregisterApp) &&
           ResolveEntry(module, "TovEnumSpecificPort", api.TovEnumSpecificPort) &&
           ResolveEntry(module, "TovEnumByUNC", api.TovEnumByUNC) &&
           ResolveEntry(module, "TovCaptureAlerts", api.TovCaptureAlerts) &&
           ResolveEntry(module, "TovReleaseAlerts", api.TovReleaseAlerts) &&
           ResolveEntry(module, "TovQueryAlerts", api.TovQueryAlerts) &&
           ResolveEntry(module, "TovQueryPrinterStatus", api.TovQueryPrinterStatus) &&
           ResolveEntry(module, "TovGetDeviceIDStringEx", api.TovGetDeviceIDStringEx) &&
           ResolveEntry(module, "TovSendBidi", api.TovSendBidi) &&
           ResolveEntry(module, "TovStartDoc", api.TovStartDoc) && ResolveEntry(module, "TovEndDoc", api.TovEndDoc) &&
           ResolveEntry(module, "TovWrite", api.TovWrite) && ResolveEntry(module, "TovWriteUNI", api.TovWriteUNI) &&
           ResolveEntry(module, "TovSetJobControlMode", api.TovSetJobControlMode) &&
           ResolveEntry(module, "TovSetJobCancelMode", api.TovSetJobCancelMode) &&
           ResolveEntry(module, "TovSetEndOfJobMode", api.TovSetEndOfJobMode) &&
           ResolveEntry(module, "TovOpen", api.TovOpen) && ResolveEntry(module, "TovClose", api.TovClose) &&
           ResolveEntry(module, "TovPing", api.TovPing) &&
           ResolveEntry(module, "TovQueryPortType", api.TovQueryPortType) &&
           ResolveEntry(module, "TovFlushMWOBuffer", api.TovFlushMWOBuffer) &&
           ResolveEntry(module, "TovStoreData", api.TovStoreData) &&
           ResolveEntry(module, "TovRetrieveData", api.TovRetrieveData);
}

bool BindTovLibrary()
{
    g_tovModule = LoadLibraryA(kTovLibraryName);
    if (g_tovModule == nullptr)
        return false;
    TovApi api = {};
    if (!ResolveTovEntryPoints(g_tovModule, api))
        return false;
    g_tov = api;
    return true;
}

void FreeTovLibrary()
{
    if (g_tovModule != nullptr)
        FreeLibrary(g_tovModule);
    g_tovModule = nullptr;
}

bool StartTovStarterProgram()
{
    char path[kSystemDirectoryRoom + sizeof(kStarterProgram)];
    UINT length = 0;
    if (!ReadSystemDirectory(path, kSystemDirectoryRoom, &length)) {
        LogError("ERROR: GetSystemDirectory(buffer, %d) FAILED <%d>\n", kSystemDirectoryRoom, length);
        return false;
    }
    std::strcat(path, kStarterProgram);
    UINT result = WinExec(path, SW_HIDE);
    if (result < 32) {
        LogError("WinExec (%s, SW_HIDE) FAILED <%Xh>\n", path, result);
        return false;
    }
    return true;
}
