#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_path_fixture.h"
#include "datapath/write_producers.h"
#include "datapath/write_thread.h"
#include "handlers/message_handlers.h"
#include "qelapp32/client.h"

namespace {

const std::vector<std::string> kEndDocumentCalls = {"TovEndDoc(5, 0)", "TovSetJobControlMode(1, 5, 1, 0)",
                                                    "TovSetJobCancelMode(1, 5, 0)",
                                                    "TovSetEndOfJobMode(1, 5, 1, 1, 20)"};

std::vector<std::string> Joined(std::vector<std::string> head, const std::vector<std::string> &tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

void Queue(const std::string &bytes, WORD tag)
{
    ASSERT_EQ(1, QueueAddMessage(&OutboundQueue, bytes.data(), static_cast<WORD>(bytes.size()), tag));
}

// The real WriteThread on the fixture's write-data event and the real queues.
class WriteThreadTest : public DataPathTest {
protected:
    void StartThread()
    {
        thread = CreateThread(nullptr, 0, WriteThread, &g_writeDataEvent, 0, nullptr);
        ASSERT_NE(nullptr, thread);
    }

    // Messages are queued directly when the test needs no producer's pause or retry.
    void Send(const std::string &bytes, WORD tag)
    {
        Queue(bytes, tag);
        SetEvent(g_writeDataEvent);
    }

    // Arms the wait for the calls of the messages about to be sent and of a trailing
    // end-document request; call before the first Send.
    void ExpectCallsBeforeEnd(int callsBefore)
    {
        ExpectCalls(callsBefore + static_cast<int>(kEndDocumentCalls.size()));
    }

    // Sends the trailing end-document request: once its last call is made, every message
    // queued before it has been dealt with, its response included.
    void EndWith(WORD tag = 0)
    {
        Send(std::string(1, '\x02'), tag);
        ASSERT_TRUE(AwaitCalls()) << ::testing::PrintToString(CallTextList());
    }

    bool StopThread()
    {
        g_writeStop = 1;
        SetEvent(g_writeDataEvent);
        const bool ended = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
        if (!ended)
            TerminateThread(thread, 1);
        CloseHandle(thread);
        thread = nullptr;
        return ended;
    }

    void TearDown() override
    {
        if (thread != nullptr)
            StopThread();
        DataPathTest::TearDown();
    }

    HANDLE thread = nullptr;
};

} // namespace

TEST_F(WriteThreadTest, PacketGoesToSendBidiAndItsReplyToClientsWithTagZero)
{
    StartThread();
    tov.bidiReply = std::string("\xA5\x00\x02\x10\x20", 5);
    ExpectCallsBeforeEnd(1);
    Send(std::string("\xA5\x00\x01\x42", 4), 7);
    EndWith();
    EXPECT_EQ(Joined({"TovSendBidi(1, 7, 0, 170, 1024, a5000142, 4)"}, kEndDocumentCalls), CallTextList());
    const auto replies = TakeInboundMessages();
    ASSERT_EQ(1u, replies.size());
    EXPECT_EQ("a500021020", HexOf(replies[0].first));
    EXPECT_EQ(0, replies[0].second);
    EXPECT_TRUE(platform.Lines().empty());
    EXPECT_TRUE(StopThread());
}

TEST_F(WriteThreadTest, StartUsesTheTagAndEndUsesThePrinterHandle)
{
    struct Case {
        DWORD nonBidi;
        const char *endOfJob;
    };
    for (const Case &c :
         {Case{0, "TovSetEndOfJobMode(1, 5, 4, 1, 20)"}, Case{1, "TovSetEndOfJobMode(1, 5, 1, 1, 20)"}}) {
        SCOPED_TRACE(c.nonBidi);
        g_nonBidiMode = c.nonBidi;
        tov.ResetCalls();
        if (thread == nullptr)
            StartThread();
        ExpectCallsBeforeEnd(3);
        Send(std::string(1, '\x01'), 9);
        EndWith(9);
        EXPECT_EQ(Joined({"TovSetJobCancelMode(1, 5, 1)", c.endOfJob, "TovStartDoc(9, 0, 0)"}, kEndDocumentCalls),
                  CallTextList());
    }
}

TEST_F(WriteThreadTest, FirstByteDecidesWhateverTheLength)
{
    StartThread();
    ExpectCalls(3 + 4);
    Send(std::string("\x01\xA5\x00\x01\x42", 5), 3);
    Send(std::string("\x02\xA5\x00\x01\x42", 5), 3);
    ASSERT_TRUE(AwaitCalls());
    EXPECT_TRUE(tov.CallsNamed("TovSendBidi").empty());
    EXPECT_EQ(1u, tov.CallsNamed("TovStartDoc").size());
    EXPECT_EQ(1u, tov.CallsNamed("TovEndDoc").size());
}

TEST_F(WriteThreadTest, EmptyMessageAndEmptyReplyLeaveNoTrace)
{
    StartThread();
    tov.bidiReplyLengthOverride = 0;
    ExpectCallsBeforeEnd(1);
    Send(std::string(), 4);
    Send(std::string("\xA5\x00\x00", 3), 4);
    EndWith();
    EXPECT_EQ(Joined({"TovSendBidi(1, 4, 0, 170, 1024, a50000, 3)"}, kEndDocumentCalls), CallTextList());
    EXPECT_TRUE(TakeInboundMessages().empty());
}

TEST_F(WriteThreadTest, ReplyLongerThanTheBufferIsDropped)
{
    StartThread();
    // 65537 cut to 16 bits would pass for a one-byte reply.
    for (long length : {1025L, 65537L}) {
        tov.bidiReplyLengthOverride = length;
        ExpectCallsBeforeEnd(1);
        Send(std::string("\xA5\x00\x00", 3), 4);
        EndWith();
        EXPECT_TRUE(TakeInboundMessages().empty()) << length;
    }
}

TEST_F(WriteThreadTest, FailuresAreLoggedAndTheThreadGoesOn)
{
    StartThread();
    tov.Fail("TovSendBidi", 0x1F);
    tov.Fail("TovStartDoc", 0xAB);
    tov.Fail("TovEndDoc", 0xCD);
    ExpectCallsBeforeEnd(4);
    Send(std::string("\xA5\x00\x00", 3), 4);
    Send(std::string(1, '\x01'), 4);
    EndWith();
    EXPECT_EQ(Joined({"TovSendBidi(1, 4, 0, 170, 1024, a50000, 3)", "TovSetJobCancelMode(1, 5, 1)",
                      "TovSetEndOfJobMode(1, 5, 4, 1, 20)", "TovStartDoc(4, 0, 0)"},
                     kEndDocumentCalls),
              CallTextList())
        << "the modes are restored after a failed end of document";
    EXPECT_EQ((std::vector<std::string>{"QELAPP32: WriteThread: TovSendBidi FAILED (1Fh)\n",
                                        "QELAPP32: WriteThread: TovStartDoc failed (ABh)\n",
                                        "QELAPP32: WriteThread: TovEndDoc failed (CDh)\n"}),
              platform.Lines());
    EXPECT_TRUE(TakeInboundMessages().empty());
}

TEST_F(WriteThreadTest, KeepsTheOrderOfProducedMessagesPastTheQueuesCapacity)
{
    platform.realSleep = true; // the producers' retries must leave the thread time to drain
    StartThread();
    ExpectCalls(3 + 7 + static_cast<int>(kEndDocumentCalls.size()));
    PostToWriteThread(2, "\x01", 1);
    std::vector<std::string> expected = {"TovSetJobCancelMode(1, 5, 1)", "TovSetEndOfJobMode(1, 5, 4, 1, 20)",
                                         "TovStartDoc(2, 0, 0)"};
    for (char i = 0; i < 7; ++i) {
        const std::string packet = std::string("\xA5\x00\x01", 3) + char('a' + i);
        PostToWriteThread(2, packet.data(), 4);
        expected.push_back("TovSendBidi(1, 2, 0, 170, 1024, " + HexOf(packet) + ", 4)");
    }
    PostEndDocument(2);
    ASSERT_TRUE(AwaitCalls());
    EXPECT_EQ(Joined(expected, kEndDocumentCalls), CallTextList());
    const auto replies = TakeInboundMessages();
    ASSERT_EQ(7u, replies.size());
    EXPECT_EQ("a5000167", HexOf(replies[6].first));
}

TEST_F(WriteThreadTest, FullInboundQueueDropsTheReplyAfterSevenHundredAttempts)
{
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(1, QueueAddMessage(&InboundQueue, "x", 1, 0));
    StartThread();
    ExpectCallsBeforeEnd(1);
    Send(std::string("\xA5\x00\x00", 3), 4);
    EndWith();
    EXPECT_EQ(std::vector<DWORD>(700, 100), platform.Sleeps());
    EXPECT_EQ(32u, TakeInboundMessages().size());
}

TEST_F(WriteThreadTest, StopFlagLeavesQueuedMessagesUnsent)
{
    Queue(std::string("\xA5\x00\x00", 3), 1);
    Queue(std::string(1, '\x01'), 1);
    g_writeStop = 1;
    StartThread();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000)) << "ends without waiting";
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_EQ(2u, TakeOutboundMessages().size());
}

