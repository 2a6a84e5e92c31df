#include <memory>
#include <thread>

#include "bench.h"
#include "floors.h"
#include "qelapp32/client.h"
#include "support/process_metrics.h"
#include "support/test_instance.h"

namespace {

// After the start, before memory is read: the instance has settled.
constexpr DWORD kQuietMs = 300;

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
        SilenceRecords(fleet.back()->Sim());
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

bool RunServiceCycle(LifecycleSeries *series)
{
    TestInstance instance("LPT1:", "bench");
    SilenceRecords(instance.Sim());
    Sleep(kSettleMs);
    const double start = NowMicroseconds();
    if (!instance.Start())
        return false;
    series->serviceStart.Add(NowMicroseconds() - start);
    DWORD appId = 0;
    ULONGLONG endMs = 0;
    if (!instance.Printer().ReadDriverDword(QEL_VALUE_APPID, &appId) || !instance.EndJob(appId, 0, nullptr, &endMs))
        return false;
    series->endJob.Add(static_cast<double>(endMs) * 1e3);
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
    const SimPrinter sim;
    SilenceRecords(sim);
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
