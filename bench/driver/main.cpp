// qelbench: measures a running qelapp32.exe on the simulated library against the floors
// its design allows, side by side in one run, and writes the table and results.json.
//
//     qelbench.exe --out <folder> [--quick] [--rounds N] [--sender-runs N] [--cycles N] [--idle-ms N]
//                  [--repetitions N] [--load-trips N]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "floor_programs.h"
#include "measures.h"
#include "qelapp32/client.h"
#include "report.h"
#include "service_instance.h"
#include "sim_library.h"

namespace {

// The design's fixed waits.
constexpr double kPostPauseMs = 40.0;
constexpr double kEndJobSleepS = 0.5;
constexpr double kMegabyte = 1024.0 * 1024.0;
// Parts of a long series reported as repetitions.
constexpr int kParts = 3;

struct Options {
    std::string out = ".";
    int rounds = 20;
    int senderRuns = 15;
    int cycles = 24;
    DWORD idleMs = 10000;
    int repetitions = 3;
    int loadTrips = 2000;
    std::vector<int> sizesMb = {1, 10, 100};
    std::vector<int> printers = {1, 8, 32};
    bool printersOnly = false; // only the many-printer measures, to look at them closely
};

bool ParseOptions(int argc, char **argv, Options *options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--out" && hasValue)
            options->out = argv[++i];
        else if (arg == "--rounds" && hasValue)
            options->rounds = std::atoi(argv[++i]);
        else if (arg == "--sender-runs" && hasValue)
            options->senderRuns = std::atoi(argv[++i]);
        else if (arg == "--cycles" && hasValue)
            options->cycles = std::atoi(argv[++i]);
        else if (arg == "--idle-ms" && hasValue)
            options->idleMs = static_cast<DWORD>(std::atoi(argv[++i]));
        else if (arg == "--repetitions" && hasValue)
            options->repetitions = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--load-trips" && hasValue)
            options->loadTrips = std::atoi(argv[++i]);
        else if (arg == "--printers-only")
            options->printersOnly = true;
        else if (arg == "--quick") {
            options->rounds = 3;
            options->senderRuns = 3;
            options->cycles = 3;
            options->idleMs = 3000;
            options->loadTrips = 150;
        } else {
            std::fprintf(stderr, "qelbench: unknown argument %s\n", arg.c_str());
            return false;
        }
    }
    return true;
}

// The library without call log and capture: the settings file of this run, all defaults.
bool PrepareSimulatedLibrary(const std::string &out)
{
    const std::string config = out + "\\sim.ini";
    FILE *file = std::fopen(config.c_str(), "w");
    if (file == nullptr)
        return false;
    std::fprintf(file, "[sim]\n");
    std::fclose(file);
    SetEnvironmentVariableA("QRMTOV_SIM_CONFIG", config.c_str());
    SetEnvironmentVariableA("QRMTOV_SIM_LOG", nullptr);
    SetEnvironmentVariableA("QRMTOV_SIM_CAPTURE", nullptr);
    SetEnvironmentVariableA("QRMTOV_SIM_STORE", (out + "\\store.ini").c_str());
    return true;
}

std::string CountNote(const char *what, size_t service, size_t floor)
{
    char text[160];
    std::snprintf(text, sizeof(text), "%s: %u samples, floor %u samples", what, static_cast<unsigned>(service),
                  static_cast<unsigned>(floor));
    return text;
}

ResultRow RatioRow(const std::string &name, double value, double floor, const char *unit, double goalRatio,
                   const std::string &note)
{
    ResultRow row;
    row.name = name;
    row.value = value;
    row.unit = unit;
    row.floor = floor;
    row.ratio = floor > 0 ? value / floor : 0;
    char goal[48];
    std::snprintf(goal, sizeof(goal), "ratio <= %.2f", goalRatio);
    row.goal = goal;
    row.met = floor > 0 && row.ratio <= goalRatio;
    row.note = note;
    return row;
}

ResultRow ReportedRow(const std::string &name, double value, double floor, const char *unit, const std::string &note)
{
    ResultRow row = RatioRow(name, value, floor, unit, 0, note);
    row.goal = "reported";
    row.met = true;
    return row;
}

// The row's ratio in each of `parts` repetitions taken in turns with the floor.
template <typename RatioOfPart>
ResultRow WithSpread(ResultRow row, int parts, RatioOfPart ratioOfPart)
{
    row.repetitions = parts;
    for (int part = 0; part < parts; ++part) {
        const double ratio = ratioOfPart(part);
        row.spreadLow = part == 0 ? ratio : std::min(row.spreadLow, ratio);
        row.spreadHigh = part == 0 ? ratio : std::max(row.spreadHigh, ratio);
    }
    return row;
}

// The ratio of two series' percentiles within one of `parts` parts.
double PartRatio(const Samples &value, const Samples &floor, int part, int parts, double percent = 50.0)
{
    return value.Part(part, parts).Percentile(percent) / floor.Part(part, parts).Percentile(percent);
}