TEST_F(WriteThreadTest, StopsWhenWokenWithTheFlagRaised)
{
    StartThread();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 50)) << "sleeps on the event";
    EXPECT_TRUE(StopThread());
    EXPECT_TRUE(tov.Calls().empty());
}

using WriteProducers = DataPathTest;

TEST_F(WriteProducers, PostToWriteThreadQueuesWakesAndPauses)
{
    PostToWriteThread(0x0102, "\xA5\x00\x01\x42", 4);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writeData, 0));
    EXPECT_EQ(std::vector<DWORD>{40}, platform.Sleeps());
    const auto queued = TakeOutboundMessages();
    ASSERT_EQ(1u, queued.size());
    EXPECT_EQ("a5000142", HexOf(queued[0].first));
    EXPECT_EQ(0x0102, queued[0].second);
}

TEST_F(WriteProducers, PostEndDocumentQueuesOneByteAndDoesNotPause)
{
    PostEndDocument(0x0304);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writeData, 0));
    EXPECT_TRUE(platform.Sleeps().empty());
    EXPECT_EQ((std::vector<std::pair<std::string, WORD>>{{std::string(1, '\x02'), 0x0304}}), TakeOutboundMessages());
}

TEST_F(WriteProducers, FullQueueDropsAfterSevenHundredAttemptsAndStillWakes)
{
    for (bool endDocument : {false, true}) {
        SCOPED_TRACE(endDocument);
        const size_t sleptBefore = platform.Sleeps().size();
        for (int i = 0; i < 4; ++i)
            Queue("m", 1);
        if (endDocument)
            PostEndDocument(1);
        else
            PostToWriteThread(1, "p", 1);
        std::vector<DWORD> expected(700, 100);
        if (!endDocument)
            expected.push_back(40);
        const std::vector<DWORD> slept = platform.Sleeps();
        EXPECT_EQ(expected, std::vector<DWORD>(slept.begin() + sleptBefore, slept.end()));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writeData, 0));
        EXPECT_EQ(4u, TakeOutboundMessages().size());
        EXPECT_TRUE(platform.Lines().empty());
    }
}

