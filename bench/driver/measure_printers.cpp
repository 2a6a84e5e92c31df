#include <cstdio>
#include <memory>
#include <string>

#include "bench_clock.h"
#include "floor_programs.h"
#include "measures.h"
#include "qelapp32/client.h"
#include "service_instance.h"

namespace {

// As in the start-up cycles: a process that just ended is still being torn down by Wine
// for a moment, and the next start would pay for it.
constexpr DWORD kSettleMs = 150;
// After the requests that make an instance serve, before its memory is read.
constexpr DWORD kQuietMs = 300;

using Fleet = std::vector<std::unique_ptr<ServiceInstance>>;

// Microseconds from the first launch until every instance of the fleet serves; negative
// on failure.
double StartFleet(int count, bool allAtOnce, Fleet *fleet)
{
    fleet->clear();
    for (int i = 0; i < count; ++i)
        fleet->emplace_back(new ServiceInstance());
    const double start = NowMicroseconds();
    for (auto &instance : *fleet) {
        if (!instance->Launch() || (!allAtOnce && instance->WaitUntilServing() < 0))
            return -1.0;
    }
    for (auto &instance : *fleet) {
        if (allAtOnce && instance->WaitUntilServing() < 0)
            return -1.0;
    }
    return NowMicroseconds() - start;
}

void EndFleet(Fleet *fleet)
{
    for (auto &instance : *fleet)
        TerminateProcess(instance->Process(), 1);
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
    const double start = StartFleet(1, false, &one);
    EndFleet(&one);
    repetition->Add(start);
    series->singleStart.Add(start);
    return start >= 0;
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
        for (int count : sizes) {
            for (int allAtOnce = 0; allAtOnce < 2; ++allAtOnce) {
                Fleet fleet;
                const bool ok = TimeSingleStart(&singles, series);
                const double start = ok ? StartFleet(count, allAtOnce != 0, &fleet) : -1.0;
                if (start < 0) {
                    std::fprintf(stderr, "qelbench: %d instances did not all start\n", count);
                    return false;
                }
                (allAtOnce ? series->allAtOnce : series->oneAfterAnother)[count].Add(start);
                AskEachItsOwn(fleet, series);
                if (!allAtOnce) {
                    Sleep(kQuietMs);
                    series->privatePerInstance[count].Add(PrivatePerInstance(fleet));
                }
                // The largest fleet, once: all idle together beside the bare program.
                if (!allAtOnce && count == sizes.back() && repetition == repetitions - 1) {
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
                    series->fleetIdle = count;
                }
                EndFleet(&fleet);
            }
        }
        series->singlePerRepetition.Add(singles.Median());
    }
    return true;
}
