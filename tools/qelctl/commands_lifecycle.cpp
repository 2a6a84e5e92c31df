// info, wait-ready, start and stop: finding out about an instance, starting one as a
// port monitor does and waiting for it to be ready, and ending one.
#include <algorithm>

#include "core/owned.h"
#include "qelctl.h"

namespace {

constexpr DWORD kDefaultReadyTimeoutMs = 30000;
constexpr DWORD kDefaultStopTimeoutMs = 10000;
constexpr DWORD kReadyPollMs = 250;
constexpr DWORD kNoopTimeoutMs = 2000;

// The printer's init and init-cancel events, created through the client library (or
// opened when the instance made them first: created before an instance starts, it opens
// ours and cannot signal before anyone listens); closed when their guard goes.
struct StartEventsPolicy {
    using Value = QelStartEvents;
    static Value Invalid() { return {nullptr, nullptr}; }
    static bool IsValid(const Value &events) { return events.ready != nullptr || events.cancelled != nullptr; }
    static void Close(Value events) { QelCloseStartEvents(&events); }
};
using StartEvents = Owned<StartEventsPolicy>;

void CreateStartEvents(const std::string &printer, StartEvents *events)
{
    if (QelCreateStartEvents(printer.c_str(), events->Receive()) != QEL_OK)
        Fail(kExitSystem, "cannot create the init events (error " + std::to_string(GetLastError()) + ")");
}

std::string DescribeOptionalDword(const std::optional<DWORD> &value)
{
    return value ? Hex32(*value) + " (" + std::to_string(*value) + ")" : "not set";
}

// Says how the wait ended, as text and under "state"; fails with exitCode unless it is kExitOk.
int ReportState(CommandContext &context, const char *state, int exitCode, const std::string &text)
{
    context.out.Fields().Add("state", state);
    if (exitCode != kExitOk)
        Fail(exitCode, text);
    context.out.Line(text);
    return kExitOk;
}

[[noreturn]] void FailAlreadyServed(CommandContext &context, HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    context.out.Fields().Add("state", "already-served");
    Fail(kExitAlreadyServed, "an instance already serves printer \"" + context.printer + "\" (process " +
                                 std::to_string(processId) + ", window " +
                                 Hex32(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window))) + "); qelctl \"" +
                                 context.printer + "\" stop ends it");
}

int WaitForStartUp(CommandContext &context, const QelStartEvents &events, HANDLE process, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    Instance served;
    const QelResult result =
        QelAwaitStart(&events, process, ConsoleBreakEvent(), context.printer.c_str(), timeoutMs, served.Client());
    const DWORD elapsed = GetTickCount() - start;
    context.out.Fields().Add("elapsedMs", elapsed);
    DWORD exitCode = 0;
    switch (result) {
    case QEL_OK:
    case QEL_NO_INSTANCE: // ready, but gone again before it could be opened
    case QEL_SYSTEM:
        return ReportState(context, "ready", kExitOk,
                           "ready: the instance serves the printer (" + FormatSeconds(elapsed) + ")");
    case QEL_CANCELLED:
        return ReportState(context, "cancelled", kExitCancelled,
                           "the instance cancelled its start-up: the printer software's components are not in order "
                           "(qelctl check \"" +
                               context.printer +
                               "\"). It now waits for an answer to the restart question on the desktop.");
    case QEL_ENDED:
        GetExitCodeProcess(process, &exitCode);
        context.out.Fields().Add("instanceExitCode", exitCode);
        if (const HWND other = FindServingWindow(context.printer))
            FailAlreadyServed(context, other);
        return ReportState(context, "ended", kExitInstanceEnded,
                           "the instance ended with exit code " + std::to_string(exitCode) +
                               " before it was ready (a refused name, a missing or incomplete QRMTOV.DLL, a failed "
                               "registration); qelctl check \"" +
                               context.printer + "\" tells more");
    default:
        if (IsConsoleBreakRequested())
            return ReportState(context, "interrupted", kExitTimeout,
                               "interrupted before the instance was ready; it runs on");
        return ReportState(context, "timeout", kExitTimeout,
                           "the instance was not ready within " + std::to_string(timeoutMs) + " ms; it runs on");
    }
}

} // namespace

