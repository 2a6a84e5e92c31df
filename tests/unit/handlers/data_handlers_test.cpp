#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data_path_fixture.h"
#include "handlers/message_handlers.h"
#include "qelapp32/client.h"
#include "sender_directory.h"
#include "support/guarded_pages.h"

namespace {

constexpr LPARAM kUnmapped = 0x10;

LPARAM Address(const void *pointer)
{
    return reinterpret_cast<LPARAM>(pointer);
}

// Strings in memory of the kind a client places in the service (private pages of their
// own), since the service refuses its own image, heaps and stacks.
class ClientStrings {
public:
    LPARAM operator()(const std::string &text)
    {
        char *copy = static_cast<char *>(region_.Get()) + used_;
        std::memcpy(copy, text.c_str(), text.size() + 1);
        used_ += text.size() + 1;
        return Address(copy);
    }

private:
    static constexpr size_t kSize = 64 * 1024;
    VirtualMemory region_{VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)};
    size_t used_ = 0;
};

bool IsSignalled(HANDLE event)
{
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

using ReadMessage = DataPathTest;
using WriteMessage = DataPathTest;
using DocumentMessages = DataPathTest;

} // namespace

TEST_F(ReadMessage, EmptyQueueAnswersZeroAndLeavesTheBuffer)
{
    char buffer[8];
    std::memset(buffer, 0x5A, sizeof(buffer));
    EXPECT_EQ(0, OnRead(sizeof(buffer), Address(buffer)));
    EXPECT_EQ(std::string(8, '\x5A'), std::string(buffer, 8));
}

TEST_F(ReadMessage, AnswersTheOldestMessagesLengthFromTheLowWordOfTheSize)
{
    ASSERT_EQ(1, QueueAddMessage(&InboundQueue, "first", 5, 0));
    ASSERT_EQ(1, QueueAddMessage(&InboundQueue, "second", 6, 0));
    char buffer[16] = {};
    EXPECT_EQ(5, OnRead(QEL_MAKE_WPARAM(0xFFFF, sizeof(buffer)), Address(buffer)));
    EXPECT_STREQ("first", buffer);
    EXPECT_EQ(6, OnRead(sizeof(buffer), Address(buffer)));
}

TEST_F(ReadMessage, BadBufferCostsTheAnswerButNotTheMessage)
{
    GuardedPages pages;
    ASSERT_EQ(1, QueueAddMessage(&InboundQueue, "keep", 4, 0));
    struct Case {
        LPARAM buffer;
        WORD size;
    };
    const Case cases[] = {{kUnmapped, 16}, {0, 16}, {Address(pages.Tail(8)), 9}, {Address(pages.ReadOnly()), 16}};
    for (const Case &c : cases) {
        platform.ClearLines();
        EXPECT_EQ(0, OnRead(c.size, c.buffer));
        char line[128];
        wsprintfA(line, "QELAPP32: WM_QELAPP32_READ: invalid buffer address %lXh (%u bytes)\n",
                  static_cast<unsigned long>(c.buffer), static_cast<unsigned>(c.size));
        EXPECT_EQ(std::vector<std::string>{line}, platform.Lines());
    }
    // The queue copies at most 1024 bytes, so only those need to be writable.
    EXPECT_EQ(4, OnRead(0xFFFF, Address(pages.Tail(1024))));
    EXPECT_EQ("keep", std::string(reinterpret_cast<char *>(pages.Tail(1024)), 4));
}

TEST_F(WriteMessage, QueuesThePacketWithTheHandleAsTagWakesAndPauses)
{
    const char packet[] = "\xA5\x00\x01\x42";
    EXPECT_EQ(0, OnWrite(QEL_MAKE_WPARAM(0x0102, 4), Address(packet)));
    EXPECT_TRUE(IsSignalled(writeData));
    EXPECT_EQ(std::vector<DWORD>{40}, platform.Sleeps());
    const auto queued = TakeOutboundMessages();
    ASSERT_EQ(1u, queued.size());
    EXPECT_EQ("a5000142", HexOf(queued[0].first));
    EXPECT_EQ(0x0102, queued[0].second);
    EXPECT_TRUE(platform.Lines().empty());
}

TEST_F(WriteMessage, BytesAreTakenOnceBeforeWaitingForRoom)
{
    const BYTE filler = 0x11;
    while (QueueAddMessage(&OutboundQueue, &filler, 1, 0) != 0) {
    }
    GuardedPages pages;
    BYTE *clientPacket = pages.Tail(4);
    std::memcpy(clientPacket, "\xA5\x00\x01\x42", 4);
    // While the post waits for room the client frees a slot, then changes its buffer.
    platform.onSleep = [clientPacket](DWORD) {
        BYTE taken[kQueueMessageSize];
        if (QueueGetMessage(&OutboundQueue, taken, sizeof(taken), nullptr) == 1)
            std::memset(clientPacket, 0xEE, 4);
    };
    EXPECT_EQ(0, OnWrite(QEL_MAKE_WPARAM(7, 4), Address(clientPacket)));
    platform.onSleep = nullptr;
    const auto queued = TakeOutboundMessages();
    ASSERT_FALSE(queued.empty());
    EXPECT_EQ("a5000142", HexOf(queued.back().first));
    EXPECT_EQ(7, queued.back().second);
}

