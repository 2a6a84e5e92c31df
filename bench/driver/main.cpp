// qelbench: measures a running qelapp32.exe on the simulated library against the floors
// its design allows, side by side in one run, and writes the table and results.json.
//
//     qelbench.exe --out <folder> [--quick] [--rounds N] [--sender-runs N] [--cycles N] [--idle-ms N]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "floor_programs.h"
#include "measures.h"
#include "report.h"
#include "service_instance.h"
#include "sim_library.h"

namespace {

// The design's fixed waits.
constexpr double kPostPauseMs = 40.0;
constexpr double kEndJobSleepS = 0.5;

struct Options {
    std::string out = ".";
    int rounds = 20;
    int senderRuns = 15;
    int cycles = 24;
    DWORD idleMs = 10000;
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
        else if (arg == "--quick") {
            options->rounds = 3;
            options->senderRuns = 3;
            options->cycles = 3;
            options->idleMs = 3000;
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

void AddRequestRows(const RequestSeries &series, std::vector<ResultRow> *rows)
{
    const std::string requestNote = CountNote("1137 round trips", series.noop.Count(), series.bareNoop.Count());
    rows->push_back(RatioRow("Request round trip 1137, median", series.noop.Median(), series.bareNoop.Median(),
                             "us", 1.2, requestNote));
    rows->push_back(RatioRow("Request round trip 1137, p99", series.noop.Percentile(99),
                             series.bareNoop.Percentile(99), "us", 1.2, ""));

    char packetNote[160];
    std::snprintf(packetNote, sizeof(packetNote), "%u samples, %d reads found no reply yet, max %.2f ms",
                  static_cast<unsigned>(series.packet.Count()), series.packetExtraReads, series.packet.Max() / 1e3);
    rows->push_back(RatioRow("Packet round trip 1127+1126, median", series.packet.Median() / 1e3, kPostPauseMs, "ms",
                             1.05, packetNote));
    rows->push_back(RatioRow("Packet round trip 1127+1126, p99", series.packet.Percentile(99) / 1e3, kPostPauseMs,
                             "ms", 1.05, ""));

    rows->push_back(RatioRow("Status byte 1128 from the word, median", series.statusFromWord.Median(),
                             series.noop.Median(), "us", 1.2,
                             CountNote("floor: 1137 median", series.statusFromWord.Count(), series.noop.Count())));
    char refreshNote[300];
    std::snprintf(refreshNote, sizeof(refreshNote),
                  "%u samples; floor: 1137 median %.0f us + one TovQueryPrinterStatus %.1f us; the design's hand-off "
                  "to the status thread alone (two threads, two events): %.0f us; 1135 (one library call on the "
                  "main thread) median %.0f us",
                  static_cast<unsigned>(series.statusRefresh.Count()), series.noop.Median(),
                  series.libraryCall.Median(), series.handOff.Median(), series.ping.Median());
    rows->push_back(RatioRow("Status byte 1128 with a refresh, median", series.statusRefresh.Median(),
                             series.noop.Median() + series.libraryCall.Median(), "us", 1.2, refreshNote));
    rows->push_back(RatioRow("  same, against a bare window's hand-off", series.statusRefresh.Median(),
                             series.bareRefresh.Median(), "us", 1.2,
                             "floor: bare window, reset/set/wait on two events, worker makes the same call"));
}

void AddSenderRow(const SenderSeries &series, std::vector<ResultRow> *rows)
{
    // Bytes per microsecond is MB/s (10^6 bytes).
    const double service = series.fileBytes / series.service.Median();
    const double bare = series.fileBytes / series.bare.Median();
    ResultRow row;
    row.name = "File sender 10 MB, throughput";
    row.value = service;
    row.unit = "MB/s";
    row.floor = bare;
    row.ratio = service / bare;
    row.goal = "ratio >= 0.90";
    row.met = row.ratio >= 0.90;
    char note[220];
    std::snprintf(note, sizeof(note),
                  "%u runs each; median %.1f ms (service, 1134 until its thread ended) vs %.1f ms (bare loop); "
                  "one thread's start and end alone: %.2f ms",
                  static_cast<unsigned>(series.service.Count()), series.service.Median() / 1e3,
                  series.bare.Median() / 1e3, series.threadStartEnd.Median() / 1e3);
    row.note = note;
    rows->push_back(row);
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
    rows->push_back(RatioRow("Start-up until init event, median, no library", service - library,
                             series.bareStart.Median() / 1e3, "ms", 1.2, note));
    rows->push_back(RatioRow("  same, against a bare start with its steps", service - library,
                             series.bareDesignStart.Median() / 1e3, "ms", 1.2,
                             "floor: second thread with its own window waited for, two threads on events, component "
                             "files looked for, three registry accesses"));
}

void AddIdleRows(const IdleResult &service, const IdleResult &bare, DWORD idleMs, std::vector<ResultRow> *rows)
{
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.0f s", idleMs / 1000.0);
    ResultRow cpu;
    cpu.name = std::string("Idle ") + seconds + ": CPU time, whole process";
    cpu.value = service.cpuMs;
    cpu.unit = "ms";
    cpu.floor = 0;
    cpu.hasRatio = false;
    cpu.goal = "0 ms";
    cpu.met = service.ok && service.cpuMs < 0.5 && service.processTicks == 0;
    char note[240];
    std::snprintf(note, sizeof(note),
                  "threads' time to the ns %.4f ms; whole process, ended threads included, %lld ticks of 10 ms; "
                  "the bare window beside it %.4f ms",
                  service.cpuMs, service.processTicks, bare.cpuMs);
    cpu.note = note;
    rows->push_back(cpu);

    ResultRow wakes;
    wakes.name = std::string("Idle ") + seconds + ": thread wake-ups";
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
    std::snprintf(count, sizeof(count), "%u threads watched, %d started, %d ended; the bare window's ran %llu times",
                  static_cast<unsigned>(service.threads.size()), service.threadsStarted, service.threadsEnded,
                  bare.runs);
    wakes.note = threads.empty() ? count : std::string(count) + ": " + threads;
    rows->push_back(wakes);
}

} // namespace

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
    SenderSeries sender;
    IdleResult serviceIdle;
    IdleResult bareIdle;
    LifecycleSeries lifecycle;
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
        std::printf("qelbench: file sender, %d runs each\n", options.senderRuns);
        std::fflush(stdout);
        if (!MeasureFileSender(service, options.out, options.senderRuns, &sender))
            return 1;
        std::printf("qelbench: idle, %.0f s\n", options.idleMs / 1000.0);
        std::fflush(stdout);
        if (!MeasureIdle(service, bare, options.idleMs, &serviceIdle, &bareIdle))
            std::fprintf(stderr, "qelbench: could not read the idle service's threads\n");
        const double endJob = service.EndJob();
        if (endJob < 0)
            return 1;
        lifecycle.endJob.Add(endJob);
    }
    std::printf("qelbench: start-up and ENDJOB, %d cycles\n", options.cycles);
    std::fflush(stdout);
    if (!MeasureLifecycle(options.cycles, &lifecycle))
        return 1;

