#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handlers/message_handlers.h"
#include "printer_state_fixture.h"
#include "qelapp32/client.h"
#include "status/status_query.h"
#include "status/status_thread.h"

namespace {

// A message-only window on the test thread that stands in for the alert window, so
// that what the status logic posts to it can be counted.
class PostedMessageSink {
public:
    PostedMessageSink()
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "QelH4StatusSink";
        RegisterClassA(&windowClass); // fails harmlessly when already registered
        window_ = CreateWindowExA(0, "QelH4StatusSink", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    }
    ~PostedMessageSink() { DestroyWindow(window_); }

    HWND Window() const { return window_; }

    int Take(UINT message)
    {
        int count = 0;
        MSG posted;
        while (PeekMessageA(&posted, window_, message, message, PM_REMOVE)) {
            EXPECT_EQ(0u, posted.wParam);
            EXPECT_EQ(0, posted.lParam);
            ++count;
        }
        return count;
    }

private:
    HWND window_ = nullptr;
};

bool IsSignalled(HANDLE event)
{
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

class StatusRefresh : public PrinterStateTest {
protected:
    void SetUp() override
    {
        PrinterStateTest::SetUp();
        ASSERT_NE(nullptr, sink.Window());
        g_alertWindow = sink.Window();
    }

    PostedMessageSink sink;
    int usbRequeries = 0;
};

} // namespace

TEST_F(StatusRefresh, FirstRefreshEnumeratesQueriesAndReportsTheEndOfTheEpisodeOnce)
{
    printer.SetPortValue("USB001");
    tov.hPrinter = 7;
    g_statusWord = 0x101;
    EXPECT_TRUE(RefreshPrinterStatus(&usbRequeries));
    EXPECT_EQ((std::vector<std::string>{"TovEnumSpecificPort", "TovQueryPrinterStatus"}), tov.CallNames());
    EXPECT_EQ("TovQueryPrinterStatus(1, 7, 4095, 1036)", tov.CallText(1));
    EXPECT_EQ(0u, g_reEnumerate.load());
    EXPECT_EQ(0x001u, g_statusWord.load()) << "a good state clears the error bit only";
    EXPECT_EQ(1, sink.Take(WM_QELAPP32_PRINTEROK));

    tov.ResetCalls();
    EXPECT_TRUE(RefreshPrinterStatus(&usbRequeries));
    EXPECT_EQ(std::vector<std::string>{"TovQueryPrinterStatus"}, tov.CallNames()) << "no enumeration any more";
    EXPECT_EQ(0, sink.Take(WM_QELAPP32_PRINTEROK)) << "once per episode";

    // A new episode with no alert window: it still ends, and nothing lands in this
    // thread's own queue.
    g_reEnumerate = 1;
    g_alertWindow = nullptr;
    EXPECT_TRUE(RefreshPrinterStatus(&usbRequeries));
    EXPECT_EQ(0u, g_reEnumerate.load());
    MSG stray;
    EXPECT_FALSE(PeekMessageA(&stray, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
}

TEST_F(StatusRefresh, FailedEnumerationMakesNoQueryAndAsksForNoSignal)
{
    tov.enumMask = 0x01;
    g_statusWord = 0x100;
    EXPECT_FALSE(RefreshPrinterStatus(&usbRequeries));
    EXPECT_EQ(std::vector<std::string>{"TovEnumSpecificPort"}, tov.CallNames());
    EXPECT_EQ(1u, g_reEnumerate.load());
    EXPECT_EQ(0x100u, g_statusWord.load());
}

TEST_F(StatusRefresh, ActsOnTheStateAfterTheUsbReQueryRule)
{
    struct Case {
        uint32_t portType;
        std::vector<DWORD> states; // one per query
        int failingQuery;          // 1-based; 0: none fails
        int countBefore;
        size_t queries;
        int countAfter;
        uint32_t before;
        uint32_t after;
    };
    const Case cases[] = {
        {kPortLocal, {0}, 0, 0, 1, 0, 0x0101, 0x0001},        {kPortLocal, {1}, 0, 0, 1, 0, 0x0100, 0x0000},
        {kPortLocal, {2}, 0, 0, 1, 0, 0x0001, 0x0101},        {kPortLocal, {3}, 0, 0, 1, 0, 0x0000, 0x0100},
        {kPortLocal, {4}, 0, 0, 1, 0, 0x0100, 0x0100},        {kPortLocal, {0xFFFFFFFF}, 0, 0, 1, 0, 0x0000, 0x0000},
        {kPortLocal, {0}, 1, 0, 1, 0, 0x0100, 0x0100},     // a failed query changes nothing
        {kPortUsb, {2, 2, 2}, 0, 0, 3, 2, 0x0000, 0x0100}, // two re-queries, then the error
        {kPortUsb, {2}, 0, 2, 1, 2, 0x0000, 0x0100},       // the count is spent for the thread's life
        {kPortUsb, {2, 0}, 0, 0, 2, 1, 0x0100, 0x0000},    // the re-query's state is acted on afresh
        {kPortUsb, {3, 1}, 0, 1, 2, 2, 0x0100, 0x0000},       {kPortUsb, {2, 3, 0}, 0, 0, 3, 2, 0x0100, 0x0000},
        {kPortUsb, {2, 7}, 0, 0, 2, 1, 0x0000, 0x0000}, // an unknown state changes nothing
        {kPortUsb, {2, 2}, 2, 0, 2, 1, 0x0000, 0x0000}, // a failed re-query changes nothing
        {kPortLocalNonBidi, {2}, 0, 0, 1, 0, 0x0000, 0x0100},
    };
    g_reEnumerate = 0;
    tov.statusState = 9;
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.states) + " on port type " + std::to_string(c.portType));
        g_portType = c.portType;
        g_statusWord = c.before;
        tov.statusSequence = c.states;
        tov.ResetCalls();
        int queries = 0;
        tov.onCall = [&](const std::string &name) {
            if (name == "TovQueryPrinterStatus")
                tov.Fail(name, ++queries == c.failingQuery ? 0x1F : 0);
        };
        int count = c.countBefore;
        EXPECT_TRUE(RefreshPrinterStatus(&count)) << "every query, good or failed, asks for got-status";
        EXPECT_EQ(c.queries, tov.CallsNamed("TovQueryPrinterStatus").size());
        EXPECT_EQ(c.countAfter, count);
        EXPECT_EQ(c.after, g_statusWord.load());
    }
    tov.onCall = nullptr;
    EXPECT_EQ(0, sink.Take(WM_QELAPP32_PRINTEROK)) << "no episode was open";
}

