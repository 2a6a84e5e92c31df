// The real program started with odd command lines: random bytes, lead bytes of double-byte
// code pages, 10,000 characters. Each run ends by itself or serves until it is ended,
// without an access violation, and leaves no printer key behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "battery.h"
#include "qelapp32/client.h"
#include "support/process_metrics.h"
#include "support/restart_question.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kWaitMs = 10000;
constexpr DWORD kPollMs = 20;

// The main window of a process, found by class and owner: with an odd printer name
// neither the registry value nor the events can be named.
HWND FindMainWindowOf(DWORD processId)
{
    return FindWindowOfProcess(processId, QEL_MAIN_WINDOW_CLASS);
}

std::vector<std::string> PrinterKeys()
{
    std::vector<std::string> keys;
    HKEY printers = nullptr;
    const std::string path(QEL_PRINTERS_KEY_PREFIX, sizeof(QEL_PRINTERS_KEY_PREFIX) - 2);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &printers) != ERROR_SUCCESS)
        return keys;
    for (DWORD index = 0;; ++index) {
        char name[1024];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(printers, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        keys.emplace_back(name, length);
    }
    RegCloseKey(printers);
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::string Printable(const std::string &bytes)
{
    std::string text;
    for (char c : bytes.substr(0, 60)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", u);
            text += escaped;
        }
    }
    return bytes.size() > 60 ? text + "... (" + std::to_string(bytes.size()) + " bytes)" : text;
}

struct RunOutcome {
    bool ended = false;
    bool served = false;
    DWORD exitCode = 0;
    int accessViolations = -1;
};

// Starts the program with the arguments; a run that serves is asked 1137 and then ended.
RunOutcome RunWith(const std::string &arguments, const SimPrinter &sim)
{
    RunOutcome outcome;
    ServiceProcess process;
    if (!process.Start(arguments, sim.EnvironmentBlock()))
        return outcome;
    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    HWND window = nullptr;
    // Neither the exit nor the window can be waited for together; both are looked at in turn.
    while (!process.HasExited() && window == nullptr && GetTickCount64() < deadline) {
        window = FindMainWindowOf(process.ProcessId());
        if (window == nullptr)
            process.WaitForExit(kPollMs);
    }
    if (window != nullptr) {
        DWORD_PTR answer = 0;
        // The window exists before start-up has published it; 1137 waits for the main loop.
        outcome.served =
            SendMessageTimeoutA(window, WM_QELAPP32_NOOP, 0, 0, SMTO_NORMAL, kWaitMs, &answer) && answer == 1;
        SendMessageTimeoutA(window, WM_QELAPP32_ENDJOB, 1, 0, SMTO_NORMAL, kWaitMs, &answer);
    }
    outcome.ended = process.WaitForExit(kWaitMs);
    outcome.exitCode = process.ExitCode();
    outcome.accessViolations = process.AccessViolations();
    return outcome;
}

} // namespace

TEST(OddInputs, ProgramStartedWithOddCommandLinesEndsOrServesCleanly)
{
    std::mt19937 random = MakeGenerator("command-line-e2e");
    std::vector<std::string> lines = {
        "",
        std::string(10000, 'x'),
        "\x81",
        "/\x81",
        "/Q\x81\x40",
        "Name\x82",
        "/",
        "/x/y/z \x81\x40\x81",
        "\x81\x40\\\x82\x80\\",
    };
    for (int i = 0; i < Battery().commandLines; ++i) {
        std::string line(1 + random() % 300, '\0');
        for (char &c : line)
            c = static_cast<char>(1 + random() % 255);
        lines.push_back(line);
    }
    SimPrinter sim;
    int served = 0;
    const std::vector<std::string> keysBefore = PrinterKeys();
    for (const std::string &line : lines) {
        SCOPED_TRACE("command line: " + Printable(line));
        const RunOutcome outcome = RunWith(line, sim);
        EXPECT_TRUE(outcome.ended);
        EXPECT_EQ(0, outcome.accessViolations);
        EXPECT_LE(outcome.exitCode, 1u);
        served += outcome.served ? 1 : 0;
        // A printer the service was started for may have got a volatile key; it goes again.
        for (const std::string &key : PrinterKeys()) {
            if (!std::binary_search(keysBefore.begin(), keysBefore.end(), key))
                RegDeleteTreeA(HKEY_LOCAL_MACHINE, (QEL_PRINTERS_KEY_PREFIX + key).c_str());
        }
    }
    ReportFigure("odd_command_lines", std::to_string(lines.size()) + " runs, " + std::to_string(served) + " served");
}
