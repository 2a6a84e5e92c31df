// Message 1125 and the main window's WM_DESTROY: order, answers and log lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/instance_state.h"
#include "fake_tov.h"
#include "handlers/main_window_proc.h"
#include "platform_recorder.h"
#include "qelapp32/client.h"

namespace {

constexpr char kPrinter[] = "EndJob Printer";
constexpr char kTestClass[] = "QelEndJobTestWindow";

// One timeline of what happened, with what was already true at each step.
struct Step {
    std::string what;
    bool nextJobOpen;
    bool alertDestroyPosted;
};

std::vector<Step> *g_timeline = nullptr;
void(WINAPI *g_recorderSleep)(DWORD) = nullptr;

bool AlertDestroyPosted()
{
    MSG message;
    return PeekMessageA(&message, g_alertWindow, WM_DESTROY, WM_DESTROY, PM_NOREMOVE) != FALSE;
}

void Note(const std::string &what)
{
    g_timeline->push_back(Step{what, g_nextJobEvent != nullptr, AlertDestroyPosted()});
}

void WINAPI NoteSleep(DWORD milliseconds)
{
    Note("Sleep(" + std::to_string(milliseconds) + ")");
    g_recorderSleep(milliseconds);
}

// The main window as the service has it: every message goes to MainWindowProc.
LRESULT CALLBACK TestMainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY && g_timeline != nullptr)
        Note("main WM_DESTROY");
    if (message == WM_DESTROY)
        return MainWindowProc(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

class EndJobTest : public ::testing::Test {
protected:
    EndJobTest()
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = TestMainWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kTestClass;
        RegisterClassA(&windowClass);
        mainWindow_ = CreateWindowExA(0, kTestClass, "main", 0, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        alertWindow_ = CreateWindowExA(0, "STATIC", "alert", 0, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
        saved_ = {g_printerName, g_mainWindow, g_alertWindow.load(), g_portType.load(), g_nonBidiMode.load()};
        g_printerName = kPrinter;
        g_mainWindow = mainWindow_;
        g_alertWindow = alertWindow_;
        g_portType = kPortLocal;
        g_nonBidiMode = 0;
        g_instancePhase = InstancePhase::Serving;
        g_timeline = &timeline;
        g_recorderSleep = g_platform.Sleep;
        g_platform.Sleep = NoteSleep;
        tov.onCall = [](const std::string &name) { Note(name); };
    }
    ~EndJobTest() override
    {
        g_platform.Sleep = g_recorderSleep;
        g_instancePhase = InstancePhase::Starting;
        g_timeline = nullptr;
        if (g_nextJobEvent != nullptr)
            CloseHandle(g_nextJobEvent);
        g_nextJobEvent = nullptr;
        if (clientEvent != nullptr)
            CloseHandle(clientEvent);
        DrainThreadQueue();
        DestroyWindow(alertWindow_);
        DestroyWindow(mainWindow_);
        g_printerName = saved_.printerName;
        g_mainWindow = saved_.mainWindow;
        g_alertWindow = saved_.alertWindow;
        g_portType = saved_.portType;
        g_nonBidiMode = saved_.nonBidi;
    }

    void CreateClientEvent()
    {
        char name[300];
        std::snprintf(name, sizeof(name), QEL_EVENT_NEXT_JOB_FORMAT, kPrinter);
        clientEvent = CreateEventA(nullptr, FALSE, FALSE, name);
        ASSERT_NE(nullptr, clientEvent);
    }

    // What the handler left in this thread's queue: the alert window's WM_DESTROY and the quit.
    static std::vector<UINT> DrainThreadQueue()
    {
        std::vector<UINT> messages;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            messages.push_back(message.message);
        return messages;
    }

    std::vector<std::string> StepNames() const
    {
        std::vector<std::string> names;
        for (const Step &step : timeline)
            names.push_back(step.what);
        return names;
    }

    PlatformRecorder platform;
    FakeTov tov;
    std::vector<Step> timeline;
    HANDLE clientEvent = nullptr;

private:
    struct Saved {
        const char *printerName;
        HWND mainWindow;
        HWND alertWindow;
        uint32_t portType;
        DWORD nonBidi;
    } saved_{};
    HWND mainWindow_ = nullptr;
    HWND alertWindow_ = nullptr;
};

} // namespace

TEST_F(EndJobTest, ReleasesAlertsThenClosesTheAlertWindowThenPausesThenEndsTheMainLoop)
{
    CreateClientEvent();
    EXPECT_EQ(1, MainWindowProc(g_mainWindow, WM_QELAPP32_ENDJOB, 0x00010007, MAKELPARAM(0x1234, 0x0105)));

    EXPECT_EQ((std::vector<std::string>{"TovReleaseAlerts", "Sleep(500)", "main WM_DESTROY"}), StepNames());
    ASSERT_EQ(3u, timeline.size());
    EXPECT_TRUE(timeline[0].nextJobOpen) << "the client's event is opened first";
    EXPECT_FALSE(timeline[0].alertDestroyPosted);
    EXPECT_TRUE(timeline[1].alertDestroyPosted) << "the pause follows the post";
    EXPECT_EQ((std::vector<std::string>{"7", "261", "1"}), tov.CallsNamed("TovReleaseAlerts").at(0).args)
        << "application ID from wParam's low word, printer handle from lParam's high word";
    EXPECT_TRUE(platform.Lines().empty());
    EXPECT_EQ((std::vector<UINT>{WM_DESTROY, WM_QUIT}), DrainThreadQueue());

    // The event that shutdown signals last is the client's own.
    ASSERT_NE(nullptr, g_nextJobEvent);
    SetEvent(g_nextJobEvent);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(clientEvent, 0));
}