TEST(StatusAnswer, ReportsAttentionOnceThenErrorThenReady)
{
    struct Case {
        uint32_t word;
        DWORD first;
        DWORD second;
        uint32_t left;
    };
    const Case cases[] = {
        {0x0101, 0x20, 0x80, 0x0100}, {0x0001, 0x20, 0x98, 0x0000},         {0x0100, 0x80, 0x80, 0x0100},
        {0x0000, 0x98, 0x98, 0x0000}, {0xFFFFFEFE, 0x98, 0x98, 0xFFFFFEFE}, {0x0401, 0x20, 0x98, 0x0400},
    };
    for (const Case &c : cases) {
        g_statusWord = c.word;
        EXPECT_EQ(c.first, TakeStatusAnswer());
        EXPECT_EQ(c.second, TakeStatusAnswer());
        EXPECT_EQ(c.left, g_statusWord.load());
    }
    g_statusWord = 0;
}

namespace {

// The clock and the waits of 1128, scripted.
DWORD g_now = 0;
std::vector<DWORD> g_waits;
std::vector<DWORD> g_waitResults; // consumed in order; WAIT_OBJECT_0 when exhausted

DWORD WINAPI FakeTickCount()
{
    return g_now;
}

DWORD WINAPI FakeWait(HANDLE handle, DWORD milliseconds)
{
    EXPECT_EQ(g_gotStatusEvent, handle) << "1128 waits on got-status only";
    g_waits.push_back(milliseconds);
    if (g_waitResults.empty())
        return WAIT_OBJECT_0;
    const DWORD result = g_waitResults.front();
    g_waitResults.erase(g_waitResults.begin());
    return result;
}

class GetStatus : public PrinterStateTest {
protected:
    void SetUp() override
    {
        PrinterStateTest::SetUp();
        saved_ = g_statusTiming;
        g_statusTiming = StatusTiming{FakeTickCount, FakeWait};
        g_now = 100000;
        g_waits.clear();
        g_waitResults.clear();
        g_getStatusEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        g_gotStatusEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }

