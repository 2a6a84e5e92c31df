// qelbench: measures qelapp32.exe on the simulated library, each question once against
// the one floor named in its row, the two taken in turns in one run. Prints the table and
// writes results.json and the plots' data to the output folder.
//
//     qelbench.exe --out <folder> [--quick]
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench.h"

namespace {

// The design's fixed waits.
constexpr double kPostPauseUs = 40e3;
constexpr double kEndJobSleepUs = 500e3;
constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr int kPrinters = 8;
// File sizes of the cost-by-size plot; the rows are the two largest.
constexpr int kSizesMb[] = {1, 10, 100};

struct Options {
    std::string out = ".";
    int rounds = 20;       // of the requests, 2.15 s each
    int alertTrips = 1000; // packet round trips under alerts
    int senderRuns = 14;   // of each side, at 1 and 10 MB; three quarters of it at 100 MB
    int cycles = 20;       // start-up and ENDJOB
    int repetitions = 5;   // idle instance and fleets
    DWORD idleMs = 10000;
};

struct Row {
    std::string name;
    double value = 0;
    std::string unit;
    double floor = 0;
    double ratio = NAN; // none for a row whose goal is zero
    std::string goal;
    bool met = false;
    std::string note;
};

Row MakeRow(const std::string &name, double value, const char *unit, double floor, const std::string &goal)
{
    Row row;
    row.name = name;
    row.value = value;
    row.unit = unit;
    row.floor = floor;
    row.goal = goal;
    return row;
}

// value / floor at most `most`; at least `least` for a throughput.
Row AtMost(const std::string &name, double value, double floor, const char *unit, double most)
{
    Row row = MakeRow(name, value, unit, floor, "ratio <= " + std::to_string(most).substr(0, 4));
    row.ratio = value / floor;
    row.met = row.ratio <= most;
    return row;
}

Row AtLeast(const std::string &name, double value, double floor, const char *unit, double least)
{
    Row row = MakeRow(name, value, unit, floor, "ratio >= " + std::to_string(least).substr(0, 4));
    row.ratio = value / floor;
    row.met = row.ratio >= least;
    return row;
}

std::string Format(const char *format, double a, double b = 0, double c = 0)
{
    char text[256];
    std::snprintf(text, sizeof(text), format, a, b, c);
    return text;
}

void AddRequestRows(const RequestSeries &s, std::vector<Row> *rows)
{
    rows->push_back(AtMost("1137 round trip, median; floor: a bare hidden window's", s.noop.Median(),
                           s.bareNoop.Median(), "us", 1.2));
    rows->back().note = Format("%.0f samples each side", s.noop.Count());
    rows->push_back(AtMost("1128 from the status word, median; floor: the bare window's 1137", s.statusWord.Median(),
                           s.bareNoop.Median(), "us", 1.2));
    rows->push_back(AtMost("1128 with a refresh, median; floor: the bare window's hand-off to a worker",
                           s.statusRefresh.Median(), s.bareRefresh.Median(), "us", 1.2));
    rows->back().note = Format("%.0f refreshes each side", s.statusRefresh.Count());
    rows->push_back(AtMost("Packet round trip 1127+1126, median; floor: the 40 ms pause", s.packet.Median() / 1e3,
                           kPostPauseUs / 1e3, "ms", 1.05));
    rows->back().note = Format("%.0f round trips, the slowest %.2f ms", s.packet.Count(), s.packet.Max() / 1e3);
    rows->push_back(AtMost("Packet round trip, p99; floor: the 40 ms pause", s.packet.Percentile(99) / 1e3,
                           kPostPauseUs / 1e3, "ms", 1.05));
    const Samples &loaded = s.packetUnderAlerts;
    rows->push_back(AtMost("Packet round trip under status alerts every 10 ms, p99; floor: the 40 ms pause",
                           loaded.Percentile(99) / 1e3, kPostPauseUs / 1e3, "ms", 1.10));
    rows->back().note = Format("%.0f round trips, median %.2f ms; %.0f alerts read ahead of the replies",
                               loaded.Count(), loaded.Median() / 1e3, s.alertsRead);
}

void AddSenderRows(const std::vector<SenderSeries> &senders, std::vector<Row> *rows)
{
    for (const SenderSeries &s : senders) {
        if (s.megabytes < 10)
            continue;
        const double microMegabytes = s.megabytes * 1e6;
        rows->push_back(AtLeast(Format("File sender %.0f MB, throughput; floor: a bare loop, same blocks", s.megabytes),
                                microMegabytes / s.service.Median(), microMegabytes / s.bare.Median(), "MB/s", 0.9));
        rows->back().note = Format("%.0f sends each side; medians %.1f and %.1f ms", s.service.Count(),
                                   s.service.Median() / 1e3, s.bare.Median() / 1e3);
    }
    const SenderSeries &largest = senders.back();
    rows->push_back(
        AtMost(Format("File sender %.0f MB: private memory at its highest; floor: before the send", largest.megabytes),
               largest.privatePeak.Max() / kMegabyte, largest.privateBefore.Median() / kMegabyte, "MB", 1.2));
}

void AddLifecycleRows(const LifecycleSeries &s, std::vector<Row> *rows)
{
    rows->push_back(AtMost("Start-up until the init event, median; floor: a bare program with the design's steps",
                           s.serviceStart.Median() / 1e3, s.bareStart.Median() / 1e3, "ms", 1.2));
    rows->back().note = Format("%.0f starts each side", s.serviceStart.Count());
    rows->push_back(AtMost("ENDJOB until ready-for-next-job, median; floor: the design's 500 ms",
                           s.endJob.Median() / 1e3, kEndJobSleepUs / 1e3, "ms", 1.2));
    rows->back().note = Format("the slowest %.0f ms", s.endJob.Max() / 1e3);
}

void AddIdleRows(const IdleSeries &s, DWORD idleMs, std::vector<Row> *rows)
{
    // A thread that never ran used no CPU: the wake-ups answer both.
    Row wakeUps = MakeRow(Format("Idle instance, %.0f s: thread wake-ups; goal 0", idleMs / 1e3),
                          static_cast<double>(s.wakeUps), "", 0, "0");
    wakeUps.met = s.wakeUps == 0;
    wakeUps.note = Format("CPU time %.4f ms; the bare program beside it woke %.0f times", s.cpuMs, s.bareWakeUps);
    rows->push_back(wakeUps);
    rows->push_back(AtMost("Idle instance: private memory; floor: the bare program with the design's threads",
                           s.privateBytes.Median() / kMegabyte, s.barePrivateBytes.Median() / kMegabyte, "MB", 1.2));
    rows->push_back(AtMost("Idle instance: handles; floor: the bare program with the design's threads",
                           s.handles.Median(), s.bareHandles.Median(), "", 1.2));
    rows->back().note = Format("threads: %.0f, the bare program's %.0f", s.threads.Median(), s.bareThreads.Median());
}

void AddFleetRows(const FleetSeries &s, std::vector<Row> *rows)
{
    const double singles = s.count * s.singleStart.Median() / 1e3;
    rows->push_back(
        AtMost(Format("%.0f printers one after another, until all serve; floor: %.0f single starts", s.count, s.count),
               s.oneAfterAnother.Median() / 1e3, singles, "ms", 1.2));
    rows->back().note = Format("all at once: %.0f ms, ratio %.3f; %.0f single starts between the fleets",
                               s.allAtOnce.Median() / 1e3, s.allAtOnce.Median() / 1e3 / singles, s.singleStart.Count());
    rows->push_back(AtMost(Format("%.0f printers: private memory of all; floor: %.0f x one instance", s.count, s.count),
                           s.fleetPrivate.Median() / kMegabyte, s.count * s.singlePrivate.Median() / kMegabyte, "MB",
                           1.05));
}

std::string Number(double value)
{
    return std::isfinite(value) ? Format(std::fabs(value) >= 100 ? "%.0f" : "%.3g", value) : "null";
}

std::string Quoted(const std::string &text)
{
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return quoted + "\"";
}

void PrintTable(const std::vector<Row> &rows)
{
    std::printf("\n%-92s %10s %10s %6s %-12s %s\n", "measure; floor", "value", "floor", "ratio", "goal", "met");
    for (const Row &row : rows) {
        std::printf("%-92s %10s %10s %6s %-12s %s\n", row.name.c_str(), (Number(row.value) + " " + row.unit).c_str(),
                    (Number(row.floor) + " " + row.unit).c_str(), Number(row.ratio).c_str(), row.goal.c_str(),
                    row.met ? "yes" : "NO");
    }
    for (const Row &row : rows) {
        if (!row.note.empty())
            std::printf("  %s: %s\n", row.name.substr(0, row.name.find(';')).c_str(), row.note.c_str());
    }
    std::fflush(stdout);
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

bool WriteJson(const std::string &path, const std::vector<Row> &rows)
{
    return WriteTextFile(path, [&](FILE *file) {
        std::fprintf(file, "[\n");
        for (size_t i = 0; i < rows.size(); ++i) {
            const Row &row = rows[i];
            std::fprintf(file,
                         "  {\"name\": %s, \"value\": %s, \"unit\": %s, \"floor\": %s, \"ratio\": %s, \"goal\": %s, "
                         "\"met\": %s, \"note\": %s}%s\n",
                         Quoted(row.name).c_str(), Number(row.value).c_str(), Quoted(row.unit).c_str(),
                         Number(row.floor).c_str(), Number(row.ratio).c_str(), Quoted(row.goal).c_str(),
                         row.met ? "true" : "false", Quoted(row.note).c_str(), i + 1 < rows.size() ? "," : "");
        }
        std::fprintf(file, "]\n");
    });
}

// The plots' data: every packet round trip of both series, in ms; each size's medians;
// and every send, since single sends spread widely on a busy machine.
bool WritePlotData(const std::string &out, const RequestSeries &requests, const std::vector<SenderSeries> &senders)
{
    const auto values = [](const Samples &samples) {
        return [&samples](FILE *file) {
            for (double value : samples.Values())
                std::fprintf(file, "%.4f\n", value / 1e3);
        };
    };
    return WriteTextFile(out + "\\packet-rtt-ms.txt", values(requests.packet)) &&
           WriteTextFile(out + "\\packet-load-ms.txt", values(requests.packetUnderAlerts)) &&
           WriteTextFile(out + "\\sender-sizes.txt",
                         [&](FILE *file) {
                             std::fprintf(file, "# MB service_ms bare_ms (medians)\n");
                             for (const SenderSeries &s : senders)
                                 std::fprintf(file, "%.0f %.2f %.2f\n", s.megabytes, s.service.Median() / 1e3,
                                              s.bare.Median() / 1e3);
                         }) &&
           WriteTextFile(out + "\\sender-sends-ms.txt", [&](FILE *file) {
               std::fprintf(file, "# MB service_ms bare_ms (each pair of sends, in the order taken)\n");
               for (const SenderSeries &s : senders) {
                   for (size_t i = 0; i < s.service.Count() && i < s.bare.Count(); ++i)
                       std::fprintf(file, "%.0f %.1f %.1f\n", s.megabytes, s.service.Values()[i] / 1e3,
                                    s.bare.Values()[i] / 1e3);
               }
           });
}

bool ParseOptions(int argc, char **argv, Options *options)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            options->out = argv[++i];
        } else if (std::strcmp(argv[i], "--quick") == 0) {
            *options = Options{options->out, 2, 100, 3, 3, 1, 2000};
        } else {
            std::fprintf(stderr, "qelbench: unknown argument %s\n", argv[i]);
            return false;
        }
    }
    return true;
}

