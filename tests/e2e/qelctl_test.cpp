// qelctl.exe as its users run it: a separate process against a running instance on the
// simulated library, judged by its output and exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qelapp32/qelclient.h"
#include "support/qelctl_process.h"
#include "support/test_instance.h"

namespace {

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// Takes one message out of the inbound stream; false when it was empty.
bool TakeInbound(TestInstance &instance)
{
    BYTE message[QEL_MAX_MESSAGE_LENGTH];
    DWORD length = 0;
    return QelRead(instance.Client(), message, sizeof(message), &length, 5000, nullptr) == QEL_OK && length != 0;
}

// Takes every message out of the inbound stream, so a test starts from an empty one.
void DrainInbound(TestInstance &instance)
{
    while (TakeInbound(instance)) {
    }
}

// Has the instance refresh its status and waits until the "printer OK" packet that
// follows a re-enumeration has reached the stream, so that it does not turn up in the
// middle of a later test.
void SettleRefresh(TestInstance &instance)
{
    instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_FORCED);
    for (int attempt = 0; attempt < 250; ++attempt) {
        if (TakeInbound(instance))
            return;
        Sleep(20);
    }
}

// One instance for the tests that leave it as they found it.
class QelctlCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        instance_ = new TestInstance("USB001", "qelctl");
        if (instance_->Start())
            SettleRefresh(*instance_);
    }
    static void TearDownTestSuite()
    {
        EXPECT_EQ(0, instance_->Process().AccessViolations());
        delete instance_;
        instance_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(nullptr, instance_->Window()) << "the shared instance did not start";
        DrainInbound(*instance_);
        instance_->Sim().ResetCalls();
    }

    static std::string Printer() { return Quote(instance_->PrinterName()); }
    static QelctlResult Run(const std::string &command) { return RunQelctl(Printer() + " " + command); }

    static TestInstance *instance_;
};

TestInstance *QelctlCommands::instance_ = nullptr;

struct OutputCase {
    const char *command;
    DWORD exitCode;
    const char *stdoutPart;
};

TEST_F(QelctlCommands, EachMessageCommandAnswersInWords)
{
    const OutputCase cases[] = {
        {"noop", 0, "the instance answers\n"},
        {"ping", 0, "the library answered the ping\n"},
        {"enum", 0, "printer handle 5, flag 1 (answer 0x00050001)\n"},
        {"status", 0, "status: ready (0x98)\n"},
        {"status --nowait", 0, "status: ready (0x98)\n"},
        {"open", 0, "printer channel opened\n"},
        {"close", 0, "printer channel closed\n"},
        {"capture-alerts", 0, "alerts captured"},
        {"startdoc", 0, "document started (printer handle 5)\n"},
        {"enddoc --handle 5", 0, "end of document queued after the packets before it (printer handle 5)\n"},
        {"deviceid", 0, "device ID (48 bytes): MFG:Qel;CMD:QPL;MDL:Virtual Printer;CLS:PRINTER;\n"},
        {"read", 0, "no message waiting\n"},
        {"sendfile --query", 0, "no file sender is running\n"},
    };
    for (const OutputCase &row : cases) {
        const QelctlResult result = Run(row.command);
        EXPECT_EQ(row.exitCode, result.exitCode) << row.command << "\n" << Describe(result);
        EXPECT_TRUE(Contains(result.out, row.stdoutPart)) << row.command << "\n" << Describe(result);
    }
    const auto opens = instance_->Sim().CallsNamed("TovOpen");
    ASSERT_EQ(1u, opens.size());
    EXPECT_EQ((std::vector<std::string>{"1", "5", "20"}), opens[0].args);
    const auto startDocs = instance_->Sim().CallsNamed("TovStartDoc");
    ASSERT_FALSE(startDocs.empty());
    EXPECT_EQ("5", startDocs[0].args[0]) << "startdoc passes the handle that 1124 answered";
    EXPECT_TRUE(WaitForCall(instance_->Sim(), "TovEndDoc", 1, 5000));
}

struct FailureCase {
    const char *simKey;
    const char *simValue;
    const char *command;
    const char *stderrPart;
    const char *logLine;
};

