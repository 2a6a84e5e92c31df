// The scale of the reliability battery. Every test run uses the short scale; a person
// starts the long one by hand with --long (or QEL_RELIABILITY_LONG=1), as
// scripts/reliability-long.sh does. The random tests draw from a fixed seed that is
// printed, so a failure can be replayed with --seed=<n> (or QEL_RELIABILITY_SEED).
#pragma once

#include <windows.h>

#include <cstdint>
#include <random>
#include <string>

struct BatteryScale {
    bool isLong = false;
    uint32_t seed = 0;
    int stormMessages = 0;   // client messages of the storm
    int loadPackets = 0;     // packets through 1127/1126 under sustained load
    int lifecycleCycles = 0; // start/stop cycles of one printer
    int commandLines = 0;    // odd command lines started end to end
    int queueMessages = 0;   // messages per producer through the real queues
};

const BatteryScale &Battery();

// Reads --long and --seed=<n> (and their environment variables) once, before the tests.
void ConfigureBattery(int argc, char **argv);

// A generator for one test: the battery's seed mixed with the test's own salt, printed.
std::mt19937 MakeGenerator(const char *salt);

// One line of figures for the output and the test's XML properties; the long script
// collects these lines for docs/reliability.md.
void ReportFigure(const std::string &name, const std::string &value);

// Milliseconds since an earlier GetTickCount64().
inline ULONGLONG ElapsedMs(ULONGLONG since)
{
    return GetTickCount64() - since;
}