// Runs one phase; false, with its name on stderr, when it could not be measured.
template <typename Measure>
bool RunPhase(const char *what, Measure measure)
{
    std::printf("qelbench: %s\n", what);
    std::fflush(stdout);
    if (measure())
        return true;
    std::fprintf(stderr, "qelbench: %s could not be measured\n", what);
    return false;
}

} // namespace

double Samples::Percentile(double percent) const
{
    if (values_.empty())
        return 0.0;
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    const size_t rank = static_cast<size_t>(std::ceil(percent / 100.0 * static_cast<double>(sorted.size())));
    return sorted[std::min(std::max<size_t>(rank, 1), sorted.size()) - 1];
}

double Samples::Max() const
{
    return values_.empty() ? 0.0 : *std::max_element(values_.begin(), values_.end());
}

int main(int argc, char **argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options))
        return 2;
    CreateDirectoryA(options.out.c_str(), nullptr);
    RequestSeries requests;
    std::vector<SenderSeries> senders(sizeof(kSizesMb) / sizeof(kSizesMb[0]));
    LifecycleSeries lifecycle;
    IdleSeries idle;
    FleetSeries fleet;
    bool ok = RunPhase("requests and packets",
                       [&] { return MeasureRequests(options.rounds, options.alertTrips, &requests); });
    for (size_t i = 0; ok && i < senders.size(); ++i) {
        // The largest file takes long: fewer sends of it.
        const int runs = kSizesMb[i] >= 100 ? std::max(2, options.senderRuns * 3 / 4) : options.senderRuns;
        ok = RunPhase("file sender", [&] { return MeasureSender(kSizesMb[i], runs, &senders[i]); });
    }
    ok = ok && RunPhase("start-up and ENDJOB", [&] { return MeasureLifecycle(options.cycles, &lifecycle); });
    ok = ok && RunPhase("idle instance", [&] { return MeasureIdle(options.repetitions, options.idleMs, &idle); });
    ok = ok && RunPhase("printers", [&] { return MeasureFleet(kPrinters, options.repetitions, &fleet); });
    if (!ok)
        return 1;

    std::vector<Row> rows;
    AddRequestRows(requests, &rows);
    AddSenderRows(senders, &rows);
    AddLifecycleRows(lifecycle, &rows);
    AddIdleRows(idle, options.idleMs, &rows);
    AddFleetRows(fleet, &rows);
    PrintTable(rows);
    if (!WriteJson(options.out + "\\results.json", rows) || !WritePlotData(options.out, requests, senders)) {
        std::fprintf(stderr, "qelbench: cannot write to %s\n", options.out.c_str());
        return 1;
    }
    const auto missed = std::count_if(rows.begin(), rows.end(), [](const Row &row) { return !row.met; });
    std::printf("qelbench: %d of %d goals missed\n", static_cast<int>(missed), static_cast<int>(rows.size()));
    return 0;
}