TEST_F(QelctlCommands, RefusedRequestsExitWithOneAndTheInstanceLogsWhy)
{
    const FailureCase cases[] = {
        {"fail.TovOpen", "0x57", "open", "open failed", "QELAPP32: WM_QELAPP32_OPEN: TovOpen(1, 5, 20) failed (57h)\n"},
        {"fail.TovClose", "0x57", "close", "close failed",
         "QELAPP32: WM_QELAPP32_CLOSE: TovClose(1, 5) failed (57h)\n"},
        {"fail.TovPing", "0x57", "ping", "ping failed", "QELAPP32: WM_QELAPP32_PING: TovPing failed (57h)\n"},
        {"fail.TovCaptureAlerts", "0x57", "capture-alerts", "capture-alerts failed",
         "QELAPP32: WM_QELAPP32_CAPTUREALERTS: TovCaptureAlerts FAILED (57h)\n"},
        {"fail.TovGetDeviceIDStringEx", "0x57", "deviceid", "(answer -1)",
         "QELAPP32: WM_QELAPP32_GETDEVICEID: TovGetDeviceIDStringEx failed (57h)\n"},
        {"fail.TovStoreData", "0x57", "store item --text x", "store failed",
         "QELAPP32: WM_QELAPP32_STOREDATA: TovStoreData failed (57h)\n"},
        {"fail.TovStartDoc", "0x57", "startdoc --handle 5", "startdoc failed",
         "QELAPP32: WM_QELAPP32_STARTDOC: TovStartDoc failed (57h)\n"},
        {"enum_mask", "0", "enum", "enum failed", "QELAPP32: TovEnumSpecificPort or TovEnumByUNC failed (0h)\n"},
    };
    for (const FailureCase &row : cases) {
        instance_->Sim().Set(row.simKey, row.simValue);
        const QelctlResult result = Run(row.command);
        instance_->Sim().Clear(row.simKey);
        EXPECT_EQ(1u, result.exitCode) << row.command << "\n" << Describe(result);
        EXPECT_TRUE(Contains(result.err, row.stderrPart)) << row.command << "\n" << Describe(result);
        EXPECT_TRUE(instance_->Process().WaitForLogLine(row.logLine, 5000)) << row.logLine;
    }
    // The failed enumeration asks for another; let it happen now, not in a later test.
    SettleRefresh(*instance_);
}

TEST_F(QelctlCommands, JsonGivesOneObjectPerCommand)
{
    const std::string name = instance_->PrinterName();
    struct {
        const char *arguments;
        const char *command;
        const char *fields;
    } cases[] = {
        {"status --json", "status", "\"answer\":152,\"refreshMode\":0,\"meaning\":\"ready\""},
        {"--json enum", "enum", "\"answer\":327681,\"printerHandle\":5,\"flag\":1"},
        {"noop --json", "noop", "\"answer\":1"},
    };
    for (const auto &row : cases) {
        const QelctlResult result = Run(row.arguments);
        EXPECT_EQ(0u, result.exitCode) << Describe(result);
        EXPECT_EQ(std::string("{\"command\":\"") + row.command + "\",\"printer\":\"" + name +
                      "\",\"ok\":true,\"exitCode\":0," + row.fields + "}\n",
                  result.out);
    }

    instance_->Sim().Set("fail.TovPing", "0x57");
    const QelctlResult failed = Run("ping --json");
    instance_->Sim().Clear("fail.TovPing");
    EXPECT_EQ(1u, failed.exitCode);
    EXPECT_EQ("{\"command\":\"ping\",\"printer\":\"" + name +
                  "\",\"ok\":false,\"exitCode\":1,\"error\":\"ping failed: TovPing refused (see qelctl PRINTER log) "
                  "(answer 0)\",\"answer\":0}\n",
              failed.out);
}

