// Packets through 1127 and 1126 while another client thread posts status changes to the
// alert window: every reply and every alert packet reaches the reader exactly once and in
// order within its stream, also after the InboundQueue stood full for a while.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <string>
#include <thread>

#include "battery.h"
#include "qelapp32/client.h"
#include "support/test_instance.h"

namespace {

constexpr BYTE kReplyMarker = 0x7E;
constexpr DWORD kAlertPattern = 0x3FF; // bits 0 to 9: bit 10 would re-enumerate the printer
// Unread replies the service holds without blocking the main thread: 32 in the InboundQueue,
// one in the write thread's retry and four in the OutboundQueue.
constexpr int kHeldReplies = 37;
constexpr int kHeldAlerts = 20;
constexpr DWORD kHoldMs = 1000;
constexpr DWORD kPhaseWaitMs = 60000;
// Outside the hold, the writer keeps at most this many replies and alerts unread. A client
// that writes faster than it reads fills the InboundQueue, and then 1127 holds the main
// thread in its 70-second retry while the reader's 1126 waits behind it, as designed.
constexpr LONG kUnreadCredits = 16;

// Where each status bit lands in the StatusPacket's flag bytes S5, S6, S7.
struct FlagBit {
    DWORD statusBit;
    size_t offset;
    BYTE flag;
};
constexpr std::array<FlagBit, 10> kFlagBits = {{
    {0x001, 6, 0x08},
    {0x002, 6, 0x04},
    {0x004, 6, 0x02},
    {0x008, 6, 0x01},
    {0x010, 7, 0x08},
    {0x020, 7, 0x02},
    {0x040, 7, 0x04},
    {0x080, 7, 0x01},
    {0x100, 5, 0x40},
    {0x200, 5, 0x80},
}};

std::string PacketFor(DWORD sequence)
{
    std::string packet("\xA5\x00\x05", 3);
    packet += static_cast<char>(kReplyMarker);
    for (int shift = 24; shift >= 0; shift -= 8)
        packet += static_cast<char>((sequence >> shift) & 0xFF);
    return packet;
}

bool IsReply(const std::string &packet)
{
    return packet.size() == 8 && packet.compare(0, 3, "\xA5\x00\x05", 3) == 0 &&
           static_cast<BYTE>(packet[3]) == kReplyMarker;
}

DWORD ReplySequence(const std::string &packet)
{
    DWORD sequence = 0;
    for (size_t i = 4; i < 8; ++i)
        sequence = (sequence << 8) | static_cast<BYTE>(packet[i]);
    return sequence;
}

bool IsStatusPacket(const std::string &packet)
{
    return packet.size() == 8 && packet.compare(0, 5, "\xA5\x00\x05\x00\xFF", 5) == 0;
}

// The status bits an alert packet carries; -1 when a flag bit outside the table is set.
long DecodeStatus(const std::string &packet)
{
    std::array<BYTE, 8> flags{};
    for (size_t i = 5; i < 8; ++i)
        flags[i] = static_cast<BYTE>(packet[i]);
    DWORD status = 0;
    for (const FlagBit &bit : kFlagBits) {
        if ((flags[bit.offset] & bit.flag) != 0) {
            status |= bit.statusBit;
            flags[bit.offset] &= static_cast<BYTE>(~bit.flag);
        }
    }
    return flags[5] == 0 && flags[6] == 0 && flags[7] == 0 ? static_cast<long>(status) : -1;
}

class ManualEvent {
public:
    ManualEvent() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~ManualEvent() { CloseHandle(handle_); }
    ManualEvent(const ManualEvent &) = delete;
    ManualEvent &operator=(const ManualEvent &) = delete;
    void Set() { SetEvent(handle_); }
    bool Wait(DWORD timeoutMs) const { return WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0; }

private:
    HANDLE handle_;
};

} // namespace

