#include "core/platform.h"

#include <winnetwk.h>
#include "core/entry_point.h"

namespace {

// The spooler's DLL brings the common controls and their theme engine with it, tens of
// milliseconds of every start-up, and only the rare spooler probe needs it: it is
// loaded on the first spooler call and kept until the process ends.
HMODULE LoadSpooler()
{
    static const HMODULE spooler = LoadLibraryA("winspool.drv");
    return spooler;
}

template <typename EntryPoint>
EntryPoint ResolveSpooler(const char *name)
{
    const HMODULE spooler = LoadSpooler();
    if (spooler == nullptr)
        return nullptr;
    return BindEntryPoint<EntryPoint>(spooler, name);
}

// A spooler that cannot be loaded answers like one that knows no such printer.
BOOL FailSpoolerCall()
{
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
}

BOOL WINAPI OpenPrinterOnDemand(LPSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults)
{
    static const auto openPrinter = ResolveSpooler<decltype(&::OpenPrinterA)>("OpenPrinterA");
    return openPrinter != nullptr ? openPrinter(printerName, printer, defaults) : FailSpoolerCall();
}

BOOL WINAPI EnumJobsOnDemand(HANDLE printer, DWORD firstJob, DWORD jobCount, DWORD level, LPBYTE jobs, DWORD size,
                             LPDWORD needed, LPDWORD returned)
{
    static const auto enumJobs = ResolveSpooler<decltype(&::EnumJobsA)>("EnumJobsA");
    return enumJobs != nullptr ? enumJobs(printer, firstJob, jobCount, level, jobs, size, needed, returned)
                               : FailSpoolerCall();
}

BOOL WINAPI SetJobOnDemand(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command)
{
    static const auto setJob = ResolveSpooler<decltype(&::SetJobA)>("SetJobA");
    return setJob != nullptr ? setJob(printer, jobId, level, job, command) : FailSpoolerCall();
}

BOOL WINAPI ClosePrinterOnDemand(HANDLE printer)
{
    static const auto closePrinter = ResolveSpooler<decltype(&::ClosePrinter)>("ClosePrinter");
    return closePrinter != nullptr ? closePrinter(printer) : FailSpoolerCall();
}

} // namespace

PlatformApi RealPlatformApi()
{
    PlatformApi api{};
    api.MessageBoxA = &::MessageBoxA;
    api.ExitWindowsEx = &::ExitWindowsEx;
    api.OpenPrinterA = &OpenPrinterOnDemand;
    api.EnumJobsA = &EnumJobsOnDemand;
    api.SetJobA = &SetJobOnDemand;
    api.ClosePrinter = &ClosePrinterOnDemand;
    api.WNetGetConnectionA = &::WNetGetConnectionA;
    api.GetSystemDirectoryA = &::GetSystemDirectoryA;
    api.OutputDebugStringA = &::OutputDebugStringA;
    api.Sleep = &::Sleep;
    return api;
}

PlatformApi g_platform = RealPlatformApi();

bool ReadSystemDirectory(char *buffer, UINT room, UINT *length)
{
    const UINT answer = g_platform.GetSystemDirectoryA(buffer, room);
    if (length != nullptr)
        *length = answer;
    if (answer == 0 || answer >= room)
        return false;
    buffer[answer] = '\0';
    return true;
}