TEST_F(QelctlCommands, BidiSendsThePacketAndShowsTheReplyFrame)
{
    instance_->Sim().Set("bidi_reply", "a5 00 03 10 81 2a");
    const QelctlResult result = Run("bidi \"a5 00 02 10 01\"");
    instance_->Sim().Clear("bidi_reply");
    EXPECT_EQ(0u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "message of 6 bytes: a5 00 03 10 81 2a\n"
                                     "  start:   a5\n"
                                     "  length:  3\n"
                                     "  payload: 10 81 2a\n"))
        << Describe(result);
    const auto sends = instance_->Sim().CallsNamed("TovSendBidi");
    ASSERT_EQ(1u, sends.size());
    EXPECT_EQ((std::vector<std::string>{"1", "5", "0", "170", "1024", "a500021001", "5"}), sends[0].args);
}

TEST_F(QelctlCommands, BidiPassesOverAlertPacketsAndTimesOutWithoutReply)
{
    // A status packet waiting in the stream is not the reply.
    ASSERT_EQ(0, SendMessageA(FindAlertWindow(instance_->PrinterName()), WM_QELAPP32_PRINTEROK, 0, 0));
    instance_->Sim().Set("fail.TovSendBidi", "0x1f");
    const QelctlResult result = Run("bidi a500021001 --timeout 300");
    instance_->Sim().Clear("fail.TovSendBidi");
    EXPECT_EQ(4u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(
        result.out, "in the stream before the reply: status S5=01 S6=00 S7=00 (printer OK again, or status bit 10)\n"))
        << Describe(result);
    EXPECT_TRUE(Contains(result.err, "no reply within 300 ms")) << Describe(result);
}

TEST_F(QelctlCommands, ReadShowsFrameAndDecodesTheValuePacket)
{
    ASSERT_EQ(0, SendMessageA(FindAlertWindow(instance_->PrinterName()), WM_TOV_VALUE, MAKEWPARAM(0x102, 5), 0));
    const QelctlResult result = Run("read");
    EXPECT_EQ(0u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "  start:   a5\n  length:  24\n  payload: 50 fd 80 00 00 01 01 01 01 02 ff"))
        << Describe(result);
    EXPECT_TRUE(Contains(result.out, "  decoded: value 0x0102 (258)\n")) << Describe(result);
}

TEST_F(QelctlCommands, AlertsPrintsEachPacketDecoded)
{
    const HWND alertWindow = FindAlertWindow(instance_->PrinterName());
    SendMessageA(alertWindow, WM_TOV_STATUSCHANGE, 0, 0x109);
    SendMessageA(alertWindow, WM_TOV_VALUE, MAKEWPARAM(7, 0), 0);
    SendMessageA(alertWindow, WM_TOV_INKJETK20, 0, 0);
    const QelctlResult result = Run("alerts --count 3 --timeout 5000");
    SendMessageA(alertWindow, WM_TOV_STATUSCHANGE, 0, 0); // leave the status word as it was
    EXPECT_EQ(0u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "] status S5=40 S6=09 S7=00 (status bits 0 (attention), 3, 8 (error))  "
                                     "[a5 00 05 00 ff 40 09 00]\n"))
        << Describe(result);
    EXPECT_TRUE(Contains(result.out, "] value 0x0007 (7)  [")) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "] alert data, 3 bytes: 11 22 33  [a5 00 05 51 f0 11 22 33]\n"))
        << Describe(result);
    EXPECT_EQ(1u, instance_->Sim().CallsNamed("TovCaptureAlerts").size());
}

TEST_F(QelctlCommands, AlertsEndsOnCountTimeoutOrAnEmptyStream)
{
    const QelctlResult drained = Run("alerts --no-capture");
    EXPECT_EQ(0u, drained.exitCode) << Describe(drained);
    EXPECT_TRUE(Contains(drained.out, "no packets\n")) << Describe(drained);
    EXPECT_TRUE(instance_->Sim().CallsNamed("TovCaptureAlerts").empty());

    const QelctlResult shortOfCount = Run("alerts --count 1 --timeout 300 --json");
    EXPECT_EQ(4u, shortOfCount.exitCode) << Describe(shortOfCount);
    EXPECT_TRUE(Contains(shortOfCount.out, "\"received\":0,\"packets\":[]}")) << Describe(shortOfCount);
}

