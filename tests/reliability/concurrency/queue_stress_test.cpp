// The real queues under real threads: several producers and one consumer, each message
// must come out exactly once and, per producer, in the order it went in. A probe of the
// queue record that writes outside the lock loses and repeats messages here.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "battery.h"
#include "datapath/packet_queue.h"
#include "printer_state_fixture.h"

namespace {

struct StressMessage {
    BYTE producer;
    DWORD sequence;
};

// A queue whose record was damaged may look full for ever: every wait here has a bound.
constexpr ULONGLONG kRoundLimitMs = 60000;

void Produce(PacketQueue *queue, BYTE producer, int count, ULONGLONG started)
{
    for (int i = 0; i < count; ++i) {
        BYTE bytes[5] = {producer};
        const DWORD sequence = static_cast<DWORD>(i);
        std::memcpy(bytes + 1, &sequence, sizeof(sequence));
        while (QueueAddMessage(queue, bytes, sizeof(bytes), producer) == 0) {
            if (ElapsedMs(started) > kRoundLimitMs)
                return;
            SwitchToThread();
        }
    }
}

struct ConsumerTally {
    std::vector<DWORD> next;
    long long outOfOrder = 0;
    long long malformed = 0;
    long long received = 0;
};

ConsumerTally Consume(PacketQueue *queue, int producers, long long total, ULONGLONG started)
{
    ConsumerTally tally;
    tally.next.assign(producers, 0);
    BYTE buffer[kQueueMessageSize];
    while (tally.received < total && ElapsedMs(started) <= kRoundLimitMs) {
        WORD tag = 0;
        const WORD length = QueueGetMessage(queue, buffer, kQueueMessageSize, &tag);
        if (length == 0) {
            SwitchToThread();
            continue;
        }
        ++tally.received;
        StressMessage message{buffer[0], 0};
        std::memcpy(&message.sequence, buffer + 1, sizeof(message.sequence));
        if (length != 5 || message.producer >= producers || tag != message.producer) {
            ++tally.malformed;
            continue;
        }
        if (message.sequence != tally.next[message.producer])
            ++tally.outOfOrder;
        tally.next[message.producer] = message.sequence + 1;
    }
    return tally;
}

struct StressCase {
    const char *name;
    PacketQueue *queue;
    int producers;
};

} // namespace

TEST(QueueStress, EveryMessageArrivesOnceAndInOrderPerProducer)
{
    EnsureQueueLocks();
    const StressCase cases[] = {
        {"InboundQueue", &InboundQueue, 3},
        {"OutboundQueue", &OutboundQueue, 1},
        {"OutboundQueue", &OutboundQueue, 2},
    };
    const int perProducer = Battery().queueMessages;
    for (const StressCase &c : cases) {
        const ULONGLONG started = GetTickCount64();
        std::vector<std::thread> producers;
        for (int p = 0; p < c.producers; ++p)
            producers.emplace_back(Produce, c.queue, static_cast<BYTE>(p), perProducer, started);
        const ConsumerTally tally =
            Consume(c.queue, c.producers, static_cast<long long>(perProducer) * c.producers, started);
        for (std::thread &producer : producers)
            producer.join();

        const std::string label = std::string(c.name) + ", " + std::to_string(c.producers) + " producer(s)";
        EXPECT_EQ(static_cast<long long>(perProducer) * c.producers, tally.received) << label;
        EXPECT_EQ(0, tally.outOfOrder) << label << ": repeated or missing messages";
        EXPECT_EQ(0, tally.malformed) << label;
        for (int p = 0; p < c.producers; ++p)
            EXPECT_EQ(static_cast<DWORD>(perProducer), tally.next[p]) << label << ", producer " << p;
        EXPECT_EQ(1, QueueIsEmpty(c.queue)) << label;
        BYTE leftover[kQueueMessageSize];
        while (QueueGetMessage(c.queue, leftover, sizeof(leftover), nullptr) != 0) {
        } // the next round starts from an empty queue
        ReportFigure("queue stress " + label, std::to_string(tally.received) + " messages, " +
                                                  std::to_string(tally.outOfOrder) + " out of order, " +
                                                  std::to_string(ElapsedMs(started)) + " ms");
    }
}
