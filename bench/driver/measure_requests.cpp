#include <cstring>
#include <thread>

#include "bench.h"
#include "floors.h"
#include "qelapp32/qelclient.h"
#include "support/test_instance.h"

namespace {

// The service refreshes the status when more than 2000 ms passed since the last
// refresh ended; well before that, 1128 answers from the status word.
constexpr double kRefreshDueUs = 2150e3;
constexpr double kWordOnlyUntilUs = 1800e3;
// A packet round trip is started only while this much is left before the refresh.
constexpr double kPacketBudgetUs = 60e3;
constexpr DWORD kReplyTimeoutMs = 5000;
// The reply call's pause after an empty 1126: the shortest the clock allows, so that the
// round trip is the service's and not the client's polling.
constexpr DWORD kReplyPollMs = 1;
constexpr DWORD kRequestTimeoutMs = 30000;
constexpr int kBlockLength = 8;
// A command packet: not 1 or 2 in front, so the write thread sends it with TovSendBidi,
// and the simulated library echoes it as the reply.
constexpr BYTE kCommandPacket[] = {0xA5, 0x00, 0x03, 0x10, 0x20, 0x30};
// The second client's pace: a few alerts wait in the stream at every round trip.
constexpr DWORD kAlertIntervalMs = 10;

// The service's window and the bare window are asked through the same library calls.
double TimeNoop(const QelInstance *client)
{
    const double start = NowMicroseconds();
    QelNoop(client, kRequestTimeoutMs, nullptr);
    return NowMicroseconds() - start;
}

double TimeStatus(const QelInstance *client)
{
    DWORD status = 0;
    const double start = NowMicroseconds();
    QelGetStatus(client, QEL_REFRESH_IF_DUE, &status, kRequestTimeoutMs, nullptr);
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

void CountInstancePacket(void *count, QelPacketKind, const BYTE *, DWORD)
{
    ++*static_cast<int *>(count);
}

// The library's packet-and-reply call with the command packet, microseconds, negative
// when its echo did not come back; the instance's own packets met on the way are counted.
double TimeRoundTrip(const QelInstance *client, WORD printerHandle, int *instancePackets)
{
    const QelReplyWait wait{kReplyTimeoutMs, 0, kReplyPollMs, nullptr, CountInstancePacket, instancePackets};
    BYTE reply[sizeof(kCommandPacket)] = {};
    DWORD replyLength = 0;
    const double start = NowMicroseconds();
    const QelResult result = QelWriteAndReadReply(client, printerHandle, kCommandPacket, sizeof(kCommandPacket), reply,
                                                  sizeof(reply), &replyLength, &wait, nullptr);
    const double elapsed = NowMicroseconds() - start;
    const bool echoed =
        result == QEL_OK && replyLength == sizeof(reply) && std::memcmp(reply, kCommandPacket, sizeof(reply)) == 0;
    return echoed ? elapsed : -1.0;
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
bool FillRound(const QelInstance *client, const BareWindow &bare, WORD printerHandle, double lastRefresh,
               RequestSeries *series)
{
    int instancePackets = 0;
    for (double since = 0; since < kRefreshDueUs; since = NowMicroseconds() - lastRefresh) {
        RunBlock(&series->bareNoop, [&] { return TimeNoop(bare.Client()); });
        if (since < kWordOnlyUntilUs)
            RunBlock(&series->statusWord, [&] { return TimeStatus(client); });
        RunBlock(&series->noop, [&] { return TimeNoop(client); });
        if (kRefreshDueUs - (NowMicroseconds() - lastRefresh) > kPacketBudgetUs) {
            const double roundTrip = TimeRoundTrip(client, printerHandle, &instancePackets);
            if (roundTrip < 0)
                return false;
            series->packet.Add(roundTrip);
        }
    }
    return true;
}

// Both refreshes right after a run of 1137 to their own window, both workers idle for 2 s.
void TakeRefreshes(const QelInstance *client, const BareWindow &bare, RequestSeries *series)
{
    RunBlock(&series->bareNoop, [&] { return TimeNoop(bare.Client()); });
    series->bareRefresh.Add(TimeStatus(bare.Client()));
    RunBlock(&series->noop, [&] { return TimeNoop(client); });
    series->statusRefresh.Add(TimeStatus(client));
}

} // namespace

bool StartServing(TestInstance &instance, WORD *printerHandle)
{
    DWORD status = 0;
    // The first refresh waits longest and queues a status packet: before anything is timed.
    return instance.Start() &&
           QelEnumPrinter(instance.Client(), printerHandle, nullptr, kRequestTimeoutMs, nullptr) == QEL_OK &&
           QelGetStatus(instance.Client(), QEL_REFRESH_IF_DUE, &status, kRequestTimeoutMs, nullptr) == QEL_OK &&
           status == QEL_STATUS_READY;
}

bool MeasureRequests(int rounds, int alertTrips, RequestSeries *series)
{
    TestInstance instance("LPT1:", "bench");
    instance.Sim().DropRecords();
    BareWindow bare;
    WORD printerHandle = 0;
    if (!StartServing(instance, &printerHandle) || !bare.Start(instance.Sim().EnvironmentBlock()))
        return false;
    const QelInstance *client = instance.Client();
    double lastRefresh = NowMicroseconds();
    for (int round = 0; round < rounds; ++round) {
        if (!FillRound(client, bare, printerHandle, lastRefresh, series))
            return false;
        TakeRefreshes(client, bare, series);
        lastRefresh = NowMicroseconds();
    }

    AlertPoster poster(instance.AlertWindow());
    for (int trip = 0; trip < alertTrips; ++trip) {
        const double roundTrip = TimeRoundTrip(client, printerHandle, &series->alertsRead);
        if (roundTrip < 0)
            return false;
        series->packetUnderAlerts.Add(roundTrip);
    }
    return true;
}