TEST_F(WriteMessage, EmptyMessageNeedsNoAddress)
{
    EXPECT_EQ(0, OnWrite(QEL_MAKE_WPARAM(3, 0), 0));
    EXPECT_EQ((std::vector<std::pair<std::string, WORD>>{{std::string(), 3}}), TakeOutboundMessages());
}

TEST_F(WriteMessage, FullLengthIsReadUpToTheEdge)
{
    GuardedPages pages;
    std::memset(pages.Tail(1024), 0xA5, 1024);
    EXPECT_EQ(0, OnWrite(QEL_MAKE_WPARAM(1, 1024), Address(pages.Tail(1024))));
    const auto queued = TakeOutboundMessages();
    ASSERT_EQ(1u, queued.size());
    EXPECT_EQ(1024u, queued[0].first.size());
}

TEST_F(WriteMessage, BadAddressOrOverlongMessageIsRefusedWithoutQueueing)
{
    GuardedPages pages;
    struct Case {
        LPARAM data;
        WORD length;
        std::string line;
    };
    char edge[128];
    wsprintfA(edge, "QELAPP32: WM_QELAPP32_WRITE: invalid message address %lXh (9 bytes)\n",
              static_cast<unsigned long>(Address(pages.Tail(8))));
    const Case cases[] = {
        {kUnmapped, 4, "QELAPP32: WM_QELAPP32_WRITE: invalid message address 10h (4 bytes)\n"},
        {0, 1, "QELAPP32: WM_QELAPP32_WRITE: invalid message address 0h (1 bytes)\n"},
        {Address(pages.Tail(8)), 9, edge},
        // Refused before a byte is read: the address is not even looked at.
        {kUnmapped, 1025, "QELAPP32: WM_QELAPP32_WRITE: message of 1025 bytes refused (at most 1024)\n"},
        {Address(pages.Tail(1024)), 0xFFFF,
         "QELAPP32: WM_QELAPP32_WRITE: message of 65535 bytes refused (at most 1024)\n"},
    };
    for (const Case &c : cases) {
        platform.ClearLines();
        EXPECT_EQ(0, OnWrite(QEL_MAKE_WPARAM(1, c.length), c.data));
        EXPECT_EQ(std::vector<std::string>{c.line}, platform.Lines());
    }
    EXPECT_TRUE(TakeOutboundMessages().empty());
    EXPECT_FALSE(IsSignalled(writeData));
    EXPECT_TRUE(platform.Sleeps().empty());
}