TEST_F(QelctlCommands, AlertFromTheLibraryArrivesAfterEndOfDocument)
{
    instance_->Sim().Set("post_status_after_enddoc", "0x100");
    EXPECT_EQ(0u, Run("capture-alerts").exitCode);
    EXPECT_EQ(0u, Run("enddoc").exitCode);
    const QelctlResult result = Run("alerts --count 1 --timeout 5000 --json");
    instance_->Sim().Clear("post_status_after_enddoc");
    SendMessageA(FindAlertWindow(instance_->PrinterName()), WM_TOV_STATUSCHANGE, 0, 0);
    EXPECT_EQ(0u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "\"kind\":\"status\",\"bytes\":\"a5 00 05 00 ff 40 00 00\"")) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "\"statusBits\":[8]")) << Describe(result);
}

TEST_F(QelctlCommands, StoreAndRetrieveGoThroughTheRegistryMailbox)
{
    const QelctlResult stored = Run("store greeting --text \"hello, printer\"");
    EXPECT_EQ(0u, stored.exitCode) << Describe(stored);
    const auto calls = instance_->Sim().CallsNamed("TovStoreData");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("greeting", calls[0].args[3]);
    EXPECT_EQ(ToHex("hello, printer", 14), calls[0].args[4]);

    const QelctlResult binary = Run("store blob \"01 02 ff\"");
    EXPECT_EQ(0u, binary.exitCode) << Describe(binary);

    const QelctlResult retrieved = Run("retrieve greeting 14");
    EXPECT_EQ(0u, retrieved.exitCode) << Describe(retrieved);
    EXPECT_TRUE(Contains(retrieved.out, "14 bytes: 68 65 6c 6c 6f 2c 20 70 72 69 6e 74 65 72\n"
                                        "as text: hello, printer\n"))
        << Describe(retrieved);
    const QelctlResult blob = Run("retrieve blob 512 --json");
    EXPECT_TRUE(Contains(blob.out, "\"requested\":512,\"answer\":1,\"retrieved\":3,\"hex\":\"01 02 ff\""))
        << Describe(blob);

    const QelctlResult missing = Run("retrieve no-such-item 10");
    EXPECT_EQ(1u, missing.exitCode) << Describe(missing);
    EXPECT_TRUE(Contains(missing.err, "retrieve failed")) << Describe(missing);
}

TEST_F(QelctlCommands, BadArgumentsAndBadHexAreRefusedBeforeAnythingIsSent)
{
    const OutputCase cases[] = {
        {"write", 2, nullptr},
        {"write zz", 7, nullptr},
        {"write \"a5 0\"", 7, nullptr},
        {"bidi 0xa5q", 7, nullptr},
        {"store item \"0 1\"", 7, nullptr},
        {"store item", 2, nullptr},
        {"store item 01 --text x", 2, nullptr},
        {"retrieve item 513", 2, nullptr},
        {"retrieve item 0", 2, nullptr},
        {"status --refresh --nowait", 2, nullptr},
        {"status --bogus", 2, nullptr},
        {"open extra", 2, nullptr},
        {"alerts --count many", 2, nullptr},
        {"deviceid --handle 65536", 2, nullptr},
        {"sendfile", 2, nullptr},
        {"sendfile name --query", 2, nullptr},
        {"frobnicate", 2, nullptr},
        {"log --timeout", 2, nullptr},
    };
    std::vector<std::string> arguments;
    for (const OutputCase &row : cases)
        arguments.push_back(Printer() + " " + row.command);
    const std::vector<QelctlResult> results = RunQelctlAll(arguments);
    for (size_t i = 0; i < results.size(); ++i) {
        const QelctlResult &result = results[i];
        EXPECT_EQ(cases[i].exitCode, result.exitCode) << cases[i].command << "\n" << Describe(result);
        EXPECT_TRUE(Contains(result.err, "qelctl: ")) << cases[i].command << "\n" << Describe(result);
        EXPECT_TRUE(result.out.empty()) << cases[i].command << "\n" << Describe(result);
    }
    const QelctlResult longName = Run("store " + std::string(QEL_STORE_NAME_SIZE, 'n') + " 01");
    EXPECT_EQ(2u, longName.exitCode) << Describe(longName);
    EXPECT_EQ(0u, Run("store " + std::string(QEL_STORE_NAME_SIZE - 1, 'n') + " --text x").exitCode)
        << "35 characters and the terminator fill the instance's buffer";
    const QelctlResult tooLong = Run("write " + std::string(2 * (QEL_MAX_MESSAGE_LENGTH + 1), 'a'));
    EXPECT_EQ(2u, tooLong.exitCode) << Describe(tooLong);
    EXPECT_TRUE(instance_->Sim().CallsNamed("TovSendBidi").empty());
    EXPECT_EQ(1u, instance_->Sim().CallsNamed("TovStoreData").size());
}