    std::vector<ResultRow> rows;
    AddRequestRows(requests, &rows);
    AddSenderRow(sender, &rows);
    AddLifecycleRows(lifecycle, &rows);
    AddIdleRows(serviceIdle, bareIdle, options.idleMs, &rows);
    PrintTable(rows);
    // Every sample, for the plot and for a closer look.
    const struct {
        const char *file;
        const Samples &samples;
        double scale;
    } series[] = {
        {"packet-rtt-ms.txt", requests.packet, 1e-3},
        {"noop-us.txt", requests.noop, 1.0},
        {"bare-noop-us.txt", requests.bareNoop, 1.0},
        {"status-word-us.txt", requests.statusFromWord, 1.0},
        {"status-refresh-us.txt", requests.statusRefresh, 1.0},
        {"bare-refresh-us.txt", requests.bareRefresh, 1.0},
        {"library-call-us.txt", requests.libraryCall, 1.0},
        {"ping-us.txt", requests.ping, 1.0},
        {"hand-off-us.txt", requests.handOff, 1.0},
        {"sender-ms.txt", sender.service, 1e-3},
        {"bare-loop-ms.txt", sender.bare, 1e-3},
        {"start-ms.txt", lifecycle.serviceStart, 1e-3},
        {"bare-start-ms.txt", lifecycle.bareStart, 1e-3},
        {"bare-library-start-ms.txt", lifecycle.bareLibraryStart, 1e-3},
        {"library-bind-ms.txt", lifecycle.libraryBind, 1e-3},
        {"bare-design-start-ms.txt", lifecycle.bareDesignStart, 1e-3},
        {"endjob-ms.txt", lifecycle.endJob, 1e-3},
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
