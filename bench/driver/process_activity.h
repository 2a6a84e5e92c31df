// What a Wine process's threads did, read from the Linux side through Wine's Z: drive
// (/proc): CPU time to the nanosecond and the number of times each thread ran.
#pragma once

#include <windows.h>

#include <map>
#include <string>

struct ThreadActivity {
    std::string name; // the thread's comm
    unsigned long long runNs = 0;
    unsigned long long runs = 0; // times the thread was put on a CPU
};

// Linux thread id to its activity so far.
using ProcessActivity = std::map<unsigned long, ThreadActivity>;

// The Linux process id of the Wine process whose command line contains the text; 0 if none.
unsigned long FindUnixProcessId(const std::string &commandLineText);
bool ReadProcessActivity(unsigned long unixPid, ProcessActivity *activity);
// User plus system time of the whole process, threads that ended included, in clock
// ticks (10 ms); negative when it cannot be read.
long long ReadProcessTicks(unsigned long unixPid);