int RunInfo(CommandContext &context)
{
    const std::optional<std::string> port = ReadPrinterString(context.printer, QEL_VALUE_PORT);
    const std::optional<DWORD> window = ReadDriverDword(context.printer, QEL_VALUE_HWND);
    const std::optional<DWORD> appId = ReadDriverDword(context.printer, QEL_VALUE_APPID);
    const std::optional<DWORD> nonBidi = ReadDriverDword(context.printer, QEL_VALUE_NON_BIDI);
    // The application ID is 16 bits, sign-extended.
    const std::optional<LONG> signedAppId = appId ? std::optional<LONG>(static_cast<LONG>(*appId)) : std::nullopt;
    JsonObject &fields = context.out.Fields();
    fields.Add("port", port);
    fields.Add("hwnd", window);
    fields.Add("appId", signedAppId);
    fields.Add("nonBidiMode", nonBidi);
    context.out.Line("printer:       " + context.printer);
    context.out.Line("Port:          " + port.value_or("not set"));
    context.out.Line("QelApp32Hwnd:  " + DescribeOptionalDword(window));
    context.out.Line("QelApp32AppId: " + (appId ? std::to_string(static_cast<LONG>(*appId)) : std::string("not set")));
    context.out.Line("NON BIDI MODE: " + DescribeOptionalDword(nonBidi));

    Instance instance;
    std::string error;
    const bool located = instance.Locate(context.printer, &error);
    fields.AddBool("running", located);
    if (!located) {
        context.out.Line("instance:      none");
        Fail(kExitNoInstance, error);
    }
    const bool answers = instance.AnswersNoop(context.answerTimeoutMs);
    fields.Add("processId", instance.ProcessId());
    fields.AddBool("answers", answers);
    context.out.Line("instance:      process " + std::to_string(instance.ProcessId()) + ", window " +
                     (answers ? "answers 1137" : "does not answer 1137"));
    if (!answers)
        Fail(kExitNotAnswering, "the instance's window does not answer 1137");
    return kExitOk;
}

int RunWaitReady(CommandContext &context)
{
    const DWORD timeoutMs = context.Number("--timeout", kDefaultReadyTimeoutMs);
    StartEvents events;
    CreateStartEvents(context.printer, &events);
    const DWORD start = GetTickCount();
    HANDLE waitFor[] = {events.Get().ready, events.Get().cancelled, ConsoleBreakEvent()};
    for (;;) {
        // An instance that was ready before we created the init event has no one to tell;
        // its published window answering is as good a sign.
        const DWORD elapsed = GetTickCount() - start;
        const HWND window = QelFindInstanceWindow(context.printer.c_str());
        if (window != nullptr && Instance(context.printer, window).AnswersNoop(kNoopTimeoutMs))
            return ReportState(context, "ready", kExitOk,
                               "ready: the instance answers (" + FormatSeconds(elapsed) + ")");
        if (elapsed >= timeoutMs)
            break;
        const DWORD result = WaitForMultipleObjects(3, waitFor, FALSE, std::min(timeoutMs - elapsed, kReadyPollMs));
        if (result == WAIT_OBJECT_0)
            return ReportState(context, "ready", kExitOk,
                               "ready: init event signalled after " + FormatSeconds(GetTickCount() - start));
        if (result == WAIT_OBJECT_0 + 1)
            return ReportState(context, "cancelled", kExitCancelled,
                               "the instance cancelled its start-up (its components are not in order; Windows must "
                               "be restarted)");
        if (result == WAIT_OBJECT_0 + 2)
            break;
    }
    return ReportState(context, "timeout", kExitTimeout,
                       "the instance was not ready within " + std::to_string(timeoutMs) + " ms");
}