TEST(SustainedLoad, RepliesAndAlertsArriveExactlyOnceAndInOrder)
{
    const int packets = Battery().loadPackets;
    const int holdAt = packets / 2;
    const int pacedAlerts = packets - kHeldReplies;
    const int alerts = pacedAlerts + kHeldAlerts;
    ASSERT_GT(holdAt, kHeldReplies);

    TestInstance instance("LPT1:", "load");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001, instance.Send(WM_QELAPP32_ENUMPRINTER));
    const HWND alertWindow = instance.AlertWindow();
    ASSERT_NE(nullptr, alertWindow);
    const HWND window = instance.Window();
    const HANDLE service = instance.Process().Process();

    std::atomic<int> alertsPosted{0};
    std::atomic<bool> writerFailed{false};
    std::atomic<size_t> bidiCallsWhileHeld{0};
    HANDLE alertTurn = CreateSemaphoreA(nullptr, 0, packets, nullptr);
    HANDLE credits = CreateSemaphoreA(nullptr, kUnreadCredits, kUnreadCredits, nullptr);
    ManualEvent writerPaused;
    ManualEvent holdStarts;
    ManualEvent holdEnds;
    ManualEvent heldRead;

    const auto postAlert = [&] {
        const int number = alertsPosted++;
        PostMessageA(alertWindow, WM_TOV_STATUSCHANGE, 0, static_cast<LPARAM>(number & kAlertPattern));
    };
    // 1127 copies the packet before it answers, so one buffer serves every write.
    RemoteMemory packetBuffer(service, 8);
    const auto write = [&](int sequence) {
        packetBuffer.Write(PacketFor(static_cast<DWORD>(sequence)));
        DWORD_PTR answer = 1;
        if (!SendMessageTimeoutA(window, WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(5, 8), packetBuffer.Address(), SMTO_NORMAL,
                                 30000, &answer) ||
            answer != 0)
            writerFailed = true;
    };

    // The writer sends every packet and lets the poster post one alert after each; halfway it
    // fills the service while no one reads, adds alerts that find no room, and holds.
    std::thread writer([&] {
        for (int sequence = 0; sequence < packets && !writerFailed; ++sequence) {
            if (sequence == holdAt) {
                writerPaused.Set();
                if (!holdStarts.Wait(kPhaseWaitMs))
                    break;
                for (int held = 0; held < kHeldReplies; ++held)
                    write(sequence + held);
                for (int held = 0; held < kHeldAlerts; ++held)
                    postAlert();
                Sleep(kHoldMs); // the write and alert threads retry every 100 ms meanwhile
                bidiCallsWhileHeld = instance.Sim().CallsNamed("TovSendBidi").size();
                holdEnds.Set();
                // A write now would find the OutboundQueue full and hold the main thread in
                // its retry, ahead of the reader's 1126: the held messages are read first.
                if (!heldRead.Wait(kPhaseWaitMs))
                    break;
                sequence += kHeldReplies - 1;
                continue;
            }
            // One credit for the reply, one for the alert the poster adds.
            if (WaitForSingleObject(credits, kPhaseWaitMs) != WAIT_OBJECT_0 ||
                WaitForSingleObject(credits, kPhaseWaitMs) != WAIT_OBJECT_0) {
                writerFailed = true;
                break;
            }
            write(sequence);
            ReleaseSemaphore(alertTurn, 1, nullptr);
        }
    });
    std::thread poster([&] {
        for (int posted = 0; posted < pacedAlerts; ++posted) {
            if (WaitForSingleObject(alertTurn, kPhaseWaitMs) != WAIT_OBJECT_0)
                return;
            postAlert();
        }
    });

    RemoteMemory buffer(service, 1024);
    int nextReply = 0;
    int nextAlert = 0;
    int unexpected = 0;
    bool holding = false;
    const ULONGLONG started = GetTickCount64();
    const ULONGLONG deadline = started + static_cast<ULONGLONG>(packets) * 100 + kPhaseWaitMs;
    while ((nextReply < packets || nextAlert < alerts) && GetTickCount64() < deadline && !writerFailed) {
        if (!holding && nextReply == holdAt && nextAlert == holdAt && writerPaused.Wait(0)) {
            // Everything sent so far has been read: from now on no one reads for a while.
            holding = true;
            holdStarts.Set();
            holdEnds.Wait(kPhaseWaitMs);
        }
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(window, WM_QELAPP32_READ, 1024, buffer.Address(), SMTO_NORMAL, 30000, &answer)) {
            ADD_FAILURE() << "1126 not answered within 30 s, after reply " << nextReply << " and alert " << nextAlert;
            break;
        }
        const LRESULT length = static_cast<LRESULT>(answer);
        if (length == 0) {
            Sleep(1); // nothing signals a client that a message is waiting; it asks again
            continue;
        }
        const std::string packet = buffer.Read(static_cast<size_t>(length > 1024 ? 1024 : length));
        if (IsReply(packet)) {
            EXPECT_EQ(static_cast<DWORD>(nextReply), ReplySequence(packet)) << "replies out of order or lost";
            nextReply = static_cast<int>(ReplySequence(packet)) + 1;
            if (nextReply <= holdAt || nextReply > holdAt + kHeldReplies)
                ReleaseSemaphore(credits, 1, nullptr);
        } else if (IsStatusPacket(packet)) {
            EXPECT_EQ(static_cast<long>(nextAlert & kAlertPattern), DecodeStatus(packet))
                << "alert packets out of order or lost";
            ++nextAlert;
            if (nextAlert <= holdAt || nextAlert > holdAt + kHeldAlerts)
                ReleaseSemaphore(credits, 1, nullptr);
        } else {
            ++unexpected;
            ADD_FAILURE() << "a packet of neither stream: " << ToHex(packet.data(), packet.size());
        }
        if (holding && nextReply >= holdAt + kHeldReplies && nextAlert >= holdAt + kHeldAlerts)
            heldRead.Set();
    }
    const ULONGLONG elapsed = ElapsedMs(started);
    holdStarts.Set();
    holdEnds.Set();
    heldRead.Set();
    writer.join();
    poster.join();
    CloseHandle(alertTurn);
    CloseHandle(credits);

    EXPECT_FALSE(writerFailed) << "a write was not answered";
    EXPECT_EQ(packets, nextReply);
    EXPECT_EQ(alerts, nextAlert);
    EXPECT_EQ(0, unexpected);
    EXPECT_EQ(static_cast<size_t>(holdAt + 33), bidiCallsWhileHeld)
        << "with the InboundQueue full the write thread holds one reply and the OutboundQueue four packets";
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_READ, 1024, buffer.Address())) << "nothing is delivered twice";
    ReportFigure("load_packets", std::to_string(packets) + " replies and " + std::to_string(alerts) +
                                     " alert packets in " + std::to_string(elapsed) + " ms");
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}