// Rows of packet round trips against the design's pause: median and p99.
void AddPacketRows(const std::string &name, const Samples &packet, double p99Goal, const std::string &note,
                   std::vector<ResultRow> *rows)
{
    const double percents[] = {50.0, 99.0};
    for (double percent : percents) {
        const bool median = percent == 50.0;
        rows->push_back(WithSpread(
            RatioRow(name + (median ? ", median" : ", p99"), packet.Percentile(percent) / 1e3, kPostPauseMs, "ms",
                     median ? 1.05 : p99Goal, median ? note : ""),
            kParts, [&](int part) { return packet.Part(part, kParts).Percentile(percent) / 1e3 / kPostPauseMs; }));
    }
}

void AddRequestRows(const RequestSeries &series, std::vector<ResultRow> *rows)
{
    const std::string requestNote = CountNote("1137 round trips", series.noop.Count(), series.bareNoop.Count());
    rows->push_back(WithSpread(RatioRow("Request round trip 1137, median", series.noop.Median(),
                                        series.bareNoop.Median(), "us", 1.2, requestNote),
                               kParts,
                               [&](int part) { return PartRatio(series.noop, series.bareNoop, part, kParts); }));
    rows->push_back(WithSpread(RatioRow("Request round trip 1137, p99", series.noop.Percentile(99),
                                        series.bareNoop.Percentile(99), "us", 1.2, ""),
                               kParts,
                               [&](int part) { return PartRatio(series.noop, series.bareNoop, part, kParts, 99.0); }));

    char packetNote[160];
    std::snprintf(packetNote, sizeof(packetNote), "%u samples, %d reads found no reply yet, max %.2f ms",
                  static_cast<unsigned>(series.packet.Count()), series.packetExtraReads, series.packet.Max() / 1e3);
    AddPacketRows("Packet round trip 1127+1126", series.packet, 1.05, packetNote, rows);

    rows->push_back(WithSpread(
        RatioRow("Status byte 1128 from the word, median", series.statusFromWord.Median(), series.noop.Median(), "us",
                 1.2, CountNote("floor: 1137 median", series.statusFromWord.Count(), series.noop.Count())),
        kParts, [&](int part) { return PartRatio(series.statusFromWord, series.noop, part, kParts); }));
    char refreshNote[300];
    std::snprintf(refreshNote, sizeof(refreshNote),
                  "%u samples; floor: 1137 median %.0f us + one TovQueryPrinterStatus %.1f us; the design's hand-off "
                  "to the status thread alone (two threads, two events): %.0f us; 1135 (one library call on the "
                  "main thread) median %.0f us",
                  static_cast<unsigned>(series.statusRefresh.Count()), series.noop.Median(),
                  series.libraryCall.Median(), series.handOff.Median(), series.ping.Median());
    rows->push_back(RatioRow("Status byte 1128 with a refresh, median", series.statusRefresh.Median(),
                             series.noop.Median() + series.libraryCall.Median(), "us", 1.2, refreshNote));
    rows->push_back(WithSpread(
        RatioRow("  same, against a bare window's hand-off", series.statusRefresh.Median(), series.bareRefresh.Median(),
                 "us", 1.2, "floor: bare window, reset/set/wait on two events, worker makes the same call"),
        kParts, [&](int part) { return PartRatio(series.statusRefresh, series.bareRefresh, part, kParts); }));
}

void AddLoadRows(const LoadSeries &series, const Samples &unloaded, std::vector<ResultRow> *rows)
{
    char note[240];
    std::snprintf(note, sizeof(note),
                  "%u round trips while a second client posted a status alert every 10 ms; %d reads found an alert "
                  "or no reply yet; max %.2f ms",
                  static_cast<unsigned>(series.packet.Count()), series.extraReads, series.packet.Max() / 1e3);
    AddPacketRows("Packets under status alerts", series.packet, 1.10, note, rows);
    // What the one stream asks of the client: the alerts queued ahead of the echo are
    // read first, each with a 1126 of its own.
    const double alertsPerTrip = series.packet.Empty() ? 0 : series.alertsRead / double(series.packet.Count());
    char floorNote[200];
    std::snprintf(floorNote, sizeof(floorNote),
                  "floor: round trip without alerts (earlier in this run) %.2f ms + %.2f alerts per trip x %.0f us "
                  "per 1126 that answered an alert",
                  unloaded.Median() / 1e3, alertsPerTrip, series.alertRead.Median());
    rows->push_back(RatioRow("  same, against no alerts plus reading them", series.packet.Median() / 1e3,
                             (unloaded.Median() + alertsPerTrip * series.alertRead.Median()) / 1e3, "ms", 1.05,
                             floorNote));
    ResultRow lost;
    lost.name = "  same, replies and alerts lost";
    lost.value = series.repliesLost + (series.alertsPosted - series.alertsRead) + series.wrongPackets;
    lost.unit = "";
    lost.hasRatio = false;
    lost.goal = "0";
    lost.met = lost.value == 0;
    char count[200];
    std::snprintf(count, sizeof(count), "%d replies lost; %d alerts posted, %d read back; %d packets neither",
                  series.repliesLost, series.alertsPosted, series.alertsRead, series.wrongPackets);
    lost.note = count;
    rows->push_back(lost);
}

