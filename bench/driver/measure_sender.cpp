#include <algorithm>
#include <cstdio>
#include <set>

#include "bench.h"
#include "floors.h"
#include "service_buffers.h"
#include "support/component_sandbox.h"
#include "support/process_metrics.h"
#include "support/test_files.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kSenderTimeoutMs = 120000;
constexpr DWORD kMemorySampleMs = 10;
constexpr size_t kMegabyte = 1024 * 1024;

std::set<DWORD> ThreadsOf(TestInstance &instance)
{
    std::set<DWORD> threads;
    for (const RemoteThreadStack &thread :
         ReadThreadStacks(instance.Process().Process(), instance.Process().ProcessId()))
        threads.insert(thread.threadId);
    return threads;
}

// The thread of the instance that is not among `before`: the sender the request started.
// Nothing when it has already ended.
HandleGuard OpenNewThread(TestInstance &instance, const std::set<DWORD> &before)
{
    for (DWORD thread : ThreadsOf(instance)) {
        if (before.count(thread) == 0)
            return HandleGuard(OpenThread(SYNCHRONIZE, FALSE, thread));
    }
    return HandleGuard();
}

// 1134 until the sender thread it started has ended, in microseconds, negative on
// failure; the instance's private memory before it and its highest every 10 ms meanwhile.
double TimeServiceSend(TestInstance &instance, FileSendRequest &request, SenderSeries *series)
{
    const std::set<DWORD> before = ThreadsOf(instance);
    const double privateBefore = static_cast<double>(PrivateMemoryBytes(instance.Process().Process()));
    double peak = privateBefore;
    const double start = NowMicroseconds();
    if (!request.Send())
        return -1.0;
    const HandleGuard sender = OpenNewThread(instance, before);
    for (DWORD waited = 0; sender.IsValid() && waited < kSenderTimeoutMs; waited += kMemorySampleMs) {
        if (WaitForSingleObject(sender.Get(), kMemorySampleMs) == WAIT_OBJECT_0)
            break;
        peak = std::max(peak, static_cast<double>(PrivateMemoryBytes(instance.Process().Process())));
    }
    const double elapsed = NowMicroseconds() - start;
    series->privateBefore.Add(privateBefore);
    series->privatePeak.Add(peak);
    return elapsed;
}

} // namespace

bool MeasureSender(int megabytes, int runs, SenderSeries *series)
{
    char fileName[32];
    std::snprintf(fileName, sizeof(fileName), "qelbench-%dmb.bin", megabytes);
    const std::string path = SystemDirectory() + "\\" + fileName;
    series->megabytes = megabytes;
    TestInstance instance("LPT1:", "bench");
    SilenceRecords(instance.Sim());
    if (!WriteWholeFile(path, PatternBytes(megabytes * kMegabyte)) || !instance.Start())
        return false;
    FileSendRequest request(instance, fileName);
    const std::vector<char> environment = instance.Sim().EnvironmentBlock();
    // One run of each first, not kept: the file comes into the cache, and both sides
    // have the library warm.
    SenderSeries warmUp;
    bool ok = TimeBareFileLoop(fileName, environment) > 0 && TimeServiceSend(instance, request, &warmUp) > 0;
    for (int run = 0; ok && run < runs * 2; ++run) {
        // The two sides take turns at going first.
        const bool bareSide = (run % 2 == 0) == (run / 2 % 2 == 0);
        const double elapsed =
            bareSide ? TimeBareFileLoop(fileName, environment) : TimeServiceSend(instance, request, series);
        ok = elapsed > 0;
        (bareSide ? series->bare : series->service).Add(elapsed);
    }
    DeleteFileA(path.c_str());
    return ok;
}