    void TearDown() override
    {
        CloseHandle(g_getStatusEvent);
        CloseHandle(g_gotStatusEvent);
        g_getStatusEvent = nullptr;
        g_gotStatusEvent = nullptr;
        g_statusTiming = saved_;
        PrinterStateTest::TearDown();
    }

    // Asks 1128 and answers whether the status thread was asked for a refresh.
    DWORD Ask(LPARAM mode, bool *requested = nullptr)
    {
        const DWORD answer = static_cast<DWORD>(OnGetStatus(mode));
        const bool wasRequested = IsSignalled(g_getStatusEvent);
        if (requested != nullptr)
            *requested = wasRequested;
        return answer;
    }

private:
    StatusTiming saved_{};
};

} // namespace

TEST_F(GetStatus, NetworkPortAnswersReadyWithoutARefresh)
{
    g_portType = kPortNetwork;
    for (uint32_t word : {0x0000u, 0x0001u, 0x0100u, 0x0101u}) {
        g_statusWord = word;
        bool requested = true;
        EXPECT_EQ(0x98u, Ask(QEL_REFRESH_FORCED, &requested));
        EXPECT_FALSE(requested);
        EXPECT_EQ(word, g_statusWord.load()) << "not even the attention bit is taken";
    }
    EXPECT_TRUE(g_waits.empty());
    EXPECT_EQ(0u, g_lastRefreshTick);
}

TEST_F(GetStatus, ChoosesItsWaitsByPortTypeModeAndFirstRefresh)
{
    struct Case {
        uint32_t portType;
        LPARAM mode;
        DWORD lastRefresh; // 0: the first refresh since start
        std::vector<DWORD> waits;
    };
    const Case cases[] = {
        {kPortLocal, 0, 0, {5000}},        {kPortUsb, 0, 0, {5000}},        {kPortLocal, 1, 0, {5000}},
        {kPortUsb, 3, 0, {5000}},          {kPortLocal, 0, 1, {1000}},      {kPortUsb, 0, 1, {3500}},
        {kPortLocal, 4, 1, {1000}},        {kPortLocal, 1, 1, {}},          {kPortUsb, 3, 1, {}},
        {kPortLocal, 2, 1, {10000, 1000}}, {kPortUsb, 2, 1, {10000, 3500}}, {kPortUsb, 2, 0, {10000, 5000}},
        {kPortLocal, 2, 0, {10000, 5000}}, {kPortUnknown, 0, 0, {}},        {kPortLocalNonBidi, 2, 1, {}},
        {kPortLocalNonBidi, 0, 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.portType) + " mode " + std::to_string(c.mode) + " last " +
                     std::to_string(c.lastRefresh));
        g_portType = c.portType;
        g_lastRefreshTick = c.lastRefresh;
        g_waits.clear();
        g_now += 100000;
        bool requested = false;
        EXPECT_EQ(0x98u, Ask(c.mode, &requested));
        EXPECT_TRUE(requested);
        EXPECT_EQ(c.waits, g_waits);
        EXPECT_EQ(g_now, g_lastRefreshTick);
    }
}

TEST_F(GetStatus, RefreshesWhenMoreThan2000MsPassedUnsignedOrWhenForced)
{
    struct Case {
        DWORD last;
        DWORD now;
        LPARAM mode;
        bool refresh;
    };
    const Case cases[] = {
        {50000, 52000, 0, false},
        {50000, 52000, 1, false},
        {50000, 52000, 3, false},
        {50000, 52001, 0, true},
        {50000, 52001, 1, true},
        {50000, 52000, 2, true},
        {50000, 50000, 2, true},
        {0xFFFFF000, 0x00000500, 0, true},  // 5376 ms across the wrap
        {0xFFFFFF00, 0x00000100, 0, false}, // 512 ms across the wrap
        {0xFFFFF830, 0x00000000, 0, false}, // exactly 2000 ms
        {0xFFFFF82F, 0x00000000, 0, true},
    };
    g_portType = kPortLocal;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.last) + " -> " + std::to_string(c.now) + " mode " + std::to_string(c.mode));
        g_lastRefreshTick = c.last;
        g_now = c.now;
        g_waits.clear();
        bool requested = false;
        Ask(c.mode, &requested);
        EXPECT_EQ(c.refresh, requested);
        EXPECT_EQ(c.refresh ? c.now : c.last, g_lastRefreshTick);
        if (!c.refresh) {
            EXPECT_TRUE(g_waits.empty());
        }
    }
}

