// The benchmark's measures. Each runs the service and its floor side by side,
// alternating sample by sample, so that the machine's noise falls on both alike.
#pragma once

#include <string>

#include "process_activity.h"
#include "samples.h"

class ServiceInstance;
class BareWindow;
class InProcessLibrary;

// Requests to a running instance, all in microseconds.
struct RequestSeries {
    Samples noop;            // 1137 to the service
    Samples bareNoop;        // 1137 to the bare window
    Samples libraryCall;     // TovQueryPrinterStatus in this process
    Samples statusFromWord;  // 1128, no refresh due
    Samples statusRefresh;   // 1128, refresh due, healthy library
    Samples bareRefresh;     // 1128 to the bare window: the same hand-off to a worker thread
    Samples handOff;         // the hand-off alone, between two threads of this process
    Samples ping;            // 1135: a request that makes one library call, for reference
    Samples packet;          // 1127, then 1126 until the reply is there
    int packetExtraReads = 0; // 1126 that found no reply yet
    int wrongAnswers = 0;
};

// `rounds` rounds of about 2.15 s: one refresh-due status request each, the rest of the
// time filled with the other requests.
bool MeasureRequests(ServiceInstance &service, BareWindow &bare, InProcessLibrary &library, int rounds,
                     RequestSeries *series);

struct SenderSeries {
    Samples service; // 1134 until the sender thread ended, microseconds
    Samples bare;    // the bare loop, microseconds
    Samples threadStartEnd; // one empty thread started and waited for in this process, microseconds
    double fileBytes = 0;
};

bool MeasureFileSender(ServiceInstance &service, const std::string &scratchDirectory, int runs,
                       SenderSeries *series);

struct LifecycleSeries {
    Samples serviceStart;      // process creation until the init event, microseconds
    Samples bareStart;         // the bare start-up program
    Samples bareLibraryStart;  // the bare start-up program that also binds and registers
    Samples libraryBind;       // its own time for binding and registering, microseconds
    Samples bareDesignStart;   // the bare start-up program that also takes the design's other steps
    Samples endJob;            // 1125 until the ready-for-next-job event, microseconds
};

// Starts and ends `cycles` instances, each beside one run of each kind of bare start-up.
bool MeasureLifecycle(int cycles, LifecycleSeries *series);

struct IdleResult {
    double cpuMs = -1;                  // the threads' CPU time, to the nanosecond
    long long processTicks = -1;        // the whole process's, threads that ended included, 10 ms ticks
    unsigned long long runs = 0;        // times any thread was put on a CPU
    int threadsStarted = 0;             // threads there at the end and not at the start
    int threadsEnded = 0;               // and the other way round
    ProcessActivity threads;            // per thread, the differences
    bool ok = false;
};

// Leaves both processes alone for `milliseconds` and reports what they did meanwhile.
bool MeasureIdle(const ServiceInstance &service, const BareWindow &bare, DWORD milliseconds,
                 IdleResult *serviceIdle, IdleResult *bareIdle);
