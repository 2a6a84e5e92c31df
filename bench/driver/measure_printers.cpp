#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "bench_clock.h"
#include "floor_programs.h"
#include "measures.h"
#include "qelapp32/client.h"
#include "service_instance.h"

namespace {

// After the requests that make an instance serve, before its memory is read.
constexpr DWORD kQuietMs = 300;

using Fleet = std::vector<std::unique_ptr<ServiceInstance>>;
using BareFleet = std::vector<std::unique_ptr<BareProgram>>;

enum class FleetStart {
    kOneAfterAnother, // each launched once the one before serves
    kAllAtOnce,       // every process created, then every init event waited for
    kSettledBetween,  // one after another, with the settling pause before each launch
};

// Microseconds from the first launch until every instance of the fleet serves, negative
// on failure; settled, the sum of the instances' own starts. Started one at a time, each
// instance's own start is added to *eachStart.
double StartFleet(int count, FleetStart how, Fleet *fleet, std::vector<double> *eachStart)
{
    fleet->clear();
    for (int i = 0; i < count; ++i)
        fleet->emplace_back(new ServiceInstance());
    const bool allAtOnce = how == FleetStart::kAllAtOnce;
    double ownStarts = 0;
    const double start = NowMicroseconds();
    for (auto &instance : *fleet) {
        if (how == FleetStart::kSettledBetween)
            Sleep(kSettleMs);
        if (!instance->Launch())
            return -1.0;
        if (allAtOnce)
            continue;
        const double own = instance->WaitUntilServing();
        if (own < 0)
            return -1.0;
        ownStarts += own;
        eachStart->push_back(own);
    }
    for (auto &instance : *fleet) {
        if (allAtOnce && instance->WaitUntilServing() < 0)
            return -1.0;
    }
    return how == FleetStart::kSettledBetween ? ownStarts : NowMicroseconds() - start;
}

// The same for bare programs with the design's steps and library, started one at a time.
double StartBareFleet(int count, FleetStart how, BareFleet *fleet, std::vector<double> *eachStart)
{
    fleet->clear();
    double ownStarts = 0;
    const double start = NowMicroseconds();
    for (int i = 0; i < count; ++i) {
        if (how == FleetStart::kSettledBetween)
            Sleep(kSettleMs);
        fleet->emplace_back(new BareProgram());
        const double own = fleet->back()->TimeStart(BareStartup::kDesignLibrary);
        if (own < 0)
            return -1.0;
        ownStarts += own;
        eachStart->push_back(own);
    }
    return how == FleetStart::kSettledBetween ? ownStarts : NowMicroseconds() - start;
}

void AddByPosition(const std::vector<double> &eachStart, std::vector<Samples> *byPosition)
{
    byPosition->resize(std::max(byPosition->size(), eachStart.size()));
    for (size_t i = 0; i < eachStart.size(); ++i)
        (*byPosition)[i].Add(eachStart[i]);
}

// Instances or bare programs alike: all terminated at once, then the settling pause.
template <typename Program>
void EndFleet(std::vector<std::unique_ptr<Program>> *fleet)
{
    for (auto &program : *fleet)
        TerminateProcess(program->Process(), 1);
    fleet->clear();
    Sleep(kSettleMs);
}

// 1137 to the window each instance published for its own printer: it must belong to that
// instance's process and bear its printer's title.
void AskEachItsOwn(const Fleet &fleet, FleetSeries *series)
{
    for (const auto &instance : fleet) {
        const HWND window = QelFindInstanceWindow(instance->PrinterName().c_str());
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        char title[256] = "";
        GetWindowTextA(window, title, sizeof(title));
        const bool own =
            owner == instance->ProcessId() && std::string(title) == QEL_WINDOW_TITLE_PREFIX + instance->PrinterName();
        series->strays += own ? 0 : 1;
        ++series->asked;
        series->answered += own && SendRequest(window, WM_QELAPP32_NOOP, 0, 0) == 1 ? 1 : 0;
    }
}

double PrivatePerInstance(const Fleet &fleet)
{
    double total = 0;
    for (const auto &instance : fleet)
        total += ReadPrivateBytes(instance->Process());
    return total / static_cast<double>(fleet.size());
}

bool TimeSingleStart(Samples *repetition, FleetSeries *series)
{
    Fleet one;
    std::vector<double> eachStart;
    const double start = StartFleet(1, FleetStart::kOneAfterAnother, &one, &eachStart);
    EndFleet(&one);
    repetition->Add(start);
    series->singleStart.Add(start);
    return start >= 0;
}

// A bare fleet started one at a time, beside a bare program started alone just before it.
bool TimeBareFleet(int count, FleetStart how, bool largest, Samples *singles, FleetSeries *series)
{
    BareFleet fleet;
    std::vector<double> eachStart;
    const double single = StartBareFleet(1, FleetStart::kOneAfterAnother, &fleet, &eachStart);
    EndFleet(&fleet);
    eachStart.clear();
    const double start = single >= 0 ? StartBareFleet(count, how, &fleet, &eachStart) : -1.0;
    EndFleet(&fleet);
    if (start < 0) {
        std::fprintf(stderr, "qelbench: %d bare programs did not all start\n", count);
        return false;
    }
    singles->Add(single);
    series->bareSingleStart.Add(single);
    const bool settled = how == FleetStart::kSettledBetween;
    (settled ? series->bareSettledBetween : series->bareOneAfterAnother)[count].Add(start);
    if (largest)
        AddByPosition(eachStart, settled ? &series->bareSettledBeside : &series->bareStartBeside);
    return true;
}

// The largest fleet, once: all idle together beside the bare program.
bool MeasureFleetIdle(const Fleet &fleet, DWORD idleMs, FleetSeries *series)
{
    BareProgram bare;
    std::vector<std::string> names;
    for (const auto &instance : fleet)
        names.push_back(instance->PrinterName());
    if (!bare.Start(BareStartup::kPlain))
        return false;
    names.push_back(bare.Name());
    std::vector<IdleResult> idle;
    MeasureIdle(names, idleMs, &idle);
    series->bareIdle = idle.back();
    idle.pop_back();
    series->idle = SumIdle(idle);
    series->fleetIdle = static_cast<int>(fleet.size());
    return true;
}

// The instance is serving: it enumerated its printer and refreshed its status once, as a
// client's first requests make it.
bool MakeServing(ServiceInstance &service)
{
    return service.Send(WM_QELAPP32_ENUMPRINTER) != static_cast<LRESULT>(QEL_FAILURE) &&
           service.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE) == QEL_STATUS_READY;
}

} // namespace

