// The question that start-up asks when the printer software is not ready.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/restart_offer.h"
#include "platform_recorder.h"

namespace {

struct Question {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};

std::vector<Question> g_questions;
int g_answer = IDNO;

int WINAPI AskQuestion(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    g_questions.push_back(Question{owner, text, caption != nullptr ? caption : "(null)", style});
    return g_answer;
}

bool IsShutdownPrivilegeEnabled()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    LUID shutdown{};
    LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &shutdown);
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    bool enabled = false;
    if (GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const auto *privileges = reinterpret_cast<const TOKEN_PRIVILEGES *>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES &entry = privileges->Privileges[i];
            if (entry.Luid.LowPart == shutdown.LowPart && entry.Luid.HighPart == shutdown.HighPart)
                enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return enabled;
}

void SetShutdownPrivilege(bool enable)
{
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

std::vector<bool> g_privilegeAtRestart;

BOOL WINAPI RecordRestart(UINT, DWORD)
{
    g_privilegeAtRestart.push_back(IsShutdownPrivilegeEnabled());
    return TRUE;
}

class RestartOfferTest : public ::testing::Test {
protected:
    RestartOfferTest()
    {
        g_questions.clear();
        g_platform.MessageBoxA = AskQuestion;
    }
    ~RestartOfferTest() override { SetShutdownPrivilege(false); }

    PlatformRecorder platform;
};

const char kQuestion[] = "Printing cannot continue because the printer software is not ready.\n"
                         "Windows must be restarted before documents can be printed.\n\n"
                         "Do you wish to restart Windows now?";

} // namespace

TEST_F(RestartOfferTest, AsksOwnedByTheMainWindowWithAnErrorIconAndYesNo)
{
    HWND owner = reinterpret_cast<HWND>(0x1234);
    g_answer = IDNO;
    OfferWindowsRestart(owner);
    ASSERT_EQ(1u, g_questions.size());
    EXPECT_EQ(owner, g_questions[0].owner);
    EXPECT_EQ(kQuestion, g_questions[0].text);
    EXPECT_EQ("", g_questions[0].caption);
    EXPECT_EQ(0x14u, g_questions[0].style);
}

TEST_F(RestartOfferTest, OnlyYesRestartsWindows)
{
    struct Case {
        int answer;
        std::vector<UINT> restarts;
    };
    const Case cases[] = {{IDNO, {}}, {IDCANCEL, {}}, {0, {}}, {IDYES, {EWX_REBOOT}}};
    for (const Case &c : cases) {
        platform.exitWindowsFlags.clear();
        g_answer = c.answer;
        OfferWindowsRestart(nullptr);
        EXPECT_EQ(c.restarts, platform.exitWindowsFlags) << c.answer;
    }
}

TEST_F(RestartOfferTest, YesEnablesTheShutdownPrivilegeFirst)
{
    SetShutdownPrivilege(false);
    ASSERT_FALSE(IsShutdownPrivilegeEnabled());
    g_answer = IDNO;
    OfferWindowsRestart(nullptr);
    EXPECT_FALSE(IsShutdownPrivilegeEnabled()) << "a refused restart changes nothing";
    g_privilegeAtRestart.clear();
    g_platform.ExitWindowsEx = RecordRestart;
    g_answer = IDYES;
    OfferWindowsRestart(nullptr);
    EXPECT_EQ(std::vector<bool>{true}, g_privilegeAtRestart);
}
