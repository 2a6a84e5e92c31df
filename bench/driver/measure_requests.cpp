#include <atomic>
#include <cstdio>
#include <string>

#include "bench_clock.h"
#include "floor_programs.h"
#include "measures.h"
#include "qelapp32/client.h"
#include "service_instance.h"
#include "sim_library.h"

namespace {

// The service refreshes when more than 2000 ms passed since the last refresh ended.
constexpr double kRefreshDueUs = 2150e3;
// Well before the next refresh is due, so that 1128 answers from the word.
constexpr double kWordOnlyUntilUs = 1800e3;
constexpr double kPacketBudgetUs = 60e3;
constexpr double kReplyTimeoutUs = 5e6;
constexpr int kBlockLength = 8;
// A command packet: not 1 or 2 in front, so the write thread sends it with TovSendBidi;
// the simulated library echoes it as the reply.
constexpr BYTE kPacket[] = {0xA5, 0x00, 0x03, 0x10, 0x20, 0x30};
// What the alert window queues for a status-change alert (1524) with lParam 0.
constexpr BYTE kStatusAlertPacket[] = {0xA5, 0x00, 0x05, 0x00, 0xFF, 0x00, 0x00, 0x00};
// The second client's pace: a few alerts wait in the stream at every round trip.
constexpr DWORD kAlertIntervalMs = 10;

double TimeRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT expected, int *wrong)
{
    const double start = NowMicroseconds();
    const LRESULT answer = SendRequest(window, message, wParam, lParam);
    const double elapsed = NowMicroseconds() - start;
    if (answer != expected)
        ++*wrong;
    return elapsed;
}

class PacketProbe {
public:
    PacketProbe(const ServiceInstance &service, WORD printerHandle)
        : service_(service), packet_(service.Process(), sizeof(kPacket)),
          reply_(service.Process(), QEL_MAX_MESSAGE_LENGTH), printerHandle_(printerHandle)
    {
        packet_.Write(std::string(reinterpret_cast<const char *>(kPacket), sizeof(kPacket)));
    }

    bool IsValid() const { return packet_.IsValid() && reply_.IsValid(); }

    // Status-change alerts with lParam 0 read so far, and packets that were neither
    // those nor an echo.
    int StatusAlerts() const { return statusAlerts_; }
    int Strangers() const { return strangers_; }
    // Each 1126 that answered a status alert, microseconds.
    const Samples &AlertReads() const { return alertReads_; }

    // Reads what clients have not collected yet (alert packets) until the stream is empty.
    void Drain()
    {
        while (Read() != 0) {
        }
    }

    // 1127 and then 1126 until the echo is there; microseconds, or negative on time-out.
    double TimeRoundTrip(int *extraReads, int *wrong)
    {
        const double start = NowMicroseconds();
        service_.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(printerHandle_, sizeof(kPacket)), packet_.Address());
        for (int reads = 0;; ++reads) {
            const LRESULT length = Read();
            if (length == static_cast<LRESULT>(sizeof(kPacket))) {
                const double elapsed = NowMicroseconds() - start;
                *extraReads += reads;
                const std::string expected(reinterpret_cast<const char *>(kPacket), sizeof(kPacket));
                if (reply_.Read(sizeof(kPacket)) != expected)
                    ++*wrong;
                return elapsed;
            }
            if (NowMicroseconds() - start > kReplyTimeoutUs)
                return -1.0;
        }
    }

private:
    // One 1126; alert packets are counted here, the echo is left to the caller.
    LRESULT Read()
    {
        const double start = NowMicroseconds();
        const LRESULT length = service_.Send(WM_QELAPP32_READ, QEL_MAX_MESSAGE_LENGTH, reply_.Address());
        const double elapsed = NowMicroseconds() - start;
        if (length == 0 || length == static_cast<LRESULT>(sizeof(kPacket)))
            return length;
        const std::string alert(reinterpret_cast<const char *>(kStatusAlertPacket), sizeof(kStatusAlertPacket));
        // The status thread's own packet after a re-enumeration (2024) is neither.
        if (reply_.Read(static_cast<size_t>(length)) == alert) {
            ++statusAlerts_;
            alertReads_.Add(elapsed);
        } else if (length != static_cast<LRESULT>(QEL_STATUS_PACKET_SIZE)) {
            ++strangers_;
        }
        return length;
    }

    const ServiceInstance &service_;
    RemoteMemory packet_;
    RemoteMemory reply_;
    WORD printerHandle_;
    int statusAlerts_ = 0;
    int strangers_ = 0;
    Samples alertReads_;
};

