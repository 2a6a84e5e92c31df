#include "measures.h"

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

bool MeasureIdle(const std::vector<std::string> &commandLineTexts, DWORD milliseconds, std::vector<IdleResult> *results)
{
    std::vector<IdleProbe> probes(commandLineTexts.size());
    std::vector<bool> started(commandLineTexts.size());
    for (size_t i = 0; i < probes.size(); ++i)
        started[i] = BeginIdle(FindUnixProcessId(commandLineTexts[i]), &probes[i]);
    // This process and all others now do nothing until the time is up.
    Sleep(milliseconds);
    results->assign(probes.size(), IdleResult());
    bool ok = true;
    for (size_t i = 0; i < probes.size(); ++i)
        ok = started[i] && EndIdle(probes[i], &(*results)[i]) && ok;
    return ok;
}

IdleResult SumIdle(const std::vector<IdleResult> &results)
{
    IdleResult total;
    total.cpuMs = 0;
    total.processTicks = 0;
    total.ok = !results.empty();
    for (const IdleResult &result : results) {
        total.cpuMs += result.cpuMs;
        total.processTicks += result.processTicks;
        total.runs += result.runs;
        total.threadsStarted += result.threadsStarted;
        total.threadsEnded += result.threadsEnded;
        total.threads.insert(result.threads.begin(), result.threads.end());
        total.ok = total.ok && result.ok;
    }
    return total;
}
