// 1134 (and 1141): stream a file from the instance's system directory to the printer.
#include "commands.h"

#include "console_break.h"
#include "exit_codes.h"
#include "qelapp32/client.h"

namespace {

constexpr DWORD kDefaultPollIntervalMs = 100;
constexpr DWORD kProgressEveryMs = 1000;
constexpr size_t kMaxFileNameLength = MAX_PATH - 1;
constexpr DWORD kNoTimeout = 0;

int AskWhetherSending(CommandContext &context, const Instance &instance, UINT message, bool *running)
{
    BOOL sending = FALSE;
    const QelResult result = QelIsSendingFile(instance.Client(), message, &sending, context.answerTimeoutMs, nullptr);
    *running = sending != FALSE;
    return CheckDelivered(context, result, message);
}

int RunQuery(CommandContext &context, const Instance &instance, UINT message)
{
    bool running = false;
    if (const int code = AskWhetherSending(context, instance, message, &running))
        return code;
    context.out.Fields().AddBool("running", running);
    context.out.Line(running ? "a file sender is running" : "no file sender is running");
    return kExitOk;
}

// Polls until the sender has ended; *ended stays false on timeout or Ctrl+C.
int WaitForSender(CommandContext &context, const Instance &instance, UINT message, DWORD timeoutMs, DWORD intervalMs,
                  DWORD start, bool *ended)
{
    DWORD lastReport = 0;
    for (;;) {
        bool running = false;
        if (const int code = AskWhetherSending(context, instance, message, &running))
            return code;
        const DWORD elapsed = GetTickCount() - start;
        if (!running) {
            *ended = true;
            return kExitOk;
        }
        if (elapsed - lastReport >= kProgressEveryMs) {
            context.out.Line("sending... " + FormatSeconds(elapsed));
            lastReport = elapsed;
        }
        if (timeoutMs != kNoTimeout && elapsed >= timeoutMs)
            return kExitOk;
        if (WaitForSingleObject(ConsoleBreakEvent(), intervalMs) == WAIT_OBJECT_0)
            return kExitOk;
    }
}

} // namespace

int RunSendFile(CommandContext &context)
{
    const bool query = HasOption(context.invocation, "--query");
    if (query != context.args.empty())
        return context.out.Fail(kExitUsage, query ? "sendfile --query takes no file name"
                                                  : "sendfile needs a file name (or --query)");
    DWORD timeoutMs = 0;
    DWORD intervalMs = 0;
    if (const int code = ReadMillisecondsOption(context, "--timeout", kNoTimeout, &timeoutMs))
        return code;
    if (const int code = ReadMillisecondsOption(context, "--interval", kDefaultPollIntervalMs, &intervalMs))
        return code;
    const UINT message = HasOption(context.invocation, "--use-1141") ? WM_QELAPP32_SENDFILE2 : WM_QELAPP32_SENDFILE;
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    if (query)
        return RunQuery(context, instance, message);

    const std::string &name = context.args[0];
    if (name.empty() || name.size() > kMaxFileNameLength)
        return context.out.Fail(kExitUsage,
                                "the file name must have 1 to " + std::to_string(kMaxFileNameLength) + " characters");
    // The library places the name in the instance, which copies it before it answers.
    const DWORD start = GetTickCount();
    DWORD_PTR raw = 0;
    const QelResult result = QelSendFile(instance.Client(), message, name.c_str(), context.answerTimeoutMs, &raw);
    if (const int code = CheckDelivered(context, result, message))
        return code;
    const DWORD answer = QEL_ANSWER(raw);
    context.out.Fields().Add("file", name);
    context.out.Fields().Add("answer", answer);
    if (answer != 1)
        return context.out.Fail(kExitRefused, "sendfile refused: a file is still being sent, or the name was "
                                              "refused (see qelctl PRINTER log)");
    context.out.Line("file sender started for " + name);
    if (!HasOption(context.invocation, "--wait"))
        return kExitOk;

    bool ended = false;
    if (const int code = WaitForSender(context, instance, message, timeoutMs, intervalMs, start, &ended))
        return code;
    const DWORD elapsed = GetTickCount() - start;
    context.out.Fields().Add("elapsedMs", elapsed);
    context.out.Fields().AddBool("ended", ended);
    if (!ended && IsConsoleBreakRequested()) {
        context.out.Line("stopped waiting after " + FormatSeconds(elapsed) + "; the file sender still runs");
        return kExitOk;
    }
    if (!ended)
        return context.out.Fail(kExitTimeout, "the file sender still runs after " + FormatSeconds(elapsed));
    context.out.Line("file sender ended after " + FormatSeconds(elapsed));
    return kExitOk;
}
