#include <algorithm>
#include <set>

#include "bench.h"
#include "core/entry_point.h"
#include "floors.h"
#include "support/process_metrics.h"
#include "support/test_files.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kSenderTimeoutMs = 120000;
constexpr DWORD kMemorySampleMs = 10;
constexpr size_t kMegabyte = 1024 * 1024;

using GetNextThreadFn = LONG(WINAPI *)(HANDLE, HANDLE, ACCESS_MASK, ULONG, ULONG, HANDLE *);

// The first thread of the process, opened for waiting, whose id `isWanted` accepts; nothing
// when none is. The threads are walked with NtGetNextThread: a few calls to the server
// for this one process, where a system-wide thread list costs it milliseconds while the
// sender runs.
template <typename IsWanted>
HandleGuard FindThread(HANDLE process, IsWanted isWanted)
{
    static const auto getNextThread = BindEntryPoint<GetNextThreadFn>(GetModuleHandleA("ntdll.dll"), "NtGetNextThread");
    HandleGuard thread;
    HANDLE next = nullptr;
    while (getNextThread != nullptr &&
           getNextThread(process, thread.Get(), SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, 0, 0, &next) == 0) {
        thread.Reset(next);
        if (isWanted(GetThreadId(thread.Get())))
            return thread;
    }
    return HandleGuard();
}

// 1134 until the sender thread it started has ended, in microseconds, negative on
// failure; the instance's private memory before it and its highest every 10 ms meanwhile.
double TimeServiceSend(TestInstance &instance, const std::string &fileName, SenderSeries *series)
{
    const HANDLE process = instance.Process().Process();
    std::set<DWORD> before;
    FindThread(process, [&](DWORD thread) {
        before.insert(thread);
        return false;
    });
    const double privateBefore = static_cast<double>(PrivateMemoryBytes(process));
    double peak = privateBefore;
    const double start = NowMicroseconds();
    // The library places the name in the instance and frees it again inside the timed
    // call: a few calls to the server, well under a millisecond.
    if (QelSendFile(instance.Client(), WM_QELAPP32_SENDFILE, fileName.c_str(), kSenderTimeoutMs, nullptr) != QEL_OK)
        return -1.0;
    // The thread that was not there before: the sender, unless it has already ended.
    const HandleGuard sender = FindThread(process, [&](DWORD thread) { return before.count(thread) == 0; });
    for (DWORD waited = 0; sender.IsValid() && waited < kSenderTimeoutMs; waited += kMemorySampleMs) {
        if (WaitForSingleObject(sender.Get(), kMemorySampleMs) == WAIT_OBJECT_0)
            break;
        peak = std::max(peak, static_cast<double>(PrivateMemoryBytes(process)));
    }
    const double elapsed = NowMicroseconds() - start;
    series->privateBefore.Add(privateBefore);
    series->privatePeak.Add(peak);
    return elapsed;
}

} // namespace

bool MeasureSender(int megabytes, int runs, SenderSeries *series)
{
    series->megabytes = megabytes;
    const SystemDirectoryFile file("bench", megabytes * kMegabyte);
    const std::string &fileName = file.Name();
    TestInstance instance("LPT1:", "bench");
    instance.Sim().DropRecords();
    if (!instance.Start())
        return false;
    const std::vector<char> environment = instance.Sim().EnvironmentBlock();
    // One run of each first, not kept: the file comes into the cache, and both sides
    // have the library warm.
    SenderSeries warmUp;
    bool ok = TimeBareFileLoop(fileName, environment) > 0 && TimeServiceSend(instance, fileName, &warmUp) > 0;
    for (int run = 0; ok && run < runs * 2; ++run) {
        // The two sides take turns at going first.
        const bool bareSide = (run % 2 == 0) == (run / 2 % 2 == 0);
        const double elapsed =
            bareSide ? TimeBareFileLoop(fileName, environment) : TimeServiceSend(instance, fileName, series);
        ok = elapsed > 0;
        (bareSide ? series->bare : series->service).Add(elapsed);
    }
    return ok;
}