TEST_F(QelctlCommands, InfoShowsThePublishedValues)
{
    const QelctlResult text = Run("info");
    EXPECT_EQ(0u, text.exitCode) << Describe(text);
    EXPECT_TRUE(Contains(text.out, "Port:          USB001\n")) << Describe(text);
    EXPECT_TRUE(Contains(text.out, "QelApp32AppId: 1\n")) << Describe(text);
    EXPECT_TRUE(Contains(text.out, "NON BIDI MODE: not set\n")) << Describe(text);
    EXPECT_TRUE(Contains(text.out, "window answers 1137\n")) << Describe(text);

    const QelctlResult json = Run("info --json");
    char expected[160];
    std::snprintf(expected, sizeof(expected), "\"port\":\"USB001\",\"hwnd\":%lu,\"appId\":1,\"nonBidiMode\":null,",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(instance_->Window())));
    EXPECT_TRUE(Contains(json.out, expected)) << Describe(json);
    EXPECT_TRUE(Contains(json.out, "\"running\":true,\"processId\":" +
                                       std::to_string(instance_->Process().ProcessId()) + ",\"answers\":true}"))
        << Describe(json);
}

TEST_F(QelctlCommands, WaitReadyAnswersAtOnceForARunningInstance)
{
    const QelctlResult result = Run("wait-ready --timeout 2000");
    EXPECT_EQ(0u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "ready: the instance answers")) << Describe(result);
}

TEST(Qelctl, HelpExistsForEveryCommand)
{
    const std::vector<std::string> commands = {
        "info",     "wait-ready",     "enum",     "status", "deviceid", "open", "close",
        "ping",     "noop",           "startdoc", "enddoc", "write",    "read", "bidi",
        "sendfile", "capture-alerts", "alerts",   "store",  "retrieve", "stop", "log"};
    std::vector<std::string> arguments = {"--help", "help frobnicate", "", "OnlyAPrinter"};
    for (const std::string &command : commands) {
        arguments.push_back("help " + command);
        arguments.push_back("AnyPrinter " + command + " --help");
    }
    const std::vector<QelctlResult> results = RunQelctlAll(arguments);
    const QelctlResult &general = results[0];
    EXPECT_EQ(0u, general.exitCode);
    EXPECT_TRUE(Contains(general.out, "  5  no instance serves that printer")) << general.out;
    EXPECT_EQ(2u, results[1].exitCode);
    EXPECT_EQ(2u, results[2].exitCode);
    EXPECT_EQ(2u, results[3].exitCode);
    for (size_t i = 0; i < commands.size(); ++i) {
        const QelctlResult &viaHelp = results[4 + 2 * i];
        const QelctlResult &viaOption = results[5 + 2 * i];
        EXPECT_TRUE(Contains(general.out, "  " + commands[i] + " ")) << commands[i];
        EXPECT_EQ(0u, viaHelp.exitCode) << commands[i];
        EXPECT_TRUE(Contains(viaHelp.out, "usage: qelctl PRINTER " + commands[i])) << viaHelp.out;
        EXPECT_EQ(viaHelp.out, viaOption.out) << commands[i];
    }
}

