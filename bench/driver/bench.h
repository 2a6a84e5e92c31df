// What the benchmark's measures share: the clock, a series of samples, and the
// measures themselves, each of which takes the service's samples in turns with its floor's.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "bench/clock.h"

// One series of timings or amounts, in the order they were taken.
class Samples {
public:
    void Add(double value) { values_.push_back(value); }
    size_t Count() const { return values_.size(); }
    const std::vector<double> &Values() const { return values_; }
    double Median() const { return Percentile(50.0); }
    // Nearest rank; 0 for an empty series.
    double Percentile(double percent) const;
    double Max() const;

private:
    std::vector<double> values_;
};

class TestInstance;

// Every instance and floor runs the simulated library without its call log and capture
// file (SimPrinter::DropRecords): the benchmark times the service, not the simulator's
// records, and the floors run with the same environment and pay the same.

// Starts the instance and serves as after a client's first requests: the printer
// enumerated (its handle to printerHandle, may be null) and the status refreshed once.
bool StartServing(TestInstance &instance, WORD *printerHandle);

// Wine is still busy with a process for a moment after it started or ended: a start
// that follows at once pays for that. Timed single starts wait this long first.
constexpr DWORD kSettleMs = 150;

// Requests to one running instance and to the bare window, all in microseconds.
struct RequestSeries {
    Samples noop, bareNoop;             // 1137
    Samples statusWord;                 // 1128 while no refresh is due
    Samples statusRefresh, bareRefresh; // 1128 with a refresh: the service's, the bare window's hand-off
    Samples packet;                     // 1127, then 1126 until the reply
    Samples packetUnderAlerts;          // the same while a second client posts status alerts
    int alertsRead = 0;                 // status packets met in the stream meanwhile
};

// `rounds` rounds of about 2.15 s, each ending in one refresh-due 1128 on each side, the
// rest filled with the other requests; then `alertTrips` packet round trips under alerts.
bool MeasureRequests(int rounds, int alertTrips, RequestSeries *series);

// One file size: 1134 until the sender thread ended, against the bare loop, microseconds.
struct SenderSeries {
    double megabytes = 0;
    Samples service, bare;
    Samples privateBefore, privatePeak; // bytes, around and during each of the service's sends
};

bool MeasureSender(int megabytes, int runs, SenderSeries *series);

// Start-up and shutdown, microseconds.
struct LifecycleSeries {
    Samples serviceStart; // before process creation until the init event
    Samples bareStart;    // the bare program with the design's steps, the same way
    Samples endJob;       // 1125 until the ready-for-next-job event
};

bool MeasureLifecycle(int cycles, LifecycleSeries *series);

// One idle instance against the bare program with the design's threads, both started
// anew in each repetition, in turns going first.
struct IdleSeries {
    Samples privateBytes, barePrivateBytes;
    Samples handles, bareHandles;
    Samples threads, bareThreads;
    long long wakeUps = -1, bareWakeUps = -1; // times any thread ran during the idle window
    double cpuMs = -1;                        // the instance's threads' CPU time meanwhile
};

bool MeasureIdle(int repetitions, DWORD idleMs, IdleSeries *series);

// `count` instances, one printer each, started one after another and all at once, each
// fleet beside a single start taken just before it; microseconds and bytes.
struct FleetSeries {
    int count = 0;
    Samples singleStart, oneAfterAnother, allAtOnce;
    Samples singlePrivate, fleetPrivate; // one instance's; all of the fleet's together
};

bool MeasureFleet(int count, int repetitions, FleetSeries *series);
