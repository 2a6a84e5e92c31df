#include "config/spooler_probe.h"

#include <winspool.h>

#include <cstring>

#include "core/instance_state.h"
#include "core/owned.h"
#include "core/platform.h"

namespace {

constexpr DWORD kJobInfoLevel = 1;

// A spooler handle is closed through the platform table like every spooler call.
struct SpoolerPrinterPolicy {
    using Value = HANDLE;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value printer) { return printer != nullptr; }
    static void Close(Value printer) { g_platform.ClosePrinter(printer); }
};
using PrinterHandle = Owned<SpoolerPrinterPolicy>;

// A locked LocalAlloc block: unlocked before it is freed.
struct LockedBlockPolicy {
    using Value = HLOCAL;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value block) { return block != nullptr; }
    static void Close(Value block) { LocalUnlock(block); }
};

// The job ID is the first field of the first JOB_INFO_1 record. A record that vanished
// between the two enumerations leaves the zero-filled block, which reads as ID 0; a size
// too small for even the ID is not read beyond.
DWORD FirstJobId(const BYTE *jobs, DWORD size)
{
    DWORD jobId = 0;
    if (size >= sizeof(jobId))
        std::memcpy(&jobId, jobs, sizeof(jobId));
    return jobId;
}

} // namespace

DWORD GetFirstPrinterJob(DWORD action)
{
    if (g_printerName == nullptr)
        return 0;
    PrinterHandle printer;
    if (!g_platform.OpenPrinterA(const_cast<LPSTR>(g_printerName), printer.Receive(), nullptr))
        return 0;

    DWORD needed = 0;
    DWORD returned = 0;
    g_platform.EnumJobsA(printer.Get(), 0, 1, kJobInfoLevel, nullptr, 0, &needed, &returned);
    if (needed == 0)
        return 0;

    const LocalBlock block(LocalAlloc(LPTR, needed));
    if (!block.IsValid())
        return 0;
    BYTE *jobs = static_cast<BYTE *>(LocalLock(block.Get()));
    if (jobs == nullptr)
        return 0;
    const Owned<LockedBlockPolicy> locked(block.Get());

    DWORD answer = 0;
    DWORD neededNow = 0;
    if (g_platform.EnumJobsA(printer.Get(), 0, 1, kJobInfoLevel, jobs, needed, &neededNow, &returned)) {
        const DWORD jobId = FirstJobId(jobs, needed);
        if (action == kJobProbeCancel)
            answer = g_platform.SetJobA(printer.Get(), jobId, 0, nullptr, JOB_CONTROL_CANCEL);
        else
            answer = jobId != 0 ? 1 : 0;
    }
    // The spooler handle goes first, then the block is unlocked and freed.
    printer.Reset();
    return answer;
}