void AddSenderRow(const SenderSeries &series, std::vector<ResultRow> *rows)
{
    // Bytes per microsecond is MB/s (10^6 bytes).
    const double service = series.fileBytes / series.service.Median();
    const double bare = series.fileBytes / series.bare.Median();
    ResultRow row;
    char name[64];
    std::snprintf(name, sizeof(name), "File sender %.0f MB, throughput", series.fileBytes / kMegabyte);
    row.name = name;
    row.value = service;
    row.unit = "MB/s";
    row.floor = bare;
    row.ratio = service / bare;
    row.goal = "ratio >= 0.90";
    row.met = row.ratio >= 0.90;
    char note[400];
    std::snprintf(note, sizeof(note),
                  "%u runs each; median %.1f ms (service, 1134 until its thread ended) vs %.1f ms (bare loop); "
                  "one thread's start and end alone: %.2f ms; the bare window's 1134 with a thread, until its "
                  "debugger saw it end: %.2f ms; 1134 for a missing file, until its thread ended: %.2f ms",
                  static_cast<unsigned>(series.service.Count()), series.service.Median() / 1e3,
                  series.bare.Median() / 1e3, series.threadStartEnd.Median() / 1e3,
                  series.bareThreadSend.Median() / 1e3, series.missingFile.Median() / 1e3);
    row.note = note;
    rows->push_back(
        WithSpread(row, kParts, [&](int part) { return PartRatio(series.bare, series.service, part, kParts); }));
    // The design starts a thread per send, and the service's side is timed from 1134 until
    // its debugger saw that thread end: the bare window's 1134 pays for the same.
    const double withThread = series.bare.Median() + series.bareThreadSend.Median();
    ResultRow threaded = RatioRow("  same, against the bare loop and a bare window's 1134 with a thread", service,
                                  series.fileBytes / withThread, "MB/s", 0, "");
    threaded.ratio = service / threaded.floor;
    threaded.goal = row.goal;
    threaded.met = threaded.ratio >= 0.90;
    rows->push_back(WithSpread(threaded, kParts, [&](int part) {
        return (series.bare.Part(part, kParts).Median() + series.bareThreadSend.Part(part, kParts).Median()) /
               series.service.Part(part, kParts).Median();
    }));
    // What is left of a send without its fixed part: the same request for a missing file.
    const double loop = series.service.Median() - series.missingFile.Median();
    ResultRow loopRow =
        RatioRow("  the loop alone: less 1134 for a missing file", series.fileBytes / loop, bare, "MB/s", 0, "");
    loopRow.ratio = loopRow.value / bare;
    loopRow.goal = row.goal;
    loopRow.met = loopRow.ratio >= 0.90;
    rows->push_back(WithSpread(loopRow, kParts, [&](int part) {
        return series.bare.Part(part, kParts).Median() /
               (series.service.Part(part, kParts).Median() - series.missingFile.Part(part, kParts).Median());
    }));
    if (series.privateBytes.Empty())
        return;
    const double before = series.privateBytes.Values().front();
    ResultRow memory;
    std::snprintf(name, sizeof(name), "File sender %.0f MB: private memory growth", series.fileBytes / kMegabyte);
    memory.name = name;
    memory.value = (series.privateBytes.Max() - before) / kMegabyte;
    memory.unit = "MB";
    memory.hasRatio = false;
    memory.goal = "value <= 1 MB";
    memory.met = memory.value <= 1.0;
    char memoryNote[200];
    std::snprintf(memoryNote, sizeof(memoryNote),
                  "%u samples every 10 ms during one more send: before it %.2f MB, highest %.2f MB, at the end %.2f MB",
                  static_cast<unsigned>(series.privateBytes.Count()), before / kMegabyte,
                  series.privateBytes.Max() / kMegabyte, series.privateBytes.Values().back() / kMegabyte);
    memory.note = memoryNote;
    rows->push_back(memory);
}

