// The main window procedure's own answers (ping, no-op) and everything it passes on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/instance_state.h"
#include "fake_tov.h"
#include "handlers/main_window_proc.h"
#include "platform_recorder.h"
#include "qelapp32/client.h"

namespace {

constexpr char kTestClass[] = "QelDispatchTestWindow";
constexpr char kTitle[] = "VODUVI32 Dispatch";

// A real hidden window whose own procedure is DefWindowProcA; MainWindowProc is called on
// it directly, so that nothing it does (WM_DESTROY posts a quit) reaches this thread by accident.
class DispatchTest : public ::testing::Test {
protected:
    DispatchTest()
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kTestClass;
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, kTestClass, kTitle, WS_MINIMIZE, 0, 0, 20, 20, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        g_instancePhase = InstancePhase::Serving;
    }
    ~DispatchTest() override
    {
        DestroyWindow(window);
        g_instancePhase = InstancePhase::Starting;
    }

    PlatformRecorder platform;
    FakeTov tov;
    HWND window = nullptr;
};

} // namespace

TEST_F(DispatchTest, UnlistedMessagesAnswerAsDefWindowProcA)
{
    ASSERT_NE(nullptr, window);
    const UINT unlisted[] = {WM_QELAPP32_UNUSED_1138, 1142, 1123,    WM_USER,          WM_USER + 99,
                             WM_USER + 118,           2024, WM_NULL, WM_GETTEXTLENGTH, WM_NCHITTEST,
                             WM_QUERYENDSESSION};
    for (UINT message : unlisted) {
        EXPECT_EQ(DefWindowProcA(window, message, 0, 0), MainWindowProc(window, message, 0, 0)) << message;
    }
    EXPECT_EQ(static_cast<LRESULT>(sizeof(kTitle) - 1), MainWindowProc(window, WM_GETTEXTLENGTH, 0, 0))
        << "the window's own title comes back";
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_TRUE(platform.Lines().empty());
}

TEST_F(DispatchTest, UnlistedMessagesReachDefWindowProcAWithTheirOwnArguments)
{
    char text[64] = {};
    EXPECT_EQ(static_cast<LRESULT>(sizeof(kTitle) - 1),
              MainWindowProc(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text)));
    EXPECT_STREQ(kTitle, text);

    EXPECT_EQ(TRUE, MainWindowProc(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("renamed")));
    char renamed[64] = {};
    GetWindowTextA(window, renamed, sizeof(renamed));
    EXPECT_STREQ("renamed", renamed);
}

TEST_F(DispatchTest, NoopAnswers1AndCallsNothing)
{
    EXPECT_EQ(1, MainWindowProc(window, WM_QELAPP32_NOOP, 0x12345678, 0x9ABCDEF0));
    EXPECT_TRUE(tov.Calls().empty());
}

TEST_F(DispatchTest, PingAnswersWhetherTheLibraryAnswered)
{
    EXPECT_EQ(1, MainWindowProc(window, WM_QELAPP32_PING, 7, 9));
    ASSERT_EQ(1u, tov.Calls().size());
    EXPECT_EQ("TovPing(0)", tov.CallText(0));
    EXPECT_TRUE(platform.Lines().empty());

    for (DWORD code : {1u, 0x57u, 0x80000001u}) {
        tov.Fail("TovPing", code);
        platform.ClearLines();
        EXPECT_EQ(0, MainWindowProc(window, WM_QELAPP32_PING, 0, 0)) << code;
        char expected[80];
        wsprintfA(expected, "QELAPP32: WM_QELAPP32_PING: TovPing failed (%Xh)\n", code);
        EXPECT_EQ(std::vector<std::string>{expected}, platform.Lines());
    }
}

// Before the instance serves the library table may still be empty, and once it ends the
// library is about to be released: every request answers its failure value untouched.
TEST_F(DispatchTest, RequestsOutsideServiceAnswerTheirFailureWithoutTheLibrary)
{
    struct Case {
        UINT message;
        LRESULT answer;
    };
    const Case cases[] = {
        {WM_QELAPP32_ENUMPRINTER, static_cast<LRESULT>(QEL_FAILURE)},
        {WM_QELAPP32_ENDJOB, 0},
        {WM_QELAPP32_READ, 0},
        {WM_QELAPP32_WRITE, 0},
        {WM_QELAPP32_GETSTATUS, QEL_STATUS_ERROR},
        {WM_QELAPP32_GETDEVICEID, static_cast<LRESULT>(QEL_FAILURE)},
        {WM_QELAPP32_STARTDOC, 0},
        {WM_QELAPP32_ENDDOC, 0},
        {WM_QELAPP32_OPEN, 0},
        {WM_QELAPP32_CLOSE, 0},
        {WM_QELAPP32_SENDFILE, 0},
        {WM_QELAPP32_PING, 0},
        {WM_QELAPP32_CAPTUREALERTS, 0},
        {WM_QELAPP32_NOOP, 0},
        {WM_QELAPP32_STOREDATA, 0},
        {WM_QELAPP32_RETRIEVEDATA, 0},
        {WM_QELAPP32_SENDFILE2, 0},
    };
    for (InstancePhase phase : {InstancePhase::Starting, InstancePhase::Ending}) {
        g_instancePhase = phase;
        for (const Case &c : cases) {
            platform.ClearLines();
            EXPECT_EQ(c.answer, MainWindowProc(window, c.message, 1, 0x10)) << c.message;
            char line[96];
            wsprintfA(line, "QELAPP32: MainWindowProc: message %u refused while the instance is %s\n", c.message,
                      phase == InstancePhase::Starting ? "starting" : "ending");
            EXPECT_EQ(std::vector<std::string>{line}, platform.Lines());
        }
    }
    EXPECT_TRUE(tov.Calls().empty());
}