TEST_F(DocumentMessages, StartDocResetsTheModesAndStartsWithTheClientsHandle)
{
    struct Case {
        DWORD nonBidi;
        const char *failing;
        LRESULT answer;
        std::vector<std::string> lines;
        const char *endOfJob;
    };
    const Case cases[] = {
        {0, nullptr, 1, {}, "TovSetEndOfJobMode(1, 5, 4, 1, 20)"},
        {1, nullptr, 1, {}, "TovSetEndOfJobMode(1, 5, 1, 1, 20)"},
        {0,
         "TovSetJobCancelMode",
         0,
         {"QELAPP32: ResetQELModes: TovSetJobCancelMode failed (57h)\n"},
         "TovSetEndOfJobMode(1, 5, 4, 1, 20)"},
        {0,
         "TovStartDoc",
         0,
         {"QELAPP32: WM_QELAPP32_STARTDOC: TovStartDoc failed (57h)\n"},
         "TovSetEndOfJobMode(1, 5, 4, 1, 20)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        tov.ResetCalls();
        platform.ClearLines();
        g_nonBidiMode = c.nonBidi;
        if (c.failing != nullptr)
            tov.Fail(c.failing, 0x57);
        EXPECT_EQ(c.answer, OnStartDoc(QEL_MAKE_WPARAM(0x0203, 0x7777)));
        EXPECT_EQ((std::vector<std::string>{"TovSetJobCancelMode(1, 5, 1)", c.endOfJob, "TovStartDoc(515, 0, 0)"}),
                  CallTextList())
            << "the document starts whatever the modes gave";
        EXPECT_EQ(c.lines, platform.Lines());
        if (c.failing != nullptr)
            tov.Fail(c.failing, 0);
    }
}

TEST_F(DocumentMessages, EndDocQueuesTheEndForTheWriteThreadAndAnswersOne)
{
    EXPECT_EQ(1, OnEndDoc(QEL_MAKE_WPARAM(0x0203, 0)));
    EXPECT_TRUE(IsSignalled(writeData));
    EXPECT_TRUE(platform.Sleeps().empty()) << "no pause, unlike a packet";
    EXPECT_EQ((std::vector<std::pair<std::string, WORD>>{{std::string(1, '\x02'), 0x0203}}), TakeOutboundMessages());
    EXPECT_TRUE(tov.Calls().empty());
}

TEST_F(DocumentMessages, OpenAndCloseUseTheInstancesPrinter)
{
    EXPECT_EQ(1, OnOpen());
    EXPECT_EQ(1, OnClose());
    EXPECT_EQ((std::vector<std::string>{"TovOpen(1, 5, 20)", "TovClose(1, 5)"}), CallTextList());

    g_appId = 0xFFFF;
    g_hPrinter = 0xFFFF;
    tov.Fail("TovOpen", 0x1A);
    tov.Fail("TovClose", 0x2B);
    EXPECT_EQ(0, OnOpen());
    EXPECT_EQ(0, OnClose());
    EXPECT_EQ((std::vector<std::string>{"QELAPP32: WM_QELAPP32_OPEN: TovOpen(-1, 65535, 20) failed (1Ah)\n",
                                        "QELAPP32: WM_QELAPP32_CLOSE: TovClose(-1, 65535) failed (2Bh)\n"}),
              platform.Lines());
}

namespace {

// Starts real sender threads on files of a temporary system directory. A gate can hold
// the sender inside its first library call, or before it builds its path.
class SendFileMessage : public DataPathTest {
protected:
    void SetUp() override
    {
        DataPathTest::SetUp();
        gate = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        testThread = GetCurrentThreadId();
        tov.onCall = [this](const std::string &) { WaitForSingleObject(gate, 10000); };
    }

    void TearDown() override
    {
        SetEvent(gate);
        WaitForSender();
        if (g_senderThread != nullptr)
            CloseHandle(g_senderThread);
        g_senderThread = nullptr;
        g_senderThreadId = 0;
        tov.onCall = nullptr;
        CloseHandle(gate);
        DataPathTest::TearDown();
    }

    void WaitForSender()
    {
        if (g_senderThread != nullptr) {
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_senderThread, 10000));
        }
    }

    // Holds the sender thread when it asks for the system directory, before it builds its path.
    void HoldSenderBeforeItsPath()
    {
        const std::string path = directory.Path();
        const DWORD mainThread = testThread;
        HANDLE held = gate;
        platform.systemDirectory = [path, mainThread, held](LPSTR buffer, UINT) -> UINT {
            if (GetCurrentThreadId() != mainThread)
                WaitForSingleObject(held, 10000);
            std::strcpy(buffer, path.c_str());
            return static_cast<UINT>(path.size());
        };
    }

    SenderDirectory directory{platform};
    ClientStrings client;
    HANDLE gate = nullptr;
    DWORD testThread = 0;
};

} // namespace

TEST_F(SendFileMessage, StartsTheSenderAndAnswersWhetherItStillRuns)
{
    EXPECT_EQ(0, OnSendFile(WM_QELAPP32_SENDFILE, 0)) << "no sender yet";
    const std::string bytes = PatternBytes(6000);
    directory.Put("job.bin", bytes);
    ResetEvent(gate);
    EXPECT_EQ(1, OnSendFile(WM_QELAPP32_SENDFILE, client("job.bin")));
    ASSERT_NE(nullptr, g_senderThread);
    EXPECT_EQ(1, OnSendFile(WM_QELAPP32_SENDFILE, 0));
    EXPECT_EQ(1, OnSendFile(WM_QELAPP32_SENDFILE2, 0));

    for (UINT message : {WM_QELAPP32_SENDFILE, WM_QELAPP32_SENDFILE2}) {
        EXPECT_EQ(0, OnSendFile(message, client("job.bin"))) << "one sender at a time";
    }
    EXPECT_EQ((std::vector<std::string>{"QELAPP32: WM_QELAPP32_SENDFILE: a file is still being sent\n",
                                        "QELAPP32: WM_QELAPP32_SENDFILE2: a file is still being sent\n"}),
              platform.Lines());

    SetEvent(gate);
    WaitForSender();
    EXPECT_EQ(0, OnSendFile(WM_QELAPP32_SENDFILE2, 0));
    EXPECT_TRUE(tov.written == bytes) << "the running sender went on alone";
    EXPECT_EQ(2u, tov.CallsNamed("TovWrite").size());
}

