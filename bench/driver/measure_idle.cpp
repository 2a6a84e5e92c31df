#include "bench.h"
#include "floors.h"
#include "process_watch.h"
#include "support/process_metrics.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kQuietMs = 300;

void ReadHoldings(HANDLE process, DWORD processId, Samples *privateBytes, Samples *handles, Samples *threads)
{
    privateBytes->Add(static_cast<double>(PrivateMemoryBytes(process)));
    handles->Add(static_cast<double>(CountProcessHandles(processId)));
    threads->Add(static_cast<double>(ReadThreadStacks(process, processId).size()));
}

// Both processes left alone for the time; what their threads did meanwhile.
bool WatchIdle(const std::string &instanceText, const std::string &bareText, DWORD idleMs, IdleSeries *series)
{
    const unsigned long instancePid = FindUnixProcessId(instanceText);
    const unsigned long barePid = FindUnixProcessId(bareText);
    ProcessRuns instanceBefore, bareBefore, instanceAfter, bareAfter;
    if (!ReadProcessRuns(instancePid, &instanceBefore) || !ReadProcessRuns(barePid, &bareBefore))
        return false;
    // This process too does nothing until the time is up.
    Sleep(idleMs);
    if (!ReadProcessRuns(instancePid, &instanceAfter) || !ReadProcessRuns(barePid, &bareAfter))
        return false;
    const Activity instance = ActivityBetween(instanceBefore, instanceAfter);
    series->wakeUps = instance.wakeUps;
    series->cpuMs = instance.cpuMs;
    series->bareWakeUps = ActivityBetween(bareBefore, bareAfter).wakeUps;
    return true;
}

} // namespace

bool MeasureIdle(int repetitions, DWORD idleMs, IdleSeries *series)
{
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        TestInstance instance("LPT1:", "idle");
        BareProgram bare;
        instance.Sim().DropRecords();
        const std::vector<char> environment = instance.Sim().EnvironmentBlock();
        // They take turns at going first.
        const bool started = repetition % 2 == 0
                                 ? StartServing(instance, nullptr) && bare.TimeStart(true, environment) >= 0
                                 : bare.TimeStart(true, environment) >= 0 && StartServing(instance, nullptr);
        if (!started)
            return false;
        Sleep(kQuietMs);
        ReadHoldings(instance.Process().Process(), instance.Process().ProcessId(), &series->privateBytes,
                     &series->handles, &series->threads);
        ReadHoldings(bare.Process().Handle(), bare.Process().Id(), &series->barePrivateBytes, &series->bareHandles,
                     &series->bareThreads);
        if (repetition + 1 == repetitions && !WatchIdle(instance.PrinterName(), bare.Name(), idleMs, series))
            return false;
    }
    return true;
}