void AddLifecycleRows(const LifecycleSeries &series, std::vector<ResultRow> *rows)
{
    const double endJob = series.endJob.Median() / 1e6;
    ResultRow end;
    end.name = "ENDJOB until ready-for-next-job, median";
    end.value = endJob;
    end.unit = "s";
    end.floor = kEndJobSleepS;
    end.ratio = endJob / kEndJobSleepS;
    end.goal = "value <= 0.60 s";
    end.met = endJob <= 0.60;
    char endNote[120];
    std::snprintf(endNote, sizeof(endNote), "%u samples, max %.3f s", static_cast<unsigned>(series.endJob.Count()),
                  series.endJob.Max() / 1e6);
    end.note = endNote;
    rows->push_back(end);

    const double library = series.libraryBind.Median() / 1e3;
    const double service = series.serviceStart.Median() / 1e3;
    char note[240];
    std::snprintf(note, sizeof(note),
                  "%u cycles; service %.1f ms as measured, less the library's %.2f ms (load, resolve, ping, "
                  "register, timed inside the bare start-up with library, which took %.1f ms in all)",
                  static_cast<unsigned>(series.serviceStart.Count()), service, library,
                  series.bareLibraryStart.Median() / 1e3);
    const auto startRatio = [&](const Samples &floor) {
        return [&](int part) {
            return (series.serviceStart.Part(part, kParts).Median() - series.libraryBind.Part(part, kParts).Median()) /
                   floor.Part(part, kParts).Median();
        };
    };
    rows->push_back(WithSpread(RatioRow("Start-up until init event, median, no library", service - library,
                                        series.bareStart.Median() / 1e3, "ms", 1.2, note),
                               kParts, startRatio(series.bareStart)));
    rows->push_back(WithSpread(RatioRow("  same, against a bare start with its steps", service - library,
                                        series.bareDesignStart.Median() / 1e3, "ms", 1.2,
                                        "floor: second thread with its own window waited for, two threads on events, "
                                        "component files looked for, three registry accesses"),
                               kParts, startRatio(series.bareDesignStart)));
}

void AddIdleRows(const char *who, const IdleResult &service, const IdleResult &bare, DWORD idleMs,
                 std::vector<ResultRow> *rows)
{
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.0f s", idleMs / 1000.0);
    ResultRow cpu;
    cpu.name = std::string(who) + seconds + ": CPU time, whole process";
    cpu.value = service.cpuMs;
    cpu.unit = "ms";
    cpu.floor = 0;
    cpu.hasRatio = false;
    cpu.goal = "0 ms";
    cpu.met = service.ok && service.cpuMs < 0.5 && service.processTicks == 0;
    char note[240];
    std::snprintf(note, sizeof(note),
                  "threads' time to the ns %.4f ms; whole process, ended threads included, %lld ticks of 10 ms; "
                  "the floor program beside it %.4f ms",
                  service.cpuMs, service.processTicks, bare.cpuMs);
    cpu.note = note;
    rows->push_back(cpu);

    ResultRow wakes;
    wakes.name = std::string(who) + seconds + ": thread wake-ups";
    wakes.value = static_cast<double>(service.runs + service.threadsStarted + service.threadsEnded);
    wakes.unit = "wake-ups";
    wakes.floor = 0;
    wakes.hasRatio = false;
    wakes.goal = "0";
    wakes.met = service.ok && wakes.value == 0;
    std::string threads;
    for (const auto &thread : service.threads) {
        if (thread.second.runs == 0)
            continue;
        char line[96];
        std::snprintf(line, sizeof(line), "%s%lu (%s) ran %llu times", threads.empty() ? "" : "; ", thread.first,
                      thread.second.name.c_str(), thread.second.runs);
        threads += line;
    }
    char count[160];
    std::snprintf(count, sizeof(count), "%u threads watched, %d started, %d ended; the floor program's ran %llu times",
                  static_cast<unsigned>(service.threads.size()), service.threadsStarted, service.threadsEnded,
                  bare.runs);
    wakes.note = threads.empty() ? count : std::string(count) + ": " + threads;
    rows->push_back(wakes);
}

std::string DescribeHandles(const HandleKinds &kinds)
{
    std::string text;
    for (const auto &kind : kinds) {
        text += (text.empty() ? "" : ", ") + std::to_string(kind.second) + " " + kind.first;
    }
    return text.empty() ? "none" : text;
}

// The handles the design asks of an instance beyond the bare program's: its six named
// events, its three workers' thread handles, and what Wine gives a second thread that
// owns a window (the alert thread), read from the bare program with the design's steps,
// which keeps six unnamed events and one thread handle of its own.
HandleKinds DesignHandles(const InstanceCostSeries &series)
{
    HandleKinds design = HandleDifference(HandleDifference(series.design.handleKinds, series.bare.handleKinds),
                                          HandleKinds{{"Event", 6}, {"Thread", 1}});
    design["Thread"] += 3;
    const char *const formats[] = {QEL_EVENT_ALERT_INIT_FORMAT, QEL_EVENT_WRITE_DATA_FORMAT,
                                   QEL_EVENT_GET_STATUS_FORMAT, QEL_EVENT_GOT_STATUS_FORMAT,
                                   QEL_EVENT_INIT_FORMAT,       QEL_EVENT_INIT_CANCEL_FORMAT};
    for (const char *format : formats) {
        char name[300];
        std::snprintf(name, sizeof(name), format, series.printerName.c_str());
        ++design[std::string("Event ") + name];
    }
    return design;
}

DWORD FileSize(const char *program)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExA((BinDirectory() + "\\" + program).c_str(), GetFileExInfoStandard, &data)
               ? data.nFileSizeLow
               : 0;
}

