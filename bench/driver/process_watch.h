// What another process's threads did, read from outside through Wine's Z: drive: Linux's
// own account of each thread (/proc/<pid>/task/<tid>/schedstat: time on a CPU and times
// run).
#pragma once

#include <windows.h>

#include <map>
#include <string>

// Linux thread id to {nanoseconds on a CPU, times put on a CPU} so far.
struct ThreadRuns {
    unsigned long long runNs = 0;
    unsigned long long runs = 0;
};
using ProcessRuns = std::map<unsigned long, ThreadRuns>;

// The Linux process id of the Wine process whose command line holds the text; 0 if none.
unsigned long FindUnixProcessId(const std::string &commandLineText);
bool ReadProcessRuns(unsigned long unixPid, ProcessRuns *runs);

// What the threads did between two readings: every run counts as a wake-up, and so does
// every thread that started or ended in between.
struct Activity {
    long long wakeUps = 0;
    double cpuMs = 0;
};
Activity ActivityBetween(const ProcessRuns &before, const ProcessRuns &after);
