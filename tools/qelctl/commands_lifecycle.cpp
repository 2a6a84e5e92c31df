// info, wait-ready and stop: finding out about an instance, waiting for one to be
// ready, and ending one.
#include "commands.h"

#include <cstdio>

#include "console_break.h"
#include "exit_codes.h"
#include "printer_values.h"
#include "qelapp32/client.h"

namespace {

constexpr DWORD kDefaultReadyTimeoutMs = 30000;
constexpr DWORD kDefaultStopTimeoutMs = 10000;
constexpr DWORD kReadyPollMs = 250;
constexpr DWORD kNoopTimeoutMs = 2000;
bool AnswersNoop(const Instance &instance, DWORD timeoutMs)
{
    DWORD answer = 0;
    return SendToInstance(instance, WM_QELAPP32_NOOP, 0, 0, timeoutMs, &answer) && answer == 1;
}

// An instance that was ready before we created the init event has no one to tell;
// its published window answering is as good a sign.
bool IsPublishedInstanceAnswering(const std::string &printer)
{
    Instance instance;
    std::string ignored;
    return LocateInstance(printer, &instance, &ignored) == kExitOk && AnswersNoop(instance, kNoopTimeoutMs);
}

std::string DescribeOptionalDword(const std::optional<DWORD> &value)
{
    return value ? Hex32(*value) + " (" + std::to_string(*value) + ")" : "not set";
}

void AddOptionalDword(JsonObject &fields, const char *key, const std::optional<DWORD> &value)
{
    if (value)
        fields.Add(key, *value);
    else
        fields.AddNull(key);
}

void ReportPublishedValues(CommandContext &context)
{
    const std::optional<std::string> port = ReadPrinterString(context.printer, QEL_VALUE_PORT);
    const std::optional<DWORD> window = ReadDriverDword(context.printer, QEL_VALUE_HWND);
    const std::optional<DWORD> appId = ReadDriverDword(context.printer, QEL_VALUE_APPID);
    const std::optional<DWORD> nonBidi = ReadDriverDword(context.printer, QEL_VALUE_NON_BIDI);
    JsonObject &fields = context.out.Fields();
    if (port)
        fields.Add("port", *port);
    else
        fields.AddNull("port");
    AddOptionalDword(fields, "hwnd", window);
    if (appId)
        fields.AddSigned("appId", static_cast<LONG>(*appId)); // sign-extended 16 bits
    else
        fields.AddNull("appId");
    AddOptionalDword(fields, "nonBidiMode", nonBidi);
    context.out.Line("printer:       " + context.printer);
    context.out.Line("Port:          " + (port ? *port : std::string("not set")));
    context.out.Line("QelApp32Hwnd:  " + DescribeOptionalDword(window));
    context.out.Line("QelApp32AppId: " + (appId ? std::to_string(static_cast<LONG>(*appId)) : std::string("not set")));
    context.out.Line("NON BIDI MODE: " + DescribeOptionalDword(nonBidi));
}

// --handle, else what 1124 answers, else 0: ending must not depend on the printer.
WORD ChooseStopHandle(CommandContext &context, const Instance &instance, int *code)
{
    *code = kExitOk;
    if (HasOption(context.invocation, "--handle")) {
        WORD handle = 0;
        *code = ResolvePrinterHandle(context, instance, &handle);
        return handle;
    }
    DWORD answer = 0;
    if (!SendToInstance(instance, WM_QELAPP32_ENUMPRINTER, 0, 0, context.answerTimeoutMs, &answer) ||
        answer == QEL_FAILURE)
        return 0;
    return QEL_PRINTER_HANDLE_OF(answer);
}

} // namespace

int RunInfo(CommandContext &context)
{
    ReportPublishedValues(context);
    Instance instance;
    std::string error;
    const int located = LocateInstance(context.printer, &instance, &error);
    context.out.Fields().AddBool("running", located == kExitOk);
    if (located != kExitOk) {
        context.out.Line("instance:      none");
        return context.out.Fail(located, error);
    }
    const DWORD processId = instance.ProcessId();
    const bool answers = AnswersNoop(instance, context.answerTimeoutMs);
    context.out.Fields().Add("processId", processId);
    context.out.Fields().AddBool("answers", answers);
    context.out.Line("instance:      process " + std::to_string(processId) + ", window " +
                     (answers ? "answers 1137" : "does not answer 1137"));
    if (!answers)
        return context.out.Fail(kExitNotAnswering, "the instance's window does not answer 1137");
    return kExitOk;
}