void AddCostRows(const InstanceCostSeries &series, std::vector<ResultRow> *rows)
{
    const int parts = static_cast<int>(series.servicePrivate.Count());
    const struct {
        const char *name;
        const Samples &service;
        const Samples &floor;
        const char *floorName;
    } memory[] = {
        {"Idle instance: private memory", series.servicePrivate, series.barePrivate, "bare program"},
        {"  same, against the bare program with the design's steps", series.servicePrivate, series.designPrivate,
         "bare program with the design's threads, events and library"},
        {"Idle instance: working set", series.serviceWorkingSet, series.bareWorkingSet, "bare program"},
        {"  same, against the bare program with the design's steps", series.serviceWorkingSet, series.designWorkingSet,
         "bare program with the design's threads, events and library"},
    };
    for (const auto &row : memory) {
        char note[200];
        std::snprintf(note, sizeof(note), "%d repetitions; floor: %s, %.2f MB", parts, row.floorName,
                      row.floor.Median() / kMegabyte);
        rows->push_back(WithSpread(
            RatioRow(row.name, row.service.Median() / kMegabyte, row.floor.Median() / kMegabyte, "MB", 1.5, note),
            parts, [&](int part) { return PartRatio(row.service, row.floor, part, parts); }));
    }

    ResultRow threads = RatioRow("Idle instance: threads", series.service.threads, series.bare.threads, "", 0, "");
    threads.goal = "floor + 3";
    threads.met = series.service.threads == series.bare.threads + 3;
    char threadNote[160];
    std::snprintf(threadNote, sizeof(threadNote),
                  "the design's: main, alert, write, status; the bare program with the design's steps has %d",
                  series.design.threads);
    threads.note = threadNote;
    rows->push_back(threads);

    const HandleKinds extra = HandleDifference(series.service.handleKinds, series.bare.handleKinds);
    const HandleKinds design = DesignHandles(series);
    int designCount = 0;
    for (const auto &kind : design)
        designCount += kind.second;
    ResultRow handles = RatioRow("Idle instance: handles", series.service.handles, series.bare.handles, "", 0, "");
    handles.goal = "floor + " + std::to_string(designCount) + ", the design's";
    handles.met = extra == design;
    handles.note = "beyond the bare program's: " + DescribeHandles(extra) +
                   (handles.met ? "" : "; the design's would be: " + DescribeHandles(design));
    rows->push_back(handles);

    const double service = FileSize("qelapp32.exe") / 1024.0;
    rows->push_back(ReportedRow("Executable size on disk", service, FileSize("bench_bare_startup.exe") / 1024.0, "KB",
                                "floor: bench_bare_startup.exe; bench_bare_window.exe (no C++ library) " +
                                    std::to_string(FileSize("bench_bare_window.exe") / 1024) + " KB"));
}

// A fleet started one at a time against N single starts, in each repetition.
double FleetRatio(const Samples &fleet, const Samples &singlePerRepetition, int count, int part)
{
    return fleet.Values()[part] / (count * singlePerRepetition.Values()[part]);
}

// What any program pays to start right after another one: bare programs with the design's
// steps and library, started one after another, against N started alone; the instances'
// fleet against that floor, scaled by the two single starts; and both started one at a
// time with the single start's settling pause before each launch.
void AddBareFleetRows(const FleetSeries &series, int count, std::vector<ResultRow> *rows)
{
    const int parts = static_cast<int>(series.bareSinglePerRepetition.Count());
    const Samples &bare = series.bareOneAfterAnother.at(count);
    const Samples &service = series.oneAfterAnother.at(count);
    const double bareSingle = series.bareSingleStart.Median() / 1e3;
    const double single = series.singleStart.Median() / 1e3;
    char name[96];
    char note[200];
    std::snprintf(name, sizeof(name), "  floor: %d bare programs with the design's steps one after another", count);
    std::snprintf(note, sizeof(note), "%d repetitions; floor: %d x one started alone, median %.1f ms of %u", parts,
                  count, bareSingle, static_cast<unsigned>(series.bareSingleStart.Count()));
    rows->push_back(
        WithSpread(ReportedRow(name, bare.Median() / 1e3, count * bareSingle, "ms", note), parts,
                   [&](int part) { return FleetRatio(bare, series.bareSinglePerRepetition, count, part); }));
    std::snprintf(name, sizeof(name), "  %d printers one after another, against that floor", count);
    std::snprintf(note, sizeof(note),
                  "floor: the bare fleet's time x the single start's %.1f ms / the bare single start's %.1f ms", single,
                  bareSingle);
    rows->push_back(
        WithSpread(RatioRow(name, service.Median() / 1e3, bare.Median() / 1e3 * single / bareSingle, "ms", 1.2, note),
                   parts, [&](int part) {
                       return FleetRatio(service, series.singlePerRepetition, count, part) /
                              FleetRatio(bare, series.bareSinglePerRepetition, count, part);
                   }));

    const Samples &settled = series.settledBetween.at(count);
    const Samples &bareSettled = series.bareSettledBetween.at(count);
    std::snprintf(name, sizeof(name), "  %d printers one after another, %lu ms before each: the starts", count,
                  kSettleMs);
    std::snprintf(note, sizeof(note),
                  "%d repetitions; the sum of the instances' own starts; floor: %d x the single start's median", parts,
                  count);
    rows->push_back(WithSpread(RatioRow(name, settled.Median() / 1e3, count * single, "ms", 1.2, note), parts,
                               [&](int part) { return FleetRatio(settled, series.singlePerRepetition, count, part); }));
    std::snprintf(name, sizeof(name), "  floor: %d bare programs the same way", count);
    std::snprintf(note, sizeof(note), "%d repetitions; floor: %d x one started alone", parts, count);
    rows->push_back(
        WithSpread(ReportedRow(name, bareSettled.Median() / 1e3, count * bareSingle, "ms", note), parts,
                   [&](int part) { return FleetRatio(bareSettled, series.bareSinglePerRepetition, count, part); }));
}