bool MeasureInstanceCost(int repetitions, InstanceCostSeries *series)
{
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        ServiceInstance service;
        BareProgram bare;
        BareProgram design;
        bool (*const starts[])(ServiceInstance &, BareProgram &, BareProgram &) = {
            [](ServiceInstance &s, BareProgram &, BareProgram &) { return s.Start() >= 0 && MakeServing(s); },
            [](ServiceInstance &, BareProgram &b, BareProgram &) { return b.Start(BareStartup::kPlain); },
            [](ServiceInstance &, BareProgram &, BareProgram &d) { return d.Start(BareStartup::kDesignLibrary); },
        };
        for (int turn = 0; turn < 3; ++turn) {
            if (!starts[(repetition + turn) % 3](service, bare, design)) {
                std::fprintf(stderr, "qelbench: could not start the instance or a bare program\n");
                return false;
            }
        }
        Sleep(kQuietMs);
        if (!ReadProcessCost(service.Process(), service.ProcessId(), &series->service) ||
            !ReadProcessCost(bare.Process(), bare.Id(), &series->bare) ||
            !ReadProcessCost(design.Process(), design.Id(), &series->design)) {
            std::fprintf(stderr, "qelbench: could not read what the processes hold\n");
            return false;
        }
        series->printerName = service.PrinterName();
        series->servicePrivate.Add(series->service.privateBytes);
        series->barePrivate.Add(series->bare.privateBytes);
        series->designPrivate.Add(series->design.privateBytes);
        series->serviceWorkingSet.Add(series->service.workingSetBytes);
        series->bareWorkingSet.Add(series->bare.workingSetBytes);
        series->designWorkingSet.Add(series->design.workingSetBytes);
    }
    return true;
}

bool MeasurePrinters(const std::vector<int> &sizes, int repetitions, DWORD idleMs, FleetSeries *series)
{
    series->sizes = sizes;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        Samples singles;
        Samples bareSingles;
        for (int count : sizes) {
            const bool largest = count == sizes.back();
            for (FleetStart how : {FleetStart::kOneAfterAnother, FleetStart::kAllAtOnce, FleetStart::kSettledBetween}) {
                const bool settled = how == FleetStart::kSettledBetween;
                if (settled && count == 1)
                    continue;
                Fleet fleet;
                std::vector<double> eachStart;
                const bool ok = TimeSingleStart(&singles, series);
                const double start = ok ? StartFleet(count, how, &fleet, &eachStart) : -1.0;
                if (start < 0) {
                    std::fprintf(stderr, "qelbench: %d instances did not all start\n", count);
                    return false;
                }
                (how == FleetStart::kOneAfterAnother ? series->oneAfterAnother
                 : settled                           ? series->settledBetween
                                                     : series->allAtOnce)[count]
                    .Add(start);
                if (largest && how != FleetStart::kAllAtOnce)
                    AddByPosition(eachStart, settled ? &series->settledBeside : &series->startBeside);
                AskEachItsOwn(fleet, series);
                if (how == FleetStart::kOneAfterAnother) {
                    Sleep(kQuietMs);
                    series->privatePerInstance[count].Add(PrivatePerInstance(fleet));
                    if (largest && repetition == repetitions - 1 && !MeasureFleetIdle(fleet, idleMs, series))
                        return false;
                }
                EndFleet(&fleet);
                if (count > 1 && how != FleetStart::kAllAtOnce &&
                    !TimeBareFleet(count, how, largest, &bareSingles, series))
                    return false;
            }
        }
        series->singlePerRepetition.Add(singles.Median());
        series->bareSinglePerRepetition.Add(bareSingles.Median());
    }
    return true;
}