int RunWaitReady(CommandContext &context)
{
    DWORD timeoutMs = 0;
    if (const int code = ReadMillisecondsOption(context, "--timeout", kDefaultReadyTimeoutMs, &timeoutMs))
        return code;
    StartEvents initEvents(context.printer);
    if (!initEvents.IsValid())
        return context.out.Fail(kExitSystem,
                                "cannot create the init events (error " + std::to_string(GetLastError()) + ")");
    const DWORD start = GetTickCount();
    HANDLE events[] = {initEvents.Get()->ready, initEvents.Get()->cancelled, ConsoleBreakEvent()};
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (IsPublishedInstanceAnswering(context.printer)) {
            context.out.Fields().Add("state", "ready");
            context.out.Line("ready: the instance answers (" + FormatSeconds(elapsed) + ")");
            return kExitOk;
        }
        if (elapsed >= timeoutMs)
            break;
        const DWORD slice = timeoutMs - elapsed < kReadyPollMs ? timeoutMs - elapsed : kReadyPollMs;
        const DWORD result = WaitForMultipleObjects(3, events, FALSE, slice);
        if (result == WAIT_OBJECT_0) {
            context.out.Fields().Add("state", "ready");
            context.out.Line("ready: init event signalled after " + FormatSeconds(GetTickCount() - start));
            return kExitOk;
        }
        if (result == WAIT_OBJECT_0 + 1) {
            context.out.Fields().Add("state", "cancelled");
            return context.out.Fail(kExitCancelled, "the instance cancelled its start-up (its components are not "
                                                    "in order; Windows must be restarted)");
        }
        if (result == WAIT_OBJECT_0 + 2)
            break;
    }
    context.out.Fields().Add("state", "timeout");
    return context.out.Fail(kExitTimeout, "the instance was not ready within " + std::to_string(timeoutMs) + " ms");
}

int RunStop(CommandContext &context)
{
    DWORD timeoutMs = 0;
    if (const int code = ReadMillisecondsOption(context, "--timeout", kDefaultStopTimeoutMs, &timeoutMs))
        return code;
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    int code = kExitOk;
    const WORD handle = ChooseStopHandle(context, instance, &code);
    if (code != kExitOk)
        return code;
    const WORD appId = static_cast<WORD>(ReadDriverDword(context.printer, QEL_VALUE_APPID).value_or(0xFFFF));
    const DWORD start = GetTickCount();
    DWORD_PTR raw = QEL_FAILURE;
    const QelResult result = QelEndInstance(instance.Client(), appId, handle, timeoutMs, &raw);
    if (result == QEL_SYSTEM)
        return context.out.Fail(kExitSystem, "cannot create the ready-for-next-job event (error " +
                                                 std::to_string(GetLastError()) + ")");
    if (result == QEL_NOT_ANSWERED && raw == QEL_FAILURE)
        return CheckDelivered(context, result, WM_QELAPP32_ENDJOB);
    const DWORD answer = QEL_ANSWER(raw);
    context.out.Fields().Add("answer", answer);
    context.out.Line("asked the instance to end (application ID " + std::to_string(static_cast<SHORT>(appId)) +
                     ", printer handle " + std::to_string(handle) + "), answer " + std::to_string(answer));
    // The library waits for the event, then for the process, both within the time bound.
    DWORD exitCode = STILL_ACTIVE;
    const HANDLE process = instance.Client()->process;
    if (result == QEL_NOT_ANSWERED && (process == nullptr || WaitForSingleObject(process, 0) != WAIT_OBJECT_0))
        return context.out.Fail(kExitTimeout, "the instance did not signal the ready-for-next-job event within " +
                                                  std::to_string(timeoutMs) + " ms");
    const DWORD signalled = GetTickCount() - start;
    context.out.Fields().Add("elapsedMs", signalled);
    context.out.Line("ready-for-next-job event signalled after " + FormatSeconds(signalled));
    if (process != nullptr && GetExitCodeProcess(process, &exitCode) && exitCode != STILL_ACTIVE) {
        context.out.Fields().Add("exitCodeOfInstance", exitCode);
        context.out.Line("instance ended with exit code " + std::to_string(exitCode));
    }
    if (answer != 1)
        return context.out.Fail(kExitRefused, "the instance ended but reported a failed step (answer " +
                                                  std::to_string(answer) + "; see its log)");
    return kExitOk;
}