void AddPrinterRows(const FleetSeries &series, DWORD idleMs, std::vector<ResultRow> *rows)
{
    const int parts = static_cast<int>(series.singlePerRepetition.Count());
    const double single = series.singleStart.Median() / 1e3;
    for (int count : series.sizes) {
        for (int allAtOnce = 0; allAtOnce < 2; ++allAtOnce) {
            const Samples &starts = (allAtOnce ? series.allAtOnce : series.oneAfterAnother).at(count);
            char name[64];
            std::snprintf(name, sizeof(name), "%d printer%s %s, until all serve", count, count == 1 ? "" : "s",
                          allAtOnce ? "all at once" : "one after another");
            char note[160];
            std::snprintf(note, sizeof(note),
                          "%d repetitions; floor: %d x the single start's median, %.1f ms, "
                          "of %u single starts taken between",
                          parts, count, single, static_cast<unsigned>(series.singleStart.Count()));
            ResultRow row = RatioRow(name, starts.Median() / 1e3, count * single, "ms", 1.2, note);
            if (allAtOnce) {
                row.goal = "reported";
                row.met = true;
            }
            rows->push_back(WithSpread(row, parts, [&](int part) {
                return starts.Values()[part] / (count * series.singlePerRepetition.Values()[part]);
            }));
            if (!allAtOnce && count > 1)
                AddBareFleetRows(series, count, rows);
        }
    }
    const int largest = series.sizes.back();
    const Samples &one = series.privatePerInstance.at(series.sizes.front());
    const Samples &many = series.privatePerInstance.at(largest);
    char name[64];
    std::snprintf(name, sizeof(name), "%d printers: private memory, all instances", largest);
    char note[120];
    std::snprintf(note, sizeof(note), "floor: %d x one instance alone, %.2f MB", largest, one.Median() / kMegabyte);
    rows->push_back(WithSpread(
        RatioRow(name, largest * many.Median() / kMegabyte, largest * one.Median() / kMegabyte, "MB", 1.05, note),
        parts, [&](int part) { return many.Values()[part] / one.Values()[part]; }));
    std::snprintf(name, sizeof(name), "%d printers idle ", series.fleetIdle);
    AddIdleRows(name, series.idle, series.bareIdle, idleMs, rows);
    ResultRow own = RatioRow("Each instance answers its own 1137", series.answered, series.asked, "", 0, "");
    own.goal = "all, none another's";
    own.met = series.answered == series.asked && series.strays == 0;
    char ownNote[160];
    std::snprintf(ownNote, sizeof(ownNote),
                  "1137 to the window published for each printer, in every fleet started; %d windows not of the "
                  "instance's own process or printer",
                  series.strays);
    own.note = ownNote;
    rows->push_back(own);
}

// Opens the file, lets `write` fill it and closes it; false when it could not be written.
template <typename Write>
bool WriteTextFile(const std::string &path, Write write)
{
    FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return false;
    write(file);
    return std::fclose(file) == 0;
}