// 1131 goes through the queue, 1130 to the library directly: a document started right
// after the previous one's end waits until the write thread has ended that one.
TEST_F(WriteThreadTest, DocumentStartWaitsForTheQueuedEndOfThePreviousOne)
{
    platform.realSleep = true;
    tov.onCall = [](const std::string &name) {
        if (name == "TovEndDoc")
            Sleep(200); // a slow printer
    };
    StartThread();
    g_writeThread = thread;
    EXPECT_EQ(1, OnEndDoc(QEL_MAKE_WPARAM(5, 0)));
    EXPECT_EQ(1, OnStartDoc(QEL_MAKE_WPARAM(5, 0)));
    g_writeThread = nullptr;
    EXPECT_TRUE(StopThread());
    std::vector<std::string> names;
    for (const SimCall &call : tov.Calls())
        names.push_back(call.name);
    EXPECT_EQ(
        (std::vector<std::string>{"TovEndDoc", "TovSetJobControlMode", "TovSetJobCancelMode", "TovSetEndOfJobMode",
                                  "TovSetJobCancelMode", "TovSetEndOfJobMode", "TovStartDoc"}),
        names);
}

TEST_F(WriteThreadTest, DocumentStartWaitsNoLongerThanTheQueuesRetryLimit)
{
    g_writeThread = GetCurrentThread(); // a write thread that never carries anything out
    ++g_outboundQueued;
    EXPECT_EQ(1, OnStartDoc(QEL_MAKE_WPARAM(5, 0)));
    g_writeThread = nullptr;
    --g_outboundQueued;
    EXPECT_EQ(std::vector<DWORD>(7000, 10), platform.Sleeps());
    EXPECT_EQ(
        (std::vector<std::string>{"QELAPP32: WM_QELAPP32_STARTDOC: earlier requests still queued after 70000 ms\n"}),
        platform.Lines());
    EXPECT_EQ(1u, tov.CallsNamed("TovStartDoc").size());
}

// The thread often wakes on a signal left from a message it already took, and finds the
// queue empty. A message queued at that very moment is still carried out, and must be
// counted: one left uncounted would make every later document start wait out its bound.
TEST_F(WriteThreadTest, EveryMessageCarriedOutIsCountedWhenEverItWasQueued)
{
    tov.bidiReplyLengthOverride = 0; // no replies: only the outbound queue is in play
    StartThread();
    const BYTE packet = 0xA5;
    constexpr int kPosts = 60000;
    const ULONGLONG deadline = GetTickCount64() + 20000;
    const auto before = [&]() { return GetTickCount64() < deadline; };
    for (int post = 0; post < kPosts && before(); ++post) {
        while (QueueAddMessage(&OutboundQueue, &packet, 1, 5) == 0 && before())
            SwitchToThread();
        ++g_outboundQueued;
        SetEvent(g_writeDataEvent);
        // Now and then the thread is let drain the queue, so that it meets it empty.
        while (post % 4 == 3 && !QueueIsEmpty(&OutboundQueue) && before())
            SwitchToThread();
    }
    while (g_outboundCarriedOut.load() != g_outboundQueued.load() && before())
        Sleep(1);
    ASSERT_TRUE(before()) << "carried out " << g_outboundCarriedOut.load() << " of " << g_outboundQueued.load();
    EXPECT_EQ(static_cast<DWORD>(kPosts), g_outboundCarriedOut.load());
    EXPECT_TRUE(QueueIsEmpty(&OutboundQueue));
}
