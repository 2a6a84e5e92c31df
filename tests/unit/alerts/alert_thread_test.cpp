#include <gtest/gtest.h>

#include "alerts/alert_thread.h"
#include "core/instance_state.h"

TEST(AlertThreadEnd, WithoutAnAlertWindowNothingLandsInTheCallersQueue)
{
    const HWND saved = g_alertWindow;
    g_alertWindow = nullptr;
    MSG message{};
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE); // gives this thread a queue
    PostDestroyToAlertWindow();
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_DESTROY, WM_DESTROY, PM_REMOVE));
    g_alertWindow = saved;
}

TEST(AlertThreadEnd, EndsTheAlertThreadsLoop)
{
    HANDLE initEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, AlertThread, &initEvent, 0, nullptr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(initEvent, 5000)) << "the window exists";
    ASSERT_NE(nullptr, g_alertWindow.load());
    PostDestroyToAlertWindow();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 5000));
    DWORD exitCode = 1;
    GetExitCodeThread(thread, &exitCode);
    EXPECT_EQ(0u, exitCode);
    g_alertWindow = nullptr;
    CloseHandle(thread);
    CloseHandle(initEvent);
}
