// qelctl's commands for a print server: list, start and check, run as separate
// processes against real instances, printer keys and component files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "qelapp32/client.h"
#include "support/component_sandbox.h"
#include "support/qelctl_process.h"
#include "support/restart_question.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kStaleWindow = 0x7FFF0; // names no window
constexpr DWORD kWaitMs = 10000;

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::string LineStartingWith(const std::string &text, const std::string &start)
{
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.compare(0, start.size(), start) == 0)
            return line;
        at = end + 1;
    }
    return std::string();
}

// The columns of a list or check line: two blanks or more stand between them.
std::vector<std::string> Columns(const std::string &line)
{
    std::vector<std::string> columns;
    size_t at = 0;
    while (at < line.size()) {
        size_t gap = line.find("  ", at);
        if (gap == std::string::npos)
            gap = line.size();
        columns.push_back(line.substr(at, gap - at));
        at = line.find_first_not_of(' ', gap);
        if (at == std::string::npos)
            break;
    }
    return columns;
}

std::string Hex32(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(value));
    return text;
}

DWORD WindowValue(HWND window)
{
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window));
}

// An instance that qelctl started is no child of the test: it is ended here, found by
// its window, should a test stop before it could end it in order.
class EndsInstanceOf {
public:
    explicit EndsInstanceOf(const std::string &printer) : printer_(printer) {}
    ~EndsInstanceOf()
    {
        const HWND window = FindWindowA(QEL_MAIN_WINDOW_CLASS, (QEL_WINDOW_TITLE_PREFIX + printer_).c_str());
        DWORD processId = 0;
        if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0)
            return;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
        if (process != nullptr) {
            TerminateProcess(process, 0xDEAD);
            WaitForSingleObject(process, kWaitMs);
            CloseHandle(process);
        }
    }

private:
    std::string printer_;
};

TEST(QelctlList, ShowsEachPrinterWithItsPortAndInstance)
{
    TestInstance served("USB001", "list-served");
    ASSERT_TRUE(served.Start());
    TestPrinterKey stale(UniquePrinterName("list-stale"), "\\\\server\\queue");
    stale.SetDriverDword(QEL_VALUE_HWND, kStaleWindow);
    stale.SetDriverDword(QEL_VALUE_APPID, 3);
    TestPrinterKey never(UniquePrinterName("list-never"), "LPT1:");

    const std::vector<QelctlResult> results = RunQelctlAll({"list", "list --json"});
    const QelctlResult &text = results[0];
    const QelctlResult &json = results[1];
    EXPECT_EQ(0u, text.exitCode) << Describe(text);
    EXPECT_EQ(0u, json.exitCode) << Describe(json);
    const DWORD window = WindowValue(served.Window());
    const struct {
        std::string printer;
        std::vector<std::string> columns;
        std::string object;
    } rows[] = {
        {served.PrinterName(),
         {served.PrinterName(), "USB001", "USB", Hex32(window), "yes", "1", "ready (0x98)"},
         "\"port\":\"USB001\",\"portKind\":\"USB\",\"window\":\"alive\",\"hwnd\":" + std::to_string(window) +
             ",\"answers\":true,\"appId\":1,\"status\":152,\"meaning\":\"ready\"}"},
        {stale.Name(),
         {stale.Name(), "\\\\server\\queue", "network", "stale " + Hex32(kStaleWindow), "-", "3", "-"},
         "\"port\":\"\\\\\\\\server\\\\queue\",\"portKind\":\"network\",\"window\":\"stale\",\"hwnd\":" +
             std::to_string(kStaleWindow) + ",\"answers\":null,\"appId\":3,\"status\":null,\"meaning\":null}"},
        {never.Name(),
         {never.Name(), "LPT1:", "other", "none", "-", "-", "-"},
         "\"port\":\"LPT1:\",\"portKind\":\"other\",\"window\":\"none\",\"hwnd\":null,\"answers\":null,"
         "\"appId\":null,\"status\":null,\"meaning\":null}"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(row.columns, Columns(LineStartingWith(text.out, row.printer + "  "))) << Describe(text);
        EXPECT_TRUE(Contains(json.out, "{\"printer\":\"" + row.printer + "\"," + row.object)) << Describe(json);
    }
    EXPECT_EQ("[{", json.out.substr(0, 2)) << "one array";
    EXPECT_EQ("}]\n", json.out.substr(json.out.size() - 3));
}

TEST(QelctlStart, WaitEndsWhenTheInstanceServesOrEndsAndAServedPrinterIsNotStartedTwice)
{
    SimPrinter sim;
    const std::vector<char> environment = sim.EnvironmentBlock();
    TestPrinterKey printer(UniquePrinterName("start"), "USB001");
    const EndsInstanceOf reaper(printer.Name());
    // One character more than the 193 the instance takes: it refuses the name and ends.
    const std::string tag = UniquePrinterName("start");
    const TestPrinterKey refused(tag + std::string(194 - tag.size(), 'n'), "USB001");
    const struct {
        std::string arguments;
        DWORD exitCode;
        const char *jsonPart; // the --json row's fields
    } cases[] = {
        {"start " + Quote(printer.Name()) + " --wait", 0, ""},
        {Quote(printer.Name()) + " start --wait", 9, ""},
        {"start " + Quote(refused.Name()) + " --wait --json", 10, "\"instanceExitCode\":0,\"state\":\"ended\""},
    };
    for (const auto &row : cases) {
        const QelctlResult result = RunQelctl(row.arguments, environment);
        EXPECT_EQ(row.exitCode, result.exitCode) << row.arguments << "\n" << Describe(result);
        if (*row.jsonPart != '\0') {
            EXPECT_TRUE(Contains(result.out, row.jsonPart)) << Describe(result);
        }
    }
    const HWND window = QelFindInstanceWindow(printer.Name().c_str());
    ASSERT_NE(nullptr, window) << "the first start published its window, the second did not touch it";
    EXPECT_EQ(1, SendMessageA(window, WM_QELAPP32_NOOP, 0, 0));
    EXPECT_EQ(0u, RunQelctl(Quote(printer.Name()) + " stop").exitCode);
}

TEST(QelctlStart, WaitEndsWhenTheInstanceCancelsAndAsksToRestart)
{
    ComponentSandbox sandbox;
    ASSERT_TRUE(sandbox.Put("QRMTOV.DLL", "ver_4_99_0_0.dll"));
    SimPrinter sim;
    TestPrinterKey printer(UniquePrinterName("start-outdated"), "USB001");
    const EndsInstanceOf reaper(printer.Name());

    const QelctlResult result = RunQelctl("start " + Quote(printer.Name()) + " --wait", sim.EnvironmentBlock());
    EXPECT_EQ(3u, result.exitCode) << Describe(result);
    // While the question waits, the instance's window stands, unpublished.
    DWORD processId = 0;
    GetWindowThreadProcessId(FindWindowA(QEL_MAIN_WINDOW_CLASS, (QEL_WINDOW_TITLE_PREFIX + printer.Name()).c_str()),
                             &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    ASSERT_NE(nullptr, process) << "the instance waits for the question to be answered";
    const HWND question = WaitForRestartQuestion(processId);
    ASSERT_NE(nullptr, question);
    AnswerRestartQuestion(question, IDNO);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, kWaitMs));
    CloseHandle(process);
}