// A second client: posts status-change alerts to the instance's alert window at a steady
// pace, from a thread of its own, until it is destroyed.
class AlertPoster {
public:
    explicit AlertPoster(HWND alertWindow) : window_(alertWindow), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        DWORD threadId = 0;
        thread_.Reset(CreateThread(nullptr, 0, Post, this, 0, &threadId));
    }
    ~AlertPoster() { Stop(); }
    AlertPoster(const AlertPoster &) = delete;
    AlertPoster &operator=(const AlertPoster &) = delete;

    bool IsRunning() const { return window_ != nullptr && thread_.IsValid(); }
    // Stops posting; the number of alerts posted.
    int Stop()
    {
        if (thread_.IsValid()) {
            SetEvent(stop_.Get());
            WaitForSingleObject(thread_.Get(), INFINITE);
            thread_.Reset();
        }
        return posted_;
    }

private:
    static DWORD WINAPI Post(LPVOID self)
    {
        AlertPoster *poster = static_cast<AlertPoster *>(self);
        while (WaitForSingleObject(poster->stop_.Get(), kAlertIntervalMs) == WAIT_TIMEOUT)
            poster->posted_ += PostMessageA(poster->window_, WM_TOV_STATUSCHANGE, 0, 0) ? 1 : 0;
        return 0;
    }

    HWND window_;
    HandleGuard stop_;
    HandleGuard thread_;
    std::atomic<int> posted_{0}; // written by the posting thread only
};

// Two threads of this process passing the turn through two auto-reset events, the way
// the status request hands a refresh to the status thread: the cost of the hand-off
// alone, with no window and no library.
class HandOff {
public:
    HandOff()
        : ask_(CreateEventA(nullptr, FALSE, FALSE, nullptr)), answer_(CreateEventA(nullptr, FALSE, FALSE, nullptr))
    {
        DWORD threadId = 0;
        worker_.Reset(CreateThread(nullptr, 0, Work, this, 0, &threadId));
    }
    ~HandOff()
    {
        stop_ = true;
        SetEvent(ask_.Get());
        WaitForSingleObject(worker_.Get(), INFINITE);
    }
    HandOff(const HandOff &) = delete;
    HandOff &operator=(const HandOff &) = delete;

    double Time()
    {
        const double start = NowMicroseconds();
        ResetEvent(answer_.Get());
        SetEvent(ask_.Get());
        WaitForSingleObject(answer_.Get(), 1000);
        return NowMicroseconds() - start;
    }

private:
    static DWORD WINAPI Work(LPVOID self)
    {
        HandOff *handOff = static_cast<HandOff *>(self);
        for (;;) {
            WaitForSingleObject(handOff->ask_.Get(), INFINITE);
            if (handOff->stop_)
                return 0;
            SetEvent(handOff->answer_.Get());
        }
    }

    HandleGuard ask_;
    HandleGuard answer_;
    HandleGuard worker_;
    std::atomic<bool> stop_{false};
};

// Each kind of request in a short run of its own, so that every kept sample follows one
// of its own kind: which process ran last changes the next round trip. The first of
// each run is not kept.
template <typename Request>
void RunBlock(Samples *samples, Request request)
{
    request();
    for (int i = 0; i < kBlockLength; ++i)
        samples->Add(request());
}

void RunBurst(const ServiceInstance &service, const BareWindow &bare, InProcessLibrary &library, HandOff &handOff,
              bool withStatus, RequestSeries *series)
{
    int *wrong = &series->wrongAnswers;
    RunBlock(&series->handOff, [&] { return handOff.Time(); });
    RunBlock(&series->bareNoop, [&] { return TimeRequest(bare.Window(), WM_QELAPP32_NOOP, 0, 0, 1, wrong); });
    RunBlock(&series->libraryCall, [&] { return library.TimeStatusQuery(); });
    if (withStatus) {
        RunBlock(&series->statusFromWord, [&] {
            return TimeRequest(service.Window(), WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE, QEL_STATUS_READY, wrong);
        });
    }
    RunBlock(&series->ping, [&] { return TimeRequest(service.Window(), WM_QELAPP32_PING, 0, 0, 1, wrong); });
    RunBlock(&series->noop, [&] { return TimeRequest(service.Window(), WM_QELAPP32_NOOP, 0, 0, 1, wrong); });
}

