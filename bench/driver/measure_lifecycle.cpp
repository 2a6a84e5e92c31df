#include <memory>
#include <thread>

#include "bench.h"
#include "floors.h"
#include "qelapp32/qelclient.h"
#include "support/process_metrics.h"
#include "support/test_instance.h"

namespace {

// After the start, before memory is read: the instance has settled.
constexpr DWORD kQuietMs = 300;
constexpr DWORD kEndTimeoutMs = 5000;

using Fleet = std::vector<std::unique_ptr<TestInstance>>;

// Until every instance of the fleet serves (its init event), microseconds, negative on failure.
double StartOneAfterAnother(Fleet *fleet)
{
    const double start = NowMicroseconds();
    for (auto &instance : *fleet) {
        if (!instance->Start())
            return -1.0;
    }
    return NowMicroseconds() - start;
}

double StartAllAtOnce(Fleet *fleet)
{
    std::vector<std::thread> starts;
    std::unique_ptr<bool[]> started(new bool[fleet->size()]());
    const double start = NowMicroseconds();
    for (size_t i = 0; i < fleet->size(); ++i)
        starts.emplace_back([&, i] { started[i] = (*fleet)[i]->Start(); });
    for (std::thread &each : starts)
        each.join();
    const double elapsed = NowMicroseconds() - start;
    for (size_t i = 0; i < fleet->size(); ++i) {
        if (!started[i])
            return -1.0;
    }
    return elapsed;
}

// A fleet of `count` new instances started one way, after the settling pause; its start
// time goes to `starts` and, with `memory`, the private memory of all of it.
template <typename StartFleet>
bool TimeFleet(int count, StartFleet startFleet, Samples *starts, Samples *memory)
{
    Fleet fleet;
    for (int i = 0; i < count; ++i) {
        fleet.emplace_back(new TestInstance("LPT1:", "fleet"));
        fleet.back()->Sim().DropRecords();
    }
    Sleep(kSettleMs);
    const double elapsed = startFleet(&fleet);
    if (elapsed < 0)
        return false;
    starts->Add(elapsed);
    if (memory != nullptr) {
        Sleep(kQuietMs);
        double total = 0;
        for (const auto &instance : fleet)
            total += static_cast<double>(PrivateMemoryBytes(instance->Process().Process()));
        memory->Add(total);
    }
    return true;
}

// 1125 until the ready-for-next-job event, microseconds, negative on failure. The event is
// made and waited on here rather than through QelEndInstance, which also waits for the
// process to exit: that comes after the event and is not the question.
double TimeEndJob(TestInstance &instance, WORD appId)
{
    const std::string name = InstanceEventName(QEL_EVENT_NEXT_JOB_FORMAT, instance.PrinterName());
    const HandleGuard nextJob(CreateEventA(nullptr, FALSE, FALSE, name.c_str()));
    DWORD_PTR answer = 0;
    const double start = NowMicroseconds();
    if (!nextJob.IsValid() ||
        QelSend(instance.Client(), WM_QELAPP32_ENDJOB, appId, 0, kEndTimeoutMs, &answer) != QEL_OK ||
        WaitForSingleObject(nextJob.Get(), kEndTimeoutMs) != WAIT_OBJECT_0)
        return -1.0;
    const double elapsed = NowMicroseconds() - start;
    return QEL_ANSWER(answer) == 1 && instance.Process().WaitForExit(kEndTimeoutMs) ? elapsed : -1.0;
}

bool RunServiceCycle(LifecycleSeries *series)
{
    TestInstance instance("LPT1:", "bench");
    instance.Sim().DropRecords();
    Sleep(kSettleMs);
    const double start = NowMicroseconds();
    if (!instance.Start())
        return false;
    series->serviceStart.Add(NowMicroseconds() - start);
    DWORD appId = 0;
    const double endJob =
        instance.Printer().ReadDriverDword(QEL_VALUE_APPID, &appId) ? TimeEndJob(instance, LOWORD(appId)) : -1.0;
    if (endJob < 0)
        return false;
    series->endJob.Add(endJob);
    return true;
}

bool RunBareCycle(const std::vector<char> &environment, LifecycleSeries *series)
{
    BareProgram bare;
    Sleep(kSettleMs);
    const double start = bare.TimeStart(false, environment);
    series->bareStart.Add(start);
    return start >= 0;
}

} // namespace

bool MeasureLifecycle(int cycles, LifecycleSeries *series)
{
    SimPrinter sim;
    sim.DropRecords();
    const std::vector<char> environment = sim.EnvironmentBlock();
    // One of each first, not kept: Wine maps each program for the first time.
    LifecycleSeries warmUp;
    bool ok = RunServiceCycle(&warmUp) && RunBareCycle(environment, &warmUp);
    // They take turns at going first.
    for (int cycle = 0; ok && cycle < cycles; ++cycle) {
        ok = cycle % 2 == 0 ? RunServiceCycle(series) && RunBareCycle(environment, series)
                            : RunBareCycle(environment, series) && RunServiceCycle(series);
    }
    return ok;
}

bool MeasureFleet(int count, int repetitions, FleetSeries *series)
{
    series->count = count;
    bool ok = true;
    for (int repetition = 0; ok && repetition < repetitions; ++repetition) {
        // Each fleet beside a single start taken just before it.
        ok = TimeFleet(1, StartOneAfterAnother, &series->singleStart, &series->singlePrivate) &&
             TimeFleet(count, StartOneAfterAnother, &series->oneAfterAnother, &series->fleetPrivate) &&
             TimeFleet(1, StartOneAfterAnother, &series->singleStart, nullptr) &&
             TimeFleet(count, StartAllAtOnce, &series->allAtOnce, nullptr);
    }
    return ok;
}