TEST(QelctlCheck, ReportsEachBrokenPointAsFailWithItsLine)
{
    ComponentSandbox sandbox; // no component files and no replacement pending
    TestInstance healthy("USB001", "check");
    ASSERT_TRUE(healthy.Start());
    TestPrinterKey noPort(UniquePrinterName("check-noport"), "USB001");
    noPort.DeletePortValue();
    // A service program of its own, with no library beside it.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "qelcheck-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string program = folder + "\\qelapp32.exe";
    const std::string library = folder + "\\QRMTOV.DLL";
    ASSERT_TRUE(CopyFileA((BinDirectory() + "\\qelapp32.exe").c_str(), program.c_str(), FALSE));
    const std::string printer = Quote(healthy.PrinterName());
    const std::string ownProgram = " --exe " + Quote(program);

    const struct {
        int phase; // 1: as set up; 2: with a library that lacks TovPing, and an outdated component
        std::string arguments;
        DWORD exitCode;
        const char *failPoint; // nullptr: no line may fail
        std::string finding;
    } cases[] = {
        {1, "check " + printer, 0, nullptr, ""},
        {1, "check " + Quote(noPort.Name()), 11, "Port", "the printer's key has no \"Port\" value"},
        {1, "check " + printer + ownProgram, 11, "library", "QRMTOV.DLL not found beside " + program},
        {2, "check " + printer + ownProgram, 11, "entry points", "1 of 24 missing (TovPing)"},
        {2, "check " + printer, 11, "component QRMTOV.DLL", "version 4.99.0.0, older than the 5.0 required"},
    };
    for (int phase = 1; phase <= 2; ++phase) {
        if (phase == 2) {
            ASSERT_TRUE(CopyFileA(FixturePath("tov_without_ping.dll").c_str(), library.c_str(), FALSE));
            ASSERT_TRUE(sandbox.Put("QRMTOV.DLL", "ver_4_99_0_0.dll"));
        }
        for (const auto &row : cases) {
            if (row.phase != phase)
                continue;
            const QelctlResult result = RunQelctl(row.arguments);
            EXPECT_EQ(row.exitCode, result.exitCode) << row.arguments << "\n" << Describe(result);
            if (row.failPoint == nullptr) {
                EXPECT_EQ("", LineStartingWith(result.out, "FAIL")) << Describe(result);
                continue;
            }
            const std::vector<std::string> columns =
                Columns(LineStartingWith(result.out, "FAIL  " + std::string(row.failPoint) + " "));
            ASSERT_EQ(3u, columns.size()) << Describe(result);
            EXPECT_EQ(row.failPoint, columns[1]);
            EXPECT_EQ(0u, columns[2].find(row.finding)) << columns[2];
        }
    }
    // Only the outdated component fails now.
    const QelctlResult json = RunQelctl("check " + printer + " --json");
    EXPECT_TRUE(Contains(json.out, "{\"point\":\"instance\",\"result\":\"OK\",\"finding\":\"process " +
                                       std::to_string(healthy.Process().ProcessId()) + " answers 1137"))
        << Describe(json);
    EXPECT_TRUE(Contains(json.out, "],\"fails\":1,\"warnings\":")) << Describe(json);
    DeleteFileA(library.c_str());
    DeleteFileA(program.c_str());
    RemoveDirectoryA(folder.c_str());
}

TEST(QelctlMachine, BadCommandLinesAreRefused)
{
    const std::vector<std::pair<std::string, DWORD>> cases = {
        {"list extra", 2},
        {"\"Some Printer\" list", 2},
        {"list --wait", 2},
        {"start", 2},
        {"start \"/Q\" --wait", 2},
        {"start AnyPrinter --exe C:\\no\\such\\qelapp32.exe", 2},
        {"start \"No Such Printer\"", 2},
        {"check", 2},
        {"check AnyPrinter --wait", 2},
    };
    std::vector<std::string> arguments;
    for (const auto &row : cases)
        arguments.push_back(row.first);
    const std::vector<QelctlResult> results = RunQelctlAll(arguments);
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(cases[i].second, results[i].exitCode) << cases[i].first << "\n" << Describe(results[i]);
}

} // namespace