TEST(Qelctl, NoInstanceForThePrinterExitsWithFive)
{
    TestPrinterKey unpublished(UniquePrinterName("qelctl-none"), "USB001");
    TestPrinterKey zero(UniquePrinterName("qelctl-zero"), "USB001");
    zero.SetDriverDword(QEL_VALUE_HWND, 0);
    TestPrinterKey stale(UniquePrinterName("qelctl-stale"), "USB001");
    stale.SetDriverDword(QEL_VALUE_HWND, 0x7FFF0);
    struct {
        const TestPrinterKey *printer;
        const char *reason;
    } cases[] = {
        {&unpublished, "(QelApp32Hwnd is not published)"},
        {&zero, "(QelApp32Hwnd is 0)"},
        {&stale, "(the published window no longer exists)"},
    };
    for (const auto &row : cases) {
        const QelctlResult result = RunQelctl(Quote(row.printer->Name()) + " status");
        EXPECT_EQ(5u, result.exitCode) << Describe(result);
        EXPECT_EQ("qelctl: no instance serves printer \"" + row.printer->Name() + "\" " + row.reason + "\n",
                  result.err);
    }
    const QelctlResult json = RunQelctl(Quote(zero.Name()) + " enum --json");
    EXPECT_EQ("{\"command\":\"enum\",\"printer\":\"" + zero.Name() +
                  "\",\"ok\":false,\"exitCode\":5,\"error\":\"no instance serves printer \\\"" + zero.Name() +
                  "\\\" (QelApp32Hwnd is 0)\"}\n",
              json.out);
    const QelctlResult info = RunQelctl(Quote(zero.Name()) + " info");
    EXPECT_EQ(5u, info.exitCode);
    EXPECT_TRUE(Contains(info.out, "QelApp32Hwnd:  0x00000000 (0)\n")) << Describe(info);
}

// A window of the instance's class and title whose thread never pumps messages.
class DeafWindow {
public:
    explicit DeafWindow(const std::string &printer)
        : release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), created_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
        thread_ = std::thread([this, printer] {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = DefWindowProcA;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.lpszClassName = QEL_MAIN_WINDOW_CLASS;
            RegisterClassA(&windowClass);
            window_ = CreateWindowExA(0, QEL_MAIN_WINDOW_CLASS, (QEL_WINDOW_TITLE_PREFIX + printer).c_str(), 0, 0, 0, 1,
                                      1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
            SetEvent(created_);
            WaitForSingleObject(release_, INFINITE);
            DestroyWindow(window_);
            UnregisterClassA(QEL_MAIN_WINDOW_CLASS, GetModuleHandleA(nullptr));
        });
        WaitForSingleObject(created_, 5000);
    }
    ~DeafWindow()
    {
        SetEvent(release_);
        thread_.join();
        CloseHandle(release_);
        CloseHandle(created_);
    }
    HWND Window() const { return window_; }

private:
    HANDLE release_;
    HANDLE created_;
    HWND window_ = nullptr;
    std::thread thread_;
};

TEST(Qelctl, InstanceThatDoesNotAnswerExitsWithSix)
{
    TestPrinterKey printer(UniquePrinterName("qelctl-deaf"), "USB001");
    DeafWindow deaf(printer.Name());
    ASSERT_NE(nullptr, deaf.Window());
    printer.SetDriverDword(QEL_VALUE_HWND, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(deaf.Window())));
    const QelctlResult result = RunQelctl(Quote(printer.Name()) + " noop --answer-timeout 300");
    EXPECT_EQ(6u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.err, "did not answer message 1137 within 300 ms")) << Describe(result);
}

TEST(Qelctl, WaitReadyTellsReadyCancelledAndTimeoutApart)
{
    TestPrinterKey printer(UniquePrinterName("qelctl-wait"), "USB001");
    char name[300];
    struct {
        const char *format;
        DWORD exitCode;
        const char *part;
    } cases[] = {
        {QEL_EVENT_INIT_FORMAT, 0, "ready: init event signalled"},
        {QEL_EVENT_INIT_CANCEL_FORMAT, 3, "cancelled its start-up"},
        {nullptr, 4, "not ready within 300 ms"},
    };
    for (const auto &row : cases) {
        HANDLE event = nullptr;
        if (row.format != nullptr) {
            std::snprintf(name, sizeof(name), row.format, printer.Name().c_str());
            event = CreateEventA(nullptr, FALSE, TRUE, name); // already set, as by an instance
        }
        const QelctlResult result = RunQelctl(Quote(printer.Name()) + " wait-ready --timeout 300");
        EXPECT_EQ(row.exitCode, result.exitCode) << Describe(result);
        EXPECT_TRUE(Contains(result.out + result.err, row.part)) << Describe(result);
        if (event != nullptr)
            CloseHandle(event);
    }
}