// Data for the plots: cost against file size, against the number of printers, and each
// start of the largest fleet by how many already run.
bool WritePlotData(const std::string &out, const std::vector<SenderSeries> &senders, const FleetSeries &fleet)
{
    bool ok = WriteTextFile(out + "\\sender-sizes.txt", [&](FILE *sizes) {
        std::fprintf(sizes, "# MB service_MB/s bare_MB/s (10^6 bytes per second)\n");
        for (const SenderSeries &sender : senders) {
            std::fprintf(sizes, "%.0f %.2f %.2f\n", sender.fileBytes / kMegabyte,
                         sender.fileBytes / sender.service.Median(), sender.fileBytes / sender.bare.Median());
        }
    });
    ok =
        WriteTextFile(
            out + "\\printers.txt",
            [&](FILE *printers) {
                std::fprintf(printers, "# printers one_after_another_ms all_at_once_ms n_x_single_ms "
                                       "private_MB_per_instance settled_between_ms (a single start is settled: its "
                                       "one-after-another time)\n");
                for (int count : fleet.sizes) {
                    const auto settled = fleet.settledBetween.find(count);
                    const Samples &settledStarts =
                        settled != fleet.settledBetween.end() ? settled->second : fleet.oneAfterAnother.at(count);
                    std::fprintf(printers, "%d %.1f %.1f %.1f %.3f %.1f\n", count,
                                 fleet.oneAfterAnother.at(count).Median() / 1e3,
                                 fleet.allAtOnce.at(count).Median() / 1e3, count * fleet.singleStart.Median() / 1e3,
                                 fleet.privatePerInstance.at(count).Median() / kMegabyte, settledStarts.Median() / 1e3);
                }
            }) &&
        ok;
    ok = WriteTextFile(
             out + "\\printers-beside.txt",
             [&](FILE *beside) {
                 std::fprintf(beside, "# already_running start_ms bare_start_ms settled_start_ms bare_settled_start_ms "
                                      "(medians; one after another, then with the settling pause before each)\n");
                 const size_t positions = std::min({fleet.startBeside.size(), fleet.bareStartBeside.size(),
                                                    fleet.settledBeside.size(), fleet.bareSettledBeside.size()});
                 for (size_t i = 0; i < positions; ++i) {
                     std::fprintf(beside, "%u %.1f %.1f %.1f %.1f\n", static_cast<unsigned>(i),
                                  fleet.startBeside[i].Median() / 1e3, fleet.bareStartBeside[i].Median() / 1e3,
                                  fleet.settledBeside[i].Median() / 1e3, fleet.bareSettledBeside[i].Median() / 1e3);
                 }
             }) &&
         ok;
    return ok;
}

} // namespace

// The fixed part of a send on its own: 1134 for a missing file against the bare window's
// 1134 with a thread, and what the name's length adds before the sender thread starts.
void AddSenderFixedRow(const SenderSeries &series, std::vector<ResultRow> *rows)
{
    char note[320];
    const double perCharacter =
        (series.longNameStart.Median() - series.shortNameStart.Median()) / (kLongNameLength - 1);
    std::snprintf(note, sizeof(note),
                  "%u runs each, name as long as the %.0f MB file's; its thread seen starting %.2f ms after 1134; "
                  "for a missing name of 1 character %.2f ms, of %d characters %.2f ms: %.0f us per character",
                  static_cast<unsigned>(series.missingFile.Count()), series.fileBytes / kMegabyte,
                  series.missingStart.Median() / 1e3, series.shortNameStart.Median() / 1e3, kLongNameLength,
                  series.longNameStart.Median() / 1e3, perCharacter);
    ResultRow row = ReportedRow("File sender: 1134 for a missing file, until its thread ended",
                                series.missingFile.Median() / 1e3, series.bareThreadSend.Median() / 1e3, "ms", note);
    rows->push_back(WithSpread(
        row, kParts, [&](int part) { return PartRatio(series.missingFile, series.bareThreadSend, part, kParts); }));
}

