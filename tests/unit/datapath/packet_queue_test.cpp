#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "datapath/packet_queue.h"
#include "platform_recorder.h"

namespace {

// A fresh queue with its own slots and lock for each test, shaped like the real ones.
struct TestQueue {
    explicit TestQueue(WORD capacity) : slots(capacity)
    {
        InitializeCriticalSection(&lock);
        queue = PacketQueue{0, 0, 1, capacity, static_cast<WORD>(capacity - 1), &lock, slots.data()};
    }
    ~TestQueue() { DeleteCriticalSection(&lock); }

    CRITICAL_SECTION lock;
    std::vector<PacketSlot> slots;
    PacketQueue queue;
};

int Add(PacketQueue &queue, const std::string &bytes, WORD tag = 0)
{
    return QueueAddMessage(&queue, bytes.data(), static_cast<WORD>(bytes.size()), tag);
}

} // namespace

TEST(PacketQueue, RealQueuesHaveTheirCapacities)
{
    EXPECT_EQ(4, OutboundQueue.capacity);
    EXPECT_EQ(3, OutboundQueue.mask);
    EXPECT_EQ(32, InboundQueue.capacity);
    EXPECT_EQ(31, InboundQueue.mask);
    EXPECT_EQ(1, QueueIsEmpty(&InboundQueue));
}

TEST(PacketQueue, FreshQueueIsEmptyAndLeavesTheBufferUntouched)
{
    TestQueue q(4);
    EXPECT_EQ(1, QueueIsEmpty(&q.queue));
    char buffer[8];
    std::memset(buffer, 0x5A, sizeof(buffer));
    WORD tag = 77;
    EXPECT_EQ(0, QueueGetMessage(&q.queue, buffer, sizeof(buffer), &tag));
    EXPECT_EQ(77, tag);
    for (char c : buffer)
        EXPECT_EQ(0x5A, c);
}

TEST(PacketQueue, HoldsCapacityMessagesThenRefusesUntilOneIsTaken)
{
    for (WORD capacity : {WORD(4), WORD(32)}) {
        TestQueue q(capacity);
        for (WORD i = 0; i < capacity; ++i)
            EXPECT_EQ(1, Add(q.queue, std::string(1, char('a' + i % 26)), i));
        EXPECT_EQ(0, Add(q.queue, "x")) << "full at " << capacity;
        char buffer[4];
        EXPECT_EQ(1, QueueGetMessage(&q.queue, buffer, 4, nullptr));
        EXPECT_EQ(1, Add(q.queue, "y"));
        EXPECT_EQ(0, Add(q.queue, "z"));
    }
}

TEST(PacketQueue, KeepsOrderAndTagsAcrossTheWrap)
{
    TestQueue q(4);
    char buffer[16];
    WORD tag = 0;
    int next = 0;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(1, Add(q.queue, "m" + std::to_string(i), static_cast<WORD>(100 + i)));
        if (i % 2 == 1) {
            for (int k = 0; k < 2; ++k, ++next) {
                const std::string expected = "m" + std::to_string(next);
                ASSERT_EQ(expected.size(), QueueGetMessage(&q.queue, buffer, sizeof(buffer), &tag));
                EXPECT_EQ(expected, std::string(buffer, expected.size()));
                EXPECT_EQ(100 + next, tag);
            }
        }
    }
    EXPECT_EQ(1, QueueIsEmpty(&q.queue));
}

TEST(PacketQueue, LengthBoundIsTestedAfterTheFullTest)
{
    TestQueue q(4);
    const std::string max(1024, 'm');
    const std::string over(1025, 'o');
    EXPECT_EQ(1, Add(q.queue, max));
    EXPECT_EQ(1, Add(q.queue, over)) << "refused for good, so no producer retries";
    EXPECT_EQ(1, Add(q.queue, "a"));
    EXPECT_EQ(1, Add(q.queue, "b"));
    EXPECT_EQ(1, Add(q.queue, "c"));
    EXPECT_EQ(0, Add(q.queue, over)) << "a full queue answers 0 even for an over-long message";
    std::vector<char> buffer(1024);
    EXPECT_EQ(1024, QueueGetMessage(&q.queue, buffer.data(), 1024, nullptr));
    EXPECT_EQ(1, QueueGetMessage(&q.queue, buffer.data(), 1024, nullptr));
}

TEST(PacketQueue, ZeroLengthMessageLooksLikeAnEmptyQueue)
{
    TestQueue q(4);
    EXPECT_EQ(1, QueueAddMessage(&q.queue, "", 0, 9));
    EXPECT_EQ(0, QueueIsEmpty(&q.queue));
    char buffer[4];
    WORD tag = 0;
    EXPECT_EQ(0, QueueGetMessage(&q.queue, buffer, 4, &tag));
    EXPECT_EQ(9, tag);
    EXPECT_EQ(1, QueueIsEmpty(&q.queue));
}

TEST(PacketQueue, CopiesTheCallersMaximumAndAnswersTheStoredLength)
{
    TestQueue q(4);
    Add(q.queue, "0123456789");
    char small[4] = {};
    EXPECT_EQ(10, QueueGetMessage(&q.queue, small, 3, nullptr));
    EXPECT_EQ(std::string("012"), std::string(small, 3));
    EXPECT_EQ(0, small[3]);

    // A larger maximum copies stale slot bytes past the message.
    Add(q.queue, "ab");
    Add(q.queue, "cd");
    char big[8];
    std::memset(big, 0, sizeof(big));
    EXPECT_EQ(2, QueueGetMessage(&q.queue, big, 8, nullptr));
    EXPECT_EQ(std::string("ab"), std::string(big, 2));
}

TEST(PacketQueue, NullQueueIsLoggedAndNeverRetried)
{
    PlatformRecorder platform;
    char buffer[4];
    EXPECT_EQ(1, QueueIsEmpty(nullptr));
    EXPECT_EQ(1, QueueAddMessage(nullptr, "a", 1, 0));
    EXPECT_EQ(0, QueueGetMessage(nullptr, buffer, 4, nullptr));
    const std::vector<std::string> expected = {"QELAPP32: QueueAddMessage: Invalid Queue Pointer!\n",
                                               "QELAPP32: QueueGetMessage: Invalid Queue Pointer!\n"};
    EXPECT_EQ(expected, platform.Lines());
}

TEST(QueueAddMessageRetry, GivesUpAfter700AttemptsOf100Ms)
{
    PlatformRecorder platform;
    TestQueue q(4);
    for (int i = 0; i < 4; ++i)
        Add(q.queue, "f");
    EXPECT_FALSE(QueueAddMessageRetry(&q.queue, "x", 1, 0));
    const std::vector<DWORD> sleeps = platform.Sleeps();
    EXPECT_EQ(700u, sleeps.size());
    for (DWORD pause : sleeps)
        EXPECT_EQ(100u, pause);
    EXPECT_TRUE(platform.Lines().empty()) << "a dropped message is not logged";
}

TEST(QueueAddMessageRetry, HandsOverAsSoonAsThereIsRoom)
{
    PlatformRecorder platform;
    TestQueue q(4);
    EXPECT_TRUE(QueueAddMessageRetry(&q.queue, "x", 1, 0));
    EXPECT_TRUE(platform.Sleeps().empty());
}