TEST_F(EndJobTest, FailedReleaseAnswers0AndShutdownGoesOn)
{
    CreateClientEvent();
    tov.Fail("TovReleaseAlerts", 0x2A);
    EXPECT_EQ(0, MainWindowProc(g_mainWindow, WM_QELAPP32_ENDJOB, 1, MAKELPARAM(0, 5)));
    EXPECT_EQ((std::vector<std::string>{"QELAPP32: WM_QELAPP32_UNREGISTER: TovReleaseAlerts FAILED (2Ah)\n"}),
              platform.Lines());
    EXPECT_EQ((std::vector<std::string>{"TovReleaseAlerts", "Sleep(500)", "main WM_DESTROY"}), StepNames());
    EXPECT_EQ((std::vector<UINT>{WM_DESTROY, WM_QUIT}), DrainThreadQueue());
}

TEST_F(EndJobTest, MissingClientEventAnswers0AndShutdownGoesOn)
{
    EXPECT_EQ(0, MainWindowProc(g_mainWindow, WM_QELAPP32_ENDJOB, 1, MAKELPARAM(0, 5)));
    EXPECT_EQ(nullptr, g_nextJobEvent);
    EXPECT_EQ(
        (std::vector<std::string>{"QELAPP32: WM_QELAPP32_ENDJOB: Failed to open QELAPP32_READY_FOR_NEXT_JOB event\n"}),
        platform.Lines());
    EXPECT_EQ((std::vector<std::string>{"TovReleaseAlerts", "Sleep(500)", "main WM_DESTROY"}), StepNames());
    EXPECT_EQ((std::vector<UINT>{WM_DESTROY, WM_QUIT}), DrainThreadQueue());
}

TEST_F(EndJobTest, NetworkPortOrNonBidiModeReleasesNothing)
{
    struct Case {
        uint32_t portType;
        DWORD nonBidi;
        bool releases;
    };
    const Case cases[] = {{kPortNetwork, 0, false}, {kPortLocal, 1, false},  {kPortUsb, 1, false},
                          {kPortUsb, 0, true},      {kPortUnknown, 0, true}, {kPortLocalNonBidi, 0, true}};
    CreateClientEvent();
    for (const Case &c : cases) {
        g_portType = c.portType;
        g_nonBidiMode = c.nonBidi;
        g_instancePhase = InstancePhase::Serving;
        tov.ResetCalls();
        timeline.clear();
        EXPECT_EQ(1, MainWindowProc(g_mainWindow, WM_QELAPP32_ENDJOB, 1, 0)) << c.portType << "/" << c.nonBidi;
        EXPECT_EQ(c.releases ? 1u : 0u, tov.CallsNamed("TovReleaseAlerts").size()) << c.portType << "/" << c.nonBidi;
        EXPECT_EQ("main WM_DESTROY", StepNames().back());
        DrainThreadQueue();
        CloseHandle(g_nextJobEvent);
        g_nextJobEvent = nullptr;
    }
}

namespace {

void WINAPI RealSleep(DWORD milliseconds)
{
    ::Sleep(milliseconds);
}

DWORD WINAPI RunBriefly(LPVOID parameter)
{
    // Runs until the cancel word is raised, as a file sender between two blocks.
    HANDLE started = static_cast<HANDLE>(parameter);
    SetEvent(started);
    while (g_senderCancel == 0)
        Sleep(1);
    return 0;
}

} // namespace

TEST_F(EndJobTest, DestroyCancelsARunningSenderBeforeEndingTheLoop)
{
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_senderCancel = 0;
    g_platform.Sleep = RealSleep;
    g_senderThread = CreateThread(nullptr, 0, RunBriefly, started, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started, 5000));

    EXPECT_EQ(0, MainWindowProc(g_mainWindow, WM_DESTROY, 0, 0));
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeThread(g_senderThread, &exitCode));
    EXPECT_NE(static_cast<DWORD>(STILL_ACTIVE), exitCode) << "the loop ends only after the sender";
    EXPECT_EQ(1u, g_senderCancel.load());
    EXPECT_EQ((std::vector<UINT>{WM_QUIT}), DrainThreadQueue());

    CloseHandle(g_senderThread);
    g_senderThread = nullptr;
    g_senderCancel = 0;
    CloseHandle(started);
}

namespace {

DWORD WINAPI HangInTheLibrary(LPVOID parameter)
{
    SetEvent(static_cast<HANDLE>(parameter));
    Sleep(INFINITE); // a library call that never returns: the cancel word is never seen
    return 0;
}

} // namespace

TEST_F(EndJobTest, DestroyCutsOffASenderThatNeverEnds)
{
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_senderThread = CreateThread(nullptr, 0, HangInTheLibrary, started, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started, 5000));

    EXPECT_EQ(0, MainWindowProc(g_mainWindow, WM_DESTROY, 0, 0));
    EXPECT_EQ(300u, platform.Sleeps().size()) << "30 s of 100 ms polls";
    EXPECT_EQ(
        (std::vector<std::string>{"QELAPP32: StopFileSender: file sender still running after 30000 ms, cut off\n"}),
        platform.Lines());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_senderThread, 5000));
    EXPECT_EQ((std::vector<UINT>{WM_QUIT}), DrainThreadQueue());

    CloseHandle(g_senderThread);
    g_senderThread = nullptr;
    g_senderCancel = 0;
    CloseHandle(started);
}

TEST_F(EndJobTest, DestroyWithoutSenderDoesNotWait)
{
    EXPECT_EQ(0, MainWindowProc(g_mainWindow, WM_DESTROY, 0, 0));
    EXPECT_TRUE(platform.Sleeps().empty());
    EXPECT_EQ((std::vector<UINT>{WM_QUIT}), DrainThreadQueue());
}
