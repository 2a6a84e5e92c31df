#include "floor_programs.h"
#include "measures.h"
#include "service_instance.h"

namespace {

struct IdleProbe {
    unsigned long unixPid = 0;
    double cpuBefore = 0;
    ProcessActivity before;
};

bool BeginIdle(HANDLE process, unsigned long unixPid, IdleProbe *probe)
{
    probe->unixPid = unixPid;
    probe->cpuBefore = ReadProcessCpuMilliseconds(process);
    return unixPid != 0 && ReadProcessActivity(unixPid, &probe->before);
}

bool EndIdle(HANDLE process, const IdleProbe &probe, IdleResult *result)
{
    ProcessActivity after;
    if (!ReadProcessActivity(probe.unixPid, &after))
        return false;
    const double cpuAfter = ReadProcessCpuMilliseconds(process);
    result->windowsCpuMs = cpuAfter - probe.cpuBefore;
    unsigned long long runNs = 0;
    for (const auto &thread : after) {
        const auto earlier = probe.before.find(thread.first);
        ThreadActivity difference = thread.second;
        if (earlier != probe.before.end()) {
            difference.runNs -= earlier->second.runNs;
            difference.runs -= earlier->second.runs;
        }
        runNs += difference.runNs;
        result->runs += difference.runs;
        result->threads[thread.first] = difference;
    }
    result->linuxCpuMs = static_cast<double>(runNs) / 1e6;
    result->ok = true;
    return true;
}

} // namespace

bool MeasureIdle(const ServiceInstance &service, const BareWindow &bare, DWORD milliseconds,
                 IdleResult *serviceIdle, IdleResult *bareIdle)
{
    IdleProbe serviceProbe;
    IdleProbe bareProbe;
    const bool serviceStarted =
        BeginIdle(service.Process(), FindUnixProcessId(service.PrinterName()), &serviceProbe);
    const bool bareStarted = BeginIdle(bare.Process(), FindUnixProcessId(bare.Name()), &bareProbe);
    // This process and both others now do nothing until the time is up.
    Sleep(milliseconds);
    const bool serviceOk = serviceStarted && EndIdle(service.Process(), serviceProbe, serviceIdle);
    if (bareStarted)
        EndIdle(bare.Process(), bareProbe, bareIdle);
    return serviceOk;
}
