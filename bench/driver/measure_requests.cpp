#include <thread>

#include "bench.h"
#include "floors.h"
#include "qelapp32/client.h"
#include "service_buffers.h"
#include "support/test_instance.h"

namespace {

// The service refreshes the status when more than 2000 ms passed since the last
// refresh ended; well before that, 1128 answers from the status word.
constexpr double kRefreshDueUs = 2150e3;
constexpr double kWordOnlyUntilUs = 1800e3;
// A packet round trip is started only while this much is left before the refresh.
constexpr double kPacketBudgetUs = 60e3;
constexpr double kReplyTimeoutUs = 5e6;
constexpr DWORD kRequestTimeoutMs = 30000;
constexpr int kBlockLength = 8;
// A command packet: not 1 or 2 in front, so the write thread sends it with TovSendBidi,
// and the simulated library echoes it as the reply.
constexpr char kCommandPacket[] = {'\xA5', '\x00', '\x03', '\x10', '\x20', '\x30'};
// The second client's pace: a few alerts wait in the stream at every round trip.
constexpr DWORD kAlertIntervalMs = 10;

// The service's window and the bare window are asked the same way.
double TimeRequest(HWND window, UINT message, LPARAM lParam)
{
    DWORD_PTR answer = 0;
    const double start = NowMicroseconds();
    SendMessageTimeoutA(window, message, 0, lParam, SMTO_NORMAL, kRequestTimeoutMs, &answer);
    return NowMicroseconds() - start;
}

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

// 1127, then 1126 until the echo is read; microseconds, negative when it never came.
// Other packets read on the way (status alerts) are counted.
double TimeRoundTrip(PacketChannel &channel, int *othersRead)
{
    const std::string packet(kCommandPacket, sizeof(kCommandPacket));
    const double start = NowMicroseconds();
    channel.Write(packet);
    while (NowMicroseconds() - start < kReplyTimeoutUs) {
        const std::string read = channel.Read();
        if (read == packet)
            return NowMicroseconds() - start;
        *othersRead += read.empty() ? 0 : 1;
    }
    return -1.0;
}

// A second client posting status-change alerts (1524) to the instance's alert window at
// a steady pace, until it is destroyed.
class AlertPoster {
public:
    explicit AlertPoster(HWND alertWindow)
        : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread_([this, alertWindow] {
              while (WaitForSingleObject(stop_.Get(), kAlertIntervalMs) == WAIT_TIMEOUT)
                  PostMessageA(alertWindow, WM_TOV_STATUSCHANGE, 0, 0);
          })
    {
    }
    ~AlertPoster()
    {
        SetEvent(stop_.Get());
        thread_.join();
    }
    AlertPoster(const AlertPoster &) = delete;
    AlertPoster &operator=(const AlertPoster &) = delete;

private:
    HandleGuard stop_;
    std::thread thread_;
};

// Fills the time until the next refresh is due with the short requests and packets.
bool FillRound(TestInstance &instance, const BareWindow &bare, PacketChannel &channel, double lastRefresh,
               RequestSeries *series)
{
    int othersRead = 0;
    for (double since = 0; since < kRefreshDueUs; since = NowMicroseconds() - lastRefresh) {
        RunBlock(&series->bareNoop, [&] { return TimeRequest(bare.Window(), WM_QELAPP32_NOOP, 0); });
        if (since < kWordOnlyUntilUs) {
            RunBlock(&series->statusWord,
                     [&] { return TimeRequest(instance.Window(), WM_QELAPP32_GETSTATUS, QEL_REFRESH_IF_DUE); });
        }
        RunBlock(&series->noop, [&] { return TimeRequest(instance.Window(), WM_QELAPP32_NOOP, 0); });
        if (kRefreshDueUs - (NowMicroseconds() - lastRefresh) > kPacketBudgetUs) {
            const double roundTrip = TimeRoundTrip(channel, &othersRead);
            if (roundTrip < 0)
                return false;
            series->packet.Add(roundTrip);
        }
    }
    return true;
}

// Both refreshes right after a run of 1137 to their own window, both workers idle for 2 s.
void TakeRefreshes(TestInstance &instance, const BareWindow &bare, RequestSeries *series)
{
    RunBlock(&series->bareNoop, [&] { return TimeRequest(bare.Window(), WM_QELAPP32_NOOP, 0); });
    series->bareRefresh.Add(TimeRequest(bare.Window(), WM_QELAPP32_GETSTATUS, QEL_REFRESH_IF_DUE));
    RunBlock(&series->noop, [&] { return TimeRequest(instance.Window(), WM_QELAPP32_NOOP, 0); });
    series->statusRefresh.Add(TimeRequest(instance.Window(), WM_QELAPP32_GETSTATUS, QEL_REFRESH_IF_DUE));
}

void Drain(PacketChannel &channel)
{
    while (!channel.Read().empty()) {
    }
}

} // namespace

bool MeasureRequests(int rounds, int alertTrips, RequestSeries *series)
{
    TestInstance instance("LPT1:", "bench");
    BareWindow bare;
    SilenceRecords(instance.Sim());
    if (!instance.Start() || !bare.Start(instance.Sim().EnvironmentBlock()))
        return false;
    const LRESULT enumAnswer = instance.Send(WM_QELAPP32_ENUMPRINTER);
    PacketChannel channel(instance, QEL_PRINTER_HANDLE_OF(enumAnswer));
    // The first refresh waits longest and queues a status packet: before the rounds.
    if (enumAnswer == static_cast<LRESULT>(QEL_FAILURE) || !channel.IsValid() ||
        instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE) != QEL_STATUS_READY)
        return false;
    double lastRefresh = NowMicroseconds();
    Drain(channel);
    for (int round = 0; round < rounds; ++round) {
        if (!FillRound(instance, bare, channel, lastRefresh, series))
            return false;
        TakeRefreshes(instance, bare, series);
        lastRefresh = NowMicroseconds();
    }

    Drain(channel);
    AlertPoster poster(instance.AlertWindow());
    for (int trip = 0; trip < alertTrips; ++trip) {
        const double roundTrip = TimeRoundTrip(channel, &series->alertsRead);
        if (roundTrip < 0)
            return false;
        series->packetUnderAlerts.Add(roundTrip);
    }
    return true;
}