TEST(Qelctl, SendFileWaitsForTheSenderAndReportsItsEnd)
{
    TestInstance instance("USB001", "qelctl-send");
    ASSERT_TRUE(instance.Start());
    char systemDirectory[MAX_PATH];
    GetSystemDirectoryA(systemDirectory, MAX_PATH);
    const std::string fileName = "qelctl-" + std::to_string(GetCurrentProcessId()) + ".prn";
    const std::string path = std::string(systemDirectory) + "\\" + fileName;
    const std::string content = "file for the printer\n";
    FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);

    const QelctlResult done = RunQelctl(Quote(instance.PrinterName()) + " sendfile " + fileName + " --wait");
    EXPECT_EQ(0u, done.exitCode) << Describe(done);
    EXPECT_TRUE(Contains(done.out, "file sender started for " + fileName + "\n")) << Describe(done);
    EXPECT_TRUE(Contains(done.out, "file sender ended after ")) << Describe(done);
    EXPECT_EQ(content, instance.Sim().CaptureBytes());

    // A slow printer: the wait gives up, the sender goes on.
    instance.Sim().Set("delay.TovWrite", "1500");
    const QelctlResult slow =
        RunQelctl(Quote(instance.PrinterName()) + " sendfile " + fileName + " --wait --timeout 1100 --use-1141");
    EXPECT_EQ(4u, slow.exitCode) << Describe(slow);
    EXPECT_TRUE(Contains(slow.out, "sending... 1.")) << Describe(slow);
    EXPECT_TRUE(Contains(slow.err, "the file sender still runs after")) << Describe(slow);
    const QelctlResult query = RunQelctl(Quote(instance.PrinterName()) + " sendfile --query --json");
    EXPECT_TRUE(Contains(query.out, "\"running\":true}")) << Describe(query);
    const QelctlResult busy = RunQelctl(Quote(instance.PrinterName()) + " sendfile " + fileName);
    EXPECT_EQ(1u, busy.exitCode) << Describe(busy);
    EXPECT_TRUE(Contains(busy.err, "sendfile refused")) << Describe(busy);
    EXPECT_TRUE(WaitForCall(instance.Sim(), "TovEndDoc", 2, 10000));
    EXPECT_EQ(content + content, instance.Sim().CaptureBytes()) << "the name was copied before it was freed";
    const QelctlResult climbing = RunQelctl(Quote(instance.PrinterName()) + " sendfile ..\\win.ini");
    EXPECT_EQ(1u, climbing.exitCode) << Describe(climbing);

    EXPECT_TRUE(instance.EndJob(1, MAKELPARAM(0, 5)));
    DeleteFileA(path.c_str());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(Qelctl, StopEndsTheInstanceAndWaitsForIt)
{
    TestInstance instance("USB001", "qelctl-stop");
    ASSERT_TRUE(instance.Start());
    const QelctlResult result = RunQelctl(Quote(instance.PrinterName()) + " stop");
    EXPECT_EQ(0u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "asked the instance to end (application ID 1, printer handle 5), answer 1\n"))
        << Describe(result);
    EXPECT_TRUE(Contains(result.out, "instance ended with exit code 0\n")) << Describe(result);
    EXPECT_TRUE(instance.Process().WaitForExit(5000));
    const auto releases = instance.Sim().CallsNamed("TovReleaseAlerts");
    ASSERT_EQ(1u, releases.size());
    EXPECT_EQ((std::vector<std::string>{"1", "5", "1"}), releases[0].args);
    EXPECT_EQ(5u, RunQelctl(Quote(instance.PrinterName()) + " noop").exitCode);
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

