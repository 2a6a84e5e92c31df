#include "client/spooler_probe.h"

#include <winspool.h>

#include <cstring>

#include "app/instance_state.h"
#include "app/platform.h"

namespace {

constexpr DWORD kJobInfoLevel = 1;

// Owns a spooler handle; it is closed through the platform table like every spooler call.
class PrinterHandle {
public:
    PrinterHandle() = default;
    ~PrinterHandle() { Close(); }
    PrinterHandle(const PrinterHandle &) = delete;
    PrinterHandle &operator=(const PrinterHandle &) = delete;

    HANDLE Get() const { return handle_; }
    LPHANDLE Receive() { return &handle_; }
    void Close()
    {
        if (handle_ != nullptr)
            g_platform.ClosePrinter(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

// Owns a LocalAlloc block and, once locked, its lock.
class LocalBlock {
public:
    explicit LocalBlock(DWORD size) : block_(LocalAlloc(LPTR, size)) {}
    ~LocalBlock()
    {
        if (data_ != nullptr)
            LocalUnlock(block_);
        if (block_ != nullptr)
            LocalFree(block_);
    }
    LocalBlock(const LocalBlock &) = delete;
    LocalBlock &operator=(const LocalBlock &) = delete;

    bool IsAllocated() const { return block_ != nullptr; }
    BYTE *Lock()
    {
        data_ = static_cast<BYTE *>(LocalLock(block_));
        return data_;
    }

private:
    HLOCAL block_;
    BYTE *data_ = nullptr;
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

    LocalBlock block(needed);
    if (!block.IsAllocated())
        return 0;
    BYTE *jobs = block.Lock();
    if (jobs == nullptr)
        return 0;

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
    printer.Close();
    return answer;
}