int RunStart(CommandContext &context)
{
    const DWORD timeoutMs = context.Number("--timeout", kDefaultReadyTimeoutMs);
    // The service reads its printer name from the rest of its command line: a name that
    // begins with a blank or a slash would lose its first characters.
    if (context.printer.empty() || context.printer[0] == ' ' || context.printer[0] == '/')
        Fail(kExitUsage, "the service cannot take a printer name that is empty or begins with a blank or a slash");
    // A port monitor starts the service only for an installed printer; an instance for a
    // mistyped name would serve nothing and leave a key of that name behind.
    if (!KeyExists(PrinterKeyPath(context.printer)))
        Fail(kExitUsage,
             "no printer \"" + context.printer + "\" under HKLM\\" + PrinterKeyPath("") + " (qelctl list shows them)");
    if (const HWND serving = FindServingWindow(context.printer))
        FailAlreadyServed(context, serving);
    const ServiceProgram program = FindServiceProgram(context.invocation);
    if (!program.exists)
        Fail(kExitUsage, "no service program at " + program.path +
                             (context.Has("--exe") ? "" : " (name another one with --exe PATH)"));

    StartEvents events;
    CreateStartEvents(context.printer, &events);
    std::string commandLine = program.commandPath + " " + context.printer;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        Fail(kExitSystem, "cannot start " + commandLine + " (error " + std::to_string(GetLastError()) + ")");
    const HandleGuard process(info.hProcess);
    CloseHandle(info.hThread);
    context.out.Fields().Add("commandLine", commandLine);
    context.out.Fields().Add("processId", info.dwProcessId);
    context.out.Line("started " + commandLine + " (process " + std::to_string(info.dwProcessId) + ")");
    if (!context.Has("--wait"))
        return kExitOk;
    return WaitForStartUp(context, events.Get(), process.Get(), timeoutMs);
}

int RunStop(CommandContext &context)
{
    const DWORD timeoutMs = context.Number("--timeout", kDefaultStopTimeoutMs);
    Instance instance(context.printer);
    // --handle, else what 1124 answers, else 0: ending must not depend on the printer.
    WORD handle = 0;
    if (context.Has("--handle"))
        handle = context.PrinterHandle(instance);
    else
        QelEnumPrinter(instance.Client(), &handle, nullptr, context.answerTimeoutMs, nullptr);
    const WORD appId = static_cast<WORD>(ReadDriverDword(context.printer, QEL_VALUE_APPID).value_or(0xFFFF));
    const DWORD start = GetTickCount();
    DWORD_PTR raw = QEL_FAILURE;
    const QelResult result = QelEndInstance(instance.Client(), appId, handle, timeoutMs, &raw);
    if (result == QEL_SYSTEM)
        Fail(kExitSystem, "cannot create the ready-for-next-job event (error " + std::to_string(GetLastError()) + ")");
    if (result == QEL_NOT_ANSWERED && raw == QEL_FAILURE)
        context.CheckDelivered(result, WM_QELAPP32_ENDJOB);
    const DWORD answer = QEL_ANSWER(raw);
    context.out.Fields().Add("answer", answer);
    context.out.Line("asked the instance to end (application ID " + std::to_string(static_cast<SHORT>(appId)) +
                     ", printer handle " + std::to_string(handle) + "), answer " + std::to_string(answer));
    // The library waits for the event, then for the process, both within the time bound.
    const HANDLE process = instance.Client()->process;
    if (result == QEL_NOT_ANSWERED && (process == nullptr || WaitForSingleObject(process, 0) != WAIT_OBJECT_0))
        Fail(kExitTimeout,
             "the instance did not signal the ready-for-next-job event within " + std::to_string(timeoutMs) + " ms");
    const DWORD signalled = GetTickCount() - start;
    context.out.Fields().Add("elapsedMs", signalled);
    context.out.Line("ready-for-next-job event signalled after " + FormatSeconds(signalled));
    DWORD exitCode = STILL_ACTIVE;
    if (process != nullptr && GetExitCodeProcess(process, &exitCode) && exitCode != STILL_ACTIVE) {
        context.out.Fields().Add("exitCodeOfInstance", exitCode);
        context.out.Line("instance ended with exit code " + std::to_string(exitCode));
    }
    if (answer != 1)
        Fail(kExitRefused,
             "the instance ended but reported a failed step (answer " + std::to_string(answer) + "; see its log)");
    return kExitOk;
}