bool EnumeratePrinter(const ServiceInstance &service, WORD *printerHandle)
{
    const LRESULT enumAnswer = service.Send(WM_QELAPP32_ENUMPRINTER);
    if (enumAnswer == static_cast<LRESULT>(QEL_FAILURE)) {
        std::fprintf(stderr, "qelbench: 1124 failed\n");
        return false;
    }
    *printerHandle = QEL_PRINTER_HANDLE_OF(enumAnswer);
    return true;
}

} // namespace

bool MeasureRequests(ServiceInstance &service, BareWindow &bare, InProcessLibrary &library, int rounds,
                     RequestSeries *series)
{
    WORD printerHandle = 0;
    if (!EnumeratePrinter(service, &printerHandle))
        return false;
    PacketProbe probe(service, printerHandle);
    if (!probe.IsValid())
        return false;

    // Warm up: the first refresh enumerates the printer and queues an alert packet.
    if (service.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE) != QEL_STATUS_READY) {
        std::fprintf(stderr, "qelbench: first status request did not answer ready\n");
        return false;
    }
    double lastRefreshEnd = NowMicroseconds();
    HandOff handOff;
    probe.Drain();
    RequestSeries warmUp;
    RunBurst(service, bare, library, handOff, true, &warmUp);
    for (int i = 0; i < 3; ++i)
        probe.TimeRoundTrip(&warmUp.packetExtraReads, &warmUp.wrongAnswers);

    for (int round = 0; round < rounds; ++round) {
        // Fill the wait for the next refresh with packets and short requests.
        while (NowMicroseconds() - lastRefreshEnd < kRefreshDueUs) {
            RunBurst(service, bare, library, handOff, NowMicroseconds() - lastRefreshEnd < kWordOnlyUntilUs, series);
            if (kRefreshDueUs - (NowMicroseconds() - lastRefreshEnd) > kPacketBudgetUs) {
                const double roundTrip = probe.TimeRoundTrip(&series->packetExtraReads, &series->wrongAnswers);
                if (roundTrip < 0) {
                    std::fprintf(stderr, "qelbench: no reply to a packet\n");
                    return false;
                }
                series->packet.Add(roundTrip);
            }
        }
        // Both hand-offs after a run of no-ops to their own window, both workers idle for 2 s.
        RunBlock(&series->bareNoop,
                 [&] { return TimeRequest(bare.Window(), WM_QELAPP32_NOOP, 0, 0, 1, &series->wrongAnswers); });
        series->bareRefresh.Add(TimeRequest(bare.Window(), WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE,
                                            QEL_STATUS_READY, &series->wrongAnswers));
        RunBlock(&series->noop,
                 [&] { return TimeRequest(service.Window(), WM_QELAPP32_NOOP, 0, 0, 1, &series->wrongAnswers); });
        series->statusRefresh.Add(TimeRequest(service.Window(), WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE,
                                              QEL_STATUS_READY, &series->wrongAnswers));
        lastRefreshEnd = NowMicroseconds();
    }
    probe.Drain();
    return series->wrongAnswers == 0;
}

bool MeasurePacketsUnderAlerts(ServiceInstance &service, int roundTrips, LoadSeries *series)
{
    WORD printerHandle = 0;
    if (!EnumeratePrinter(service, &printerHandle))
        return false;
    PacketProbe probe(service, printerHandle);
    const HWND alertWindow =
        FindWindowA(QEL_ALERT_WINDOW_CLASS, (QEL_WINDOW_TITLE_PREFIX + service.PrinterName()).c_str());
    if (!probe.IsValid() || alertWindow == nullptr)
        return false;
    probe.Drain();
    const int alertsBefore = probe.StatusAlerts();
    int wrong = 0;
    AlertPoster poster(alertWindow);
    if (!poster.IsRunning())
        return false;
    for (int trip = 0; trip < roundTrips; ++trip) {
        const double roundTrip = probe.TimeRoundTrip(&series->extraReads, &wrong);
        if (roundTrip < 0)
            ++series->repliesLost;
        else
            series->packet.Add(roundTrip);
    }
    series->alertsPosted = poster.Stop();
    // The last alerts posted are still on their way through the alert window.
    for (int wait = 0; wait < 50 && probe.StatusAlerts() - alertsBefore < series->alertsPosted; ++wait) {
        Sleep(kAlertIntervalMs);
        probe.Drain();
    }
    series->alertsRead = probe.StatusAlerts() - alertsBefore;
    series->alertRead = probe.AlertReads();
    series->wrongPackets = wrong + probe.Strangers();
    return true;
}