TEST_F(GetStatus, TimeoutSetsTheErrorBitButTheForcedFirstWaitDoesNot)
{
    struct Case {
        uint32_t portType;
        LPARAM mode;
        uint32_t word;
        std::vector<DWORD> results;
        DWORD answer;
        uint32_t left;
    };
    const Case cases[] = {
        {kPortLocal, 0, 0x0000, {WAIT_TIMEOUT}, 0x80, 0x0100},
        {kPortUsb, 0, 0x0000, {WAIT_TIMEOUT}, 0x80, 0x0100},
        {kPortLocal, 0, 0x0000, {WAIT_OBJECT_0}, 0x98, 0x0000},
        {kPortUsb, 2, 0x0000, {WAIT_TIMEOUT, WAIT_OBJECT_0}, 0x98, 0x0000},
        {kPortUsb, 2, 0x0000, {WAIT_OBJECT_0, WAIT_TIMEOUT}, 0x80, 0x0100},
        {kPortLocal, 0, 0x0001, {WAIT_TIMEOUT}, 0x20, 0x0100}, // a pending attention answers first
        // A wait that fails (no got-status event) learnt nothing: not "ready".
        {kPortLocal, 0, 0x0000, {WAIT_FAILED}, 0x80, 0x0100},
        {kPortUsb, 0, 0x0000, {WAIT_FAILED}, 0x80, 0x0100},
    };
    for (const Case &c : cases) {
        g_portType = c.portType;
        g_statusWord = c.word;
        g_lastRefreshTick = 1;
        g_now += 10000;
        g_waitResults = c.results;
        EXPECT_EQ(c.answer, Ask(c.mode));
        EXPECT_EQ(c.left, g_statusWord.load());
    }
}

TEST_F(GetStatus, StaleAnswerIsThrownAwayBeforeAsking)
{
    g_portType = kPortLocalNonBidi;
    SetEvent(g_gotStatusEvent);
    Ask(0);
    EXPECT_FALSE(IsSignalled(g_gotStatusEvent));
}

namespace {

// The real status thread on the fixture's events, with the real clock and waits.
class StatusThreadRun : public StatusRefresh {
protected:
    void SetUp() override
    {
        StatusRefresh::SetUp();
        g_statusStop = 0;
        g_getStatusEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        g_gotStatusEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }

    void TearDown() override
    {
        Stop();
        CloseHandle(g_getStatusEvent);
        CloseHandle(g_gotStatusEvent);
        g_getStatusEvent = nullptr;
        g_gotStatusEvent = nullptr;
        g_statusStop = 0;
        StatusRefresh::TearDown();
    }

    void Start() { thread_ = CreateThread(nullptr, 0, StatusThread, &g_getStatusEvent, 0, nullptr); }

    void Stop()
    {
        if (thread_ == nullptr)
            return;
        g_statusStop = 1;
        SetEvent(g_getStatusEvent);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread_, 5000));
        CloseHandle(thread_);
        thread_ = nullptr;
    }

    HANDLE thread_ = nullptr;
};

} // namespace

TEST_F(StatusThreadRun, AnswersEachRequestWithGotStatusAndEndsOnTheStopFlag)
{
    printer.SetPortValue("USB001");
    Start();
    SetEvent(g_getStatusEvent);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_gotStatusEvent, 5000));
    EXPECT_EQ((std::vector<std::string>{"TovEnumSpecificPort", "TovQueryPrinterStatus"}), tov.CallNames());

    tov.statusState = 2;
    SetEvent(g_getStatusEvent);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_gotStatusEvent, 5000));
    EXPECT_EQ(0x100u, g_statusWord.load());
    EXPECT_EQ(4u, tov.CallsNamed("TovQueryPrinterStatus").size())
        << "one good query, then an error asked three times on USB";
    Stop();
    EXPECT_EQ(1, sink.Take(WM_QELAPP32_PRINTEROK));
}

TEST_F(StatusThreadRun, FailedEnumerationLeavesGotStatusUnset)
{
    tov.enumMask = 0x01;
    Start();
    SetEvent(g_getStatusEvent);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(g_gotStatusEvent, 300));
    EXPECT_EQ(std::vector<std::string>{"TovEnumSpecificPort"}, tov.CallNames());
}

TEST_F(StatusThreadRun, StopFlagRaisedBeforeStartEndsAtOnce)
{
    g_statusStop = 1;
    Start();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread_, 5000));
    EXPECT_TRUE(tov.Calls().empty());
}