// An instance not run under the test's debugger, so that qelctl can attach to it.
class UndebuggedInstance {
public:
    UndebuggedInstance() : printer_(UniquePrinterName("qelctl-log"), "USB001") {}
    ~UndebuggedInstance()
    {
        if (process_ != nullptr) {
            TerminateProcess(process_, 0xDEAD);
            CloseHandle(process_);
        }
    }

    bool Start()
    {
        char name[300];
        std::snprintf(name, sizeof(name), QEL_EVENT_INIT_FORMAT, printer_.Name().c_str());
        HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, name);
        std::string commandLine = BinDirectory() + "\\qelapp32.exe " + printer_.Name();
        std::vector<char> environment = sim_.EnvironmentBlock();
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, environment.data(), nullptr, &startup,
                           &info)) {
            process_ = info.hProcess;
            CloseHandle(info.hThread);
        }
        HANDLE waitFor[] = {ready, process_};
        const bool started = process_ != nullptr && WaitForMultipleObjects(2, waitFor, FALSE, 15000) == WAIT_OBJECT_0;
        CloseHandle(ready);
        window_ = QelFindInstanceWindow(printer_.Name().c_str());
        return started && window_ != nullptr;
    }

    LRESULT Send(UINT message)
    {
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(window_, message, 0, 0, SMTO_NORMAL, 10000, &answer);
        return static_cast<LRESULT>(answer);
    }
    bool HasEnded(DWORD timeoutMs) const { return WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0; }
    std::string Printer() const { return Quote(printer_.Name()); }
    SimPrinter &Sim() { return sim_; }

private:
    SimPrinter sim_;
    TestPrinterKey printer_;
    HANDLE process_ = nullptr;
    HWND window_ = nullptr;
};

TEST(QelctlLog, ShowsAFailureLineLiveAndLeavesTheInstanceRunning)
{
    UndebuggedInstance instance;
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ(0x00050001, instance.Send(WM_QELAPP32_ENUMPRINTER)) << "the printer handle in the log line";
    QelctlChild log(instance.Printer() + " log --timeout 1000");
    ASSERT_TRUE(log.WaitForOutput("attached to the instance", 10000));
    instance.Sim().Set("fail.TovOpen", "0x57");
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_OPEN));
    instance.Sim().Clear("fail.TovOpen");
    const QelctlResult result = log.Wait();
    EXPECT_EQ(0u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "] QELAPP32: WM_QELAPP32_OPEN: TovOpen(1, 5, 20) failed (57h)\n"))
        << Describe(result);
    EXPECT_TRUE(Contains(result.out, "detached after 1 lines; the instance runs on\n")) << Describe(result);
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP)) << "detaching did not stop the instance";
    EXPECT_FALSE(instance.HasEnded(0));
}

TEST(QelctlLog, EndsWithTheInstance)
{
    UndebuggedInstance instance;
    ASSERT_TRUE(instance.Start());
    QelctlChild log(instance.Printer() + " log");
    ASSERT_TRUE(log.WaitForOutput("attached to the instance", 10000));
    const QelctlResult stop = RunQelctl(instance.Printer() + " stop");
    EXPECT_EQ(0u, stop.exitCode) << Describe(stop);
    const QelctlResult result = log.Wait(10000);
    EXPECT_EQ(0u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.out, "the instance ended with exit code 0\n")) << Describe(result);
    EXPECT_TRUE(instance.HasEnded(5000));
}

TEST(QelctlLog, RefusesAnInstanceThatAlreadyHasADebugger)
{
    TestInstance instance("USB001", "qelctl-dbg");
    ASSERT_TRUE(instance.Start());
    const QelctlResult result = RunQelctl(Quote(instance.PrinterName()) + " log --timeout 1000");
    EXPECT_EQ(8u, result.exitCode) << Describe(result);
    EXPECT_TRUE(Contains(result.err, "cannot attach to process")) << Describe(result);
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
    EXPECT_TRUE(instance.EndJob());
}

} // namespace
