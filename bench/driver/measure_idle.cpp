#include "floor_programs.h"
#include "measures.h"
#include "service_instance.h"

namespace {

struct IdleProbe {
    unsigned long unixPid = 0;
    long long ticksBefore = 0;
    ProcessActivity before;
};

bool BeginIdle(unsigned long unixPid, IdleProbe *probe)
{
    probe->unixPid = unixPid;
    probe->ticksBefore = ReadProcessTicks(unixPid);
    return unixPid != 0 && probe->ticksBefore >= 0 && ReadProcessActivity(unixPid, &probe->before);
}

bool EndIdle(const IdleProbe &probe, IdleResult *result)
{
    ProcessActivity after;
    if (!ReadProcessActivity(probe.unixPid, &after))
        return false;
    const long long ticksAfter = ReadProcessTicks(probe.unixPid);
    if (ticksAfter < 0)
        return false;
    result->processTicks = ticksAfter - probe.ticksBefore;
    unsigned long long runNs = 0;
    for (const auto &thread : after) {
        const auto earlier = probe.before.find(thread.first);
        ThreadActivity difference = thread.second;
        if (earlier != probe.before.end()) {
            difference.runNs -= earlier->second.runNs;
            difference.runs -= earlier->second.runs;
        } else {
            ++result->threadsStarted;
        }
        runNs += difference.runNs;
        result->runs += difference.runs;
        result->threads[thread.first] = difference;
    }
    for (const auto &thread : probe.before) {
        if (after.count(thread.first) == 0)
            ++result->threadsEnded;
    }
    result->cpuMs = static_cast<double>(runNs) / 1e6;
    result->ok = true;
    return true;
}

} // namespace

bool MeasureIdle(const ServiceInstance &service, const BareWindow &bare, DWORD milliseconds,
                 IdleResult *serviceIdle, IdleResult *bareIdle)
{
    IdleProbe serviceProbe;
    IdleProbe bareProbe;
    const bool serviceStarted = BeginIdle(FindUnixProcessId(service.PrinterName()), &serviceProbe);
    const bool bareStarted = BeginIdle(FindUnixProcessId(bare.Name()), &bareProbe);
    // This process and both others now do nothing until the time is up.
    Sleep(milliseconds);
    const bool serviceOk = serviceStarted && EndIdle(serviceProbe, serviceIdle);
    if (bareStarted)
        EndIdle(bareProbe, bareIdle);
    return serviceOk;
}
