#include <cstdio>

#include "floor_programs.h"
#include "measures.h"
#include "service_instance.h"

namespace {

bool RunServiceCycle(LifecycleSeries *series)
{
    ServiceInstance service;
    const double start = service.Start();
    if (start < 0) {
        std::fprintf(stderr, "qelbench: the service did not start\n");
        return false;
    }
    series->serviceStart.Add(start);
    const double end = service.EndJob();
    if (end < 0) {
        std::fprintf(stderr, "qelbench: the service did not end\n");
        return false;
    }
    series->endJob.Add(end);
    return true;
}

bool RunBareStart(LifecycleSeries *series)
{
    const double start = TimeBareStartup(BareStartup::kPlain);
    series->bareStart.Add(start);
    return start >= 0;
}

bool RunBareLibraryStart(LifecycleSeries *series)
{
    double library = 0;
    const double start = TimeBareStartup(BareStartup::kLibrary, &library);
    series->bareLibraryStart.Add(start);
    series->libraryBind.Add(library);
    return start >= 0;
}

bool RunBareDesignStart(LifecycleSeries *series)
{
    const double start = TimeBareStartup(BareStartup::kDesign);
    series->bareDesignStart.Add(start);
    return start >= 0;
}

} // namespace

bool MeasureLifecycle(int cycles, LifecycleSeries *series)
{
    // One unmeasured start of each program first: Wine maps each for the first time.
    LifecycleSeries warmUp;
    if (!RunBareStart(&warmUp) || !RunBareLibraryStart(&warmUp) || !RunBareDesignStart(&warmUp) ||
        !RunServiceCycle(&warmUp))
        return false;
    bool (*const starts[])(LifecycleSeries *) = {RunServiceCycle, RunBareStart, RunBareLibraryStart,
                                                 RunBareDesignStart};
    constexpr int kKinds = sizeof(starts) / sizeof(starts[0]);
    for (int cycle = 0; cycle < cycles; ++cycle) {
        // They take turns at going first.
        for (int turn = 0; turn < kKinds; ++turn) {
            Sleep(kSettleMs);
            if (!starts[(cycle + turn) % kKinds](series))
                return false;
        }
    }
    return true;
}