int MeasurePrintersOnly(const Options &options)
{
    FleetSeries fleet;
    std::printf("qelbench: many printers only, %d repetitions\n", options.repetitions);
    std::fflush(stdout);
    if (!MeasurePrinters(options.printers, options.repetitions, options.idleMs, &fleet))
        return 1;
    std::vector<ResultRow> rows;
    AddPrinterRows(fleet, options.idleMs, &rows);
    PrintTable(rows);
    WriteValues(options.out + "\\single-start-ms.txt", fleet.singleStart.Values(), 1e-3);
    if (!WritePlotData(options.out, {}, fleet) || !WriteJson(options.out + "\\results.json", rows)) {
        std::fprintf(stderr, "qelbench: cannot write the results\n");
        return 1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options))
        return 2;
    CreateDirectoryA(options.out.c_str(), nullptr);
    if (!PrepareSimulatedLibrary(options.out)) {
        std::fprintf(stderr, "qelbench: cannot write to %s\n", options.out.c_str());
        return 1;
    }
    InProcessLibrary library;
    if (!library.IsLoaded()) {
        std::fprintf(stderr, "qelbench: QRMTOV.DLL not found beside qelbench.exe\n");
        return 1;
    }

    RequestSeries requests;
    LoadSeries load;
    std::vector<SenderSeries> senders(options.sizesMb.size());
    std::vector<IdleResult> idle;
    LifecycleSeries lifecycle;
    InstanceCostSeries cost;
    FleetSeries fleet;
    if (options.printersOnly)
        return MeasurePrintersOnly(options);
    {
        BareWindow bare;
        ServiceInstance service;
        if (!bare.Start() || service.Start() < 0) {
            std::fprintf(stderr, "qelbench: could not start the service or the bare window\n");
            return 1;
        }
        std::printf("qelbench: requests, %d rounds of 2.15 s\n", options.rounds);
        std::fflush(stdout);
        if (!MeasureRequests(service, bare, library, options.rounds, &requests))
            return 1;
        for (size_t i = 0; i < senders.size(); ++i) {
            // Large files take long: fewer runs, never fewer than the repetitions.
            const int megabytes = options.sizesMb[i];
            const int runs =
                megabytes >= 100 ? std::max(options.repetitions, options.senderRuns * 2 / 5) : options.senderRuns;
            std::printf("qelbench: file sender, %d MB, %d runs each\n", megabytes, runs);
            std::fflush(stdout);
            if (!MeasureFileSender(service, bare, options.out, megabytes, runs, i + 1 == senders.size(), i == 0,
                                   &senders[i]))
                return 1;
        }
        std::printf("qelbench: %d packet round trips under status alerts\n", options.loadTrips);
        std::fflush(stdout);
        if (!MeasurePacketsUnderAlerts(service, options.loadTrips, &load)) {
            std::fprintf(stderr, "qelbench: could not run packets under alerts\n");
            return 1;
        }
        std::printf("qelbench: idle, %.0f s\n", options.idleMs / 1000.0);
        std::fflush(stdout);
        if (!MeasureIdle({service.PrinterName(), bare.Name()}, options.idleMs, &idle))
            std::fprintf(stderr, "qelbench: could not read the idle processes' threads\n");
        const double endJob = service.EndJob();
        if (endJob < 0)
            return 1;
        lifecycle.endJob.Add(endJob);
    }
    std::printf("qelbench: start-up and ENDJOB, %d cycles\n", options.cycles);
    std::fflush(stdout);
    if (!MeasureLifecycle(options.cycles, &lifecycle))
        return 1;
    std::printf("qelbench: one idle instance, %d repetitions\n", options.repetitions);
    std::fflush(stdout);
    if (!MeasureInstanceCost(options.repetitions, &cost))
        return 1;
    std::printf("qelbench: many printers, %d repetitions\n", options.repetitions);
    std::fflush(stdout);
    if (!MeasurePrinters(options.printers, options.repetitions, options.idleMs, &fleet))
        return 1;

    std::vector<ResultRow> rows;
    AddRequestRows(requests, &rows);
    for (const SenderSeries &sender : senders)
        AddSenderRow(sender, &rows);
    if (!senders.empty())
        AddSenderFixedRow(senders.front(), &rows);
    AddLifecycleRows(lifecycle, &rows);
    AddIdleRows("Idle ", idle[0], idle[1], options.idleMs, &rows);
    AddLoadRows(load, requests.packet, &rows);
    AddCostRows(cost, &rows);
    AddPrinterRows(fleet, options.idleMs, &rows);
    PrintTable(rows);
    // Every sample, for the plots and for a closer look.
    std::vector<std::pair<std::string, const Samples *>> perSize;
    for (size_t i = 0; i < senders.size(); ++i) {
        const std::string size = std::to_string(options.sizesMb[i]) + "mb";
        perSize.push_back({"sender-" + size + "-ms.txt", &senders[i].service});
        perSize.push_back({"bare-loop-" + size + "-ms.txt", &senders[i].bare});
    }
    for (const auto &entry : perSize)
        WriteValues(options.out + "\\" + entry.first, entry.second->Values(), 1e-3);
    if (!WritePlotData(options.out, senders, fleet))
        std::fprintf(stderr, "qelbench: cannot write the plots' data\n");
    const struct {
        const char *file;
        const Samples &samples;
        double scale;
    } series[] = {
        {"packet-rtt-ms.txt", requests.packet, 1e-3},
        {"packet-load-ms.txt", load.packet, 1e-3},
        {"noop-us.txt", requests.noop, 1.0},
        {"bare-noop-us.txt", requests.bareNoop, 1.0},
        {"status-word-us.txt", requests.statusFromWord, 1.0},
        {"status-refresh-us.txt", requests.statusRefresh, 1.0},
        {"bare-refresh-us.txt", requests.bareRefresh, 1.0},
        {"library-call-us.txt", requests.libraryCall, 1.0},
        {"ping-us.txt", requests.ping, 1.0},
        {"hand-off-us.txt", requests.handOff, 1.0},
        {"sender-private-mb.txt", senders.back().privateBytes, 1.0 / kMegabyte},
        {"start-ms.txt", lifecycle.serviceStart, 1e-3},
        {"bare-start-ms.txt", lifecycle.bareStart, 1e-3},
        {"bare-library-start-ms.txt", lifecycle.bareLibraryStart, 1e-3},
        {"library-bind-ms.txt", lifecycle.libraryBind, 1e-3},
        {"bare-design-start-ms.txt", lifecycle.bareDesignStart, 1e-3},
        {"endjob-ms.txt", lifecycle.endJob, 1e-3},
        {"single-start-ms.txt", fleet.singleStart, 1e-3},
    };
    for (const auto &entry : series)
        WriteValues(options.out + "\\" + entry.file, entry.samples.Values(), entry.scale);
    if (!WriteJson(options.out + "\\results.json", rows)) {
        std::fprintf(stderr, "qelbench: cannot write results.json\n");
        return 1;
    }
    int missed = 0;
    for (const ResultRow &row : rows)
        missed += row.met ? 0 : 1;
    std::printf("qelbench: %d of %u goals missed\n", missed, static_cast<unsigned>(rows.size()));
    return 0;
}
