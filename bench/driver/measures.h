// The benchmark's measures. Each runs the service and its floor side by side,
// alternating sample by sample, so that the machine's noise falls on both alike.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "process_activity.h"
#include "process_cost.h"
#include "samples.h"

// Wine is still busy with a process for a moment after it started or ended: a start
// that follows at once pays for that. Single starts wait this long before they launch.
constexpr unsigned long kSettleMs = 150;

class ServiceInstance;
class BareWindow;
class InProcessLibrary;

// Requests to a running instance, all in microseconds.
struct RequestSeries {
    Samples noop;             // 1137 to the service
    Samples bareNoop;         // 1137 to the bare window
    Samples libraryCall;      // TovQueryPrinterStatus in this process
    Samples statusFromWord;   // 1128, no refresh due
    Samples statusRefresh;    // 1128, refresh due, healthy library
    Samples bareRefresh;      // 1128 to the bare window: the same hand-off to a worker thread
    Samples handOff;          // the hand-off alone, between two threads of this process
    Samples ping;             // 1135: a request that makes one library call, for reference
    Samples packet;           // 1127, then 1126 until the reply is there
    int packetExtraReads = 0; // 1126 that found no reply yet
    int wrongAnswers = 0;
};

// `rounds` rounds of about 2.15 s: one refresh-due status request each, the rest of the
// time filled with the other requests.
bool MeasureRequests(ServiceInstance &service, BareWindow &bare, InProcessLibrary &library, int rounds,
                     RequestSeries *series);

// 2,000 packet round trips while a second client posts status alerts (1524) to the
// instance's alert window: the one inbound stream carries both.
struct LoadSeries {
    Samples packet;      // 1127, then 1126 until the echo, microseconds
    int extraReads = 0;  // 1126 that found no reply or an alert
    int repliesLost = 0; // round trips whose echo never came
    int alertsPosted = 0;
    int alertsRead = 0;   // status packets read back through 1126
    int wrongPackets = 0; // anything read that is neither
    Samples alertRead;    // each 1126 that answered an alert, microseconds
};

bool MeasurePacketsUnderAlerts(ServiceInstance &service, int roundTrips, LoadSeries *series);

// The longer of the two missing names whose sends are compared.
constexpr int kLongNameLength = 64;

struct SenderSeries {
    Samples service;        // 1134 until the sender thread ended, microseconds
    Samples bare;           // the bare loop, microseconds
    Samples threadStartEnd; // one empty thread started and waited for in this process, microseconds
    Samples missingFile;    // 1134 for a missing file of a name as long, until its thread ended
    Samples missingStart;   // and until its thread was seen starting
    Samples bareThreadSend; // 1134 to the bare window (an empty thread), until its debugger saw it end
    Samples shortNameStart; // 1134 for a missing name of 1 character until the thread started, when asked for
    Samples longNameStart;  // and of kLongNameLength characters
    Samples privateBytes;   // the instance's private memory during one more send, when asked for
    double fileBytes = 0;
};

// `runs` sends of a file of `megabytes` MB (2^20 bytes) each side, in turns, each with a
// send of a missing file and the bare window's empty thread. The bare window is watched
// as the service is, by a debugger. With `nameLength`, also sends of missing names of
// two lengths.
bool MeasureFileSender(ServiceInstance &service, const BareWindow &bare, const std::string &scratchDirectory,
                       int megabytes, int runs, bool sampleMemory, bool nameLength, SenderSeries *series);

struct LifecycleSeries {
    Samples serviceStart;     // process creation until the init event, microseconds
    Samples bareStart;        // the bare start-up program
    Samples bareLibraryStart; // the bare start-up program that also binds and registers
    Samples libraryBind;      // its own time for binding and registering, microseconds
    Samples bareDesignStart;  // the bare start-up program that also takes the design's other steps
    Samples endJob;           // 1125 until the ready-for-next-job event, microseconds
};

// Starts and ends `cycles` instances, each beside one run of each kind of bare start-up.
bool MeasureLifecycle(int cycles, LifecycleSeries *series);

struct IdleResult {
    double cpuMs = -1;           // the threads' CPU time, to the nanosecond
    long long processTicks = -1; // the whole process's, threads that ended included, 10 ms ticks
    unsigned long long runs = 0; // times any thread was put on a CPU
    int threadsStarted = 0;      // threads there at the end and not at the start
    int threadsEnded = 0;        // and the other way round
    ProcessActivity threads;     // per thread, the differences
    bool ok = false;
};

// Leaves the processes (each found by a text of its command line) alone for
// `milliseconds` and reports what each did meanwhile; false when any could not be read.
bool MeasureIdle(const std::vector<std::string> &commandLineTexts, DWORD milliseconds,
                 std::vector<IdleResult> *results);
// All of them as one.
IdleResult SumIdle(const std::vector<IdleResult> &results);

// One idle instance against the bare program and the bare program with the design's
// steps and library, all three started anew in each repetition, in turns going first.
struct InstanceCostSeries {
    Samples servicePrivate, barePrivate, designPrivate;          // bytes
    Samples serviceWorkingSet, bareWorkingSet, designWorkingSet; // bytes
    ProcessCost service, bare, design;                           // the last repetition's, with every handle
    std::string printerName;                                     // the last repetition's instance
};

bool MeasureInstanceCost(int repetitions, InstanceCostSeries *series);

// Many instances, one printer each: started one after another and all at once, each
// beside a single start taken just before it.
struct FleetSeries {
    std::vector<int> sizes;                 // instances: 1, 8, 32
    Samples singleStart;                    // one instance alone, microseconds
    Samples singlePerRepetition;            // the median of each repetition's single starts
    std::map<int, Samples> oneAfterAnother; // until every instance serves, microseconds, per repetition
    std::map<int, Samples> allAtOnce;
    std::map<int, Samples> privatePerInstance; // bytes, all instances' sum / count, per repetition
    // One after another again, with the settling pause before each launch that a single
    // start has too: the sum of the instances' own starts, per repetition.
    std::map<int, Samples> settledBetween;
    // The floor of a fleet: bare programs with the design's steps and library, alone and
    // one at a time both ways, taken in turns with the instances.
    Samples bareSingleStart;
    Samples bareSinglePerRepetition;
    std::map<int, Samples> bareOneAfterAnother;
    std::map<int, Samples> bareSettledBetween;
    // The largest fleet started one at a time: each start by how many already run, both
    // ways, the instances' and the bare programs'.
    std::vector<Samples> startBeside, settledBeside;
    std::vector<Samples> bareStartBeside, bareSettledBeside;
    IdleResult idle;     // all of the largest fleet, the last repetition
    IdleResult bareIdle; // the bare program beside them
    int fleetIdle = 0;   // instances in that idle window
    int asked = 0;       // 1137 sent, one to each instance of each fleet
    int answered = 0;    // answered 1 by the window published for its own printer
    int strays = 0;      // windows not of the instance's own process or printer
};

bool MeasurePrinters(const std::vector<int> &sizes, int repetitions, DWORD idleMs, FleetSeries *series);