TEST_F(SendFileMessage, SenderWorksOnItsOwnCopyOfTheName)
{
    directory.Put("a.bin", "AAAA");
    directory.Put("b.bin", "BBBB");
    HoldSenderBeforeItsPath();
    char clientName[16] = "a.bin";
    ResetEvent(gate);
    EXPECT_EQ(1, OnSendFile(WM_QELAPP32_SENDFILE, Address(clientName)));
    std::strcpy(clientName, "b.bin"); // the client's memory changes once it has its answer
    SetEvent(gate);
    WaitForSender();
    EXPECT_EQ("AAAA", tov.written);
}

TEST_F(SendFileMessage, MissingFileStillStartsASenderThatEndsWithoutCalls)
{
    EXPECT_EQ(1, OnSendFile(WM_QELAPP32_SENDFILE2, client("absent.bin")));
    WaitForSender();
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeThread(g_senderThread, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_TRUE(platform.Lines().empty());
}

TEST_F(SendFileMessage, RefusedNamesStartNothing)
{
    GuardedPages pages;
    std::memcpy(pages.Tail(3), "abc", 3); // no terminator before the inaccessible page
    char tail[128];
    wsprintfA(tail, "QELAPP32: WM_QELAPP32_SENDFILE: invalid file name address %lXh\n",
              static_cast<unsigned long>(Address(pages.Tail(3))));
    const std::string longName(120, 'n');
    struct Case {
        LPARAM name;
        std::string line;
    };
    const Case cases[] = {
        {client(""), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"\" refused\n"},
        {client("..\\win.ini"), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"..\\win.ini\" refused\n"},
        {client("C:\\boot.ini"), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"C:\\boot.ini\" refused\n"},
        {client("\\\\server\\share\\f"),
         "QELAPP32: WM_QELAPP32_SENDFILE: file name \"\\\\server\\share\\f\" refused\n"},
        {client("/etc/passwd"), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"/etc/passwd\" refused\n"},
        // Devices: a read from COM1 blocks for ever, NUL sends an empty document.
        {client("COM1"), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"COM1\" refused\n"},
        {client("nul"), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"nul\" refused\n"},
        {client("Aux.txt"), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"Aux.txt\" refused\n"},
        {client("NUL .log"), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"NUL .log\" refused\n"},
        {client("spool\\lpt9.prn"), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"spool\\lpt9.prn\" refused\n"},
        {client("conout$"), "QELAPP32: WM_QELAPP32_SENDFILE: file name \"conout$\" refused\n"},
        {client(longName), "QELAPP32: WM_QELAPP32_SENDFILE: file name longer than 99 characters refused\n"},
        {kUnmapped, "QELAPP32: WM_QELAPP32_SENDFILE: invalid file name address 10h\n"},
        {Address(pages.Tail(3)), tail},
    };
    for (const Case &c : cases) {
        platform.ClearLines();
        EXPECT_EQ(0, OnSendFile(WM_QELAPP32_SENDFILE, c.name)) << c.line;
        EXPECT_EQ(std::vector<std::string>{c.line}, platform.Lines());
    }
    EXPECT_EQ(nullptr, g_senderThread);
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_EQ(0, OnSendFile(WM_QELAPP32_SENDFILE, 0));
}

TEST_F(SendFileMessage, NameThatOpensAsNoDiskFileIsRefused)
{
    // A pipe stands for any object that opens but is no file: the sender would wait on it.
    platform.systemDirectory = [](LPSTR buffer, UINT) -> UINT {
        std::strcpy(buffer, "\\\\.\\pipe");
        return 8;
    };
    HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\qelsendpipe", PIPE_ACCESS_DUPLEX, 0, 4, 512, 512, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    EXPECT_EQ(0, OnSendFile(WM_QELAPP32_SENDFILE2, client("qelsendpipe")));
    EXPECT_EQ(
        (std::vector<std::string>{"QELAPP32: WM_QELAPP32_SENDFILE2: \"qelsendpipe\" is not a disk file, refused\n"}),
        platform.Lines());
    EXPECT_EQ(nullptr, g_senderThread);
    EXPECT_TRUE(tov.Calls().empty());
    CloseHandle(pipe);
}

TEST_F(SendFileMessage, NewSenderReplacesAndClosesTheLastHandle)
{
    directory.Put("one.bin", "1");
    EXPECT_EQ(1, OnSendFile(WM_QELAPP32_SENDFILE, client("one.bin")));
    WaitForSender();
    DWORD handlesWithOne = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesWithOne);
    const HANDLE first = g_senderThread;
    EXPECT_EQ(1, OnSendFile(WM_QELAPP32_SENDFILE2, client("one.bin")));
    WaitForSender();
    EXPECT_NE(first, nullptr);
    DWORD handlesWithTwo = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesWithTwo);
    EXPECT_EQ(handlesWithOne, handlesWithTwo) << "the first sender's handle was closed";
    EXPECT_EQ("11", tov.written);
}
