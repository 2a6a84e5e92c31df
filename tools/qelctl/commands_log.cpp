// log: attach to the instance as a debugger and print its "QELAPP32: " lines as they
// are written, until Ctrl+C, --timeout or the end of the instance; then detach,
// leaving the instance running.
#include <algorithm>
#include <vector>

#include "core/owned.h"
#include "qelctl.h"

namespace {

constexpr DWORD kDebugEventWaitMs = 100;
constexpr char kLinePrefix[] = "QELAPP32: ";
// Breakpoint codes of a native and of a WOW64 process: the attach itself raises one.
constexpr DWORD kWow64Breakpoint = 0x4000001F;

enum LogEnd { kTimeout, kInterrupted, kInstanceEnded };
constexpr const char *kLogEndNames[] = {"timeout", "interrupted", "instance-ended"}; // for --json

struct LogSession {
    DWORD processId = 0;
    HANDLE process = nullptr;       // for reading the debuggee's strings
    bool everyLine = false;         // --all: also lines without the prefix
    std::vector<std::string> lines; // as JSON
    DWORD instanceExitCode = 0;
};

// WaitForDebugEvent hands every debug string over as ANSI, OutputDebugStringW's too.
// Answers it up to its terminator, without its line end.
std::string ReadDebugLine(HANDLE process, const OUTPUT_DEBUG_STRING_INFO &info)
{
    std::string text(info.nDebugStringLength, '\0');
    SIZE_T read = 0;
    if (!text.empty())
        ReadProcessMemory(process, info.lpDebugStringData, &text[0], text.size(), &read);
    text.resize(std::min<size_t>(read, text.find('\0')));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

void ReportLine(CommandContext &context, LogSession *session, const std::string &text)
{
    if (!session->everyLine && text.compare(0, sizeof(kLinePrefix) - 1, kLinePrefix) != 0)
        return;
    session->lines.push_back(ReportTimed(context.out, text, "text", JsonQuote(text)));
}

LogEnd FollowDebugEvents(CommandContext &context, LogSession *session, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (IsConsoleBreakRequested())
            return kInterrupted;
        if (timeoutMs != kUnlimited && GetTickCount() - start >= timeoutMs)
            return kTimeout;
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, kDebugEventWaitMs))
            continue;
        DWORD status = DBG_CONTINUE;
        const DWORD exception = event.u.Exception.ExceptionRecord.ExceptionCode;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
        case LOAD_DLL_DEBUG_EVENT: CloseDebugEventFile(event); break;
        case OUTPUT_DEBUG_STRING_EVENT:
            ReportLine(context, session, ReadDebugLine(session->process, event.u.DebugString));
            break;
        case EXCEPTION_DEBUG_EVENT:
            // Only our own attach breakpoint is ours to swallow; every other exception goes
            // back to the instance's handlers as if no debugger were there.
            if (exception != EXCEPTION_BREAKPOINT && exception != kWow64Breakpoint)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case EXIT_PROCESS_DEBUG_EVENT: session->instanceExitCode = event.u.ExitProcess.dwExitCode; break;
        default: break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            return kInstanceEnded;
    }
}

} // namespace

int RunLog(CommandContext &context)
{
    const DWORD timeoutMs = context.Number("--timeout", kUnlimited);
    const Instance instance(context.printer);
    LogSession session;
    session.everyLine = context.Has("--all");
    session.processId = instance.ProcessId();
    const HandleGuard process(OpenProcess(PROCESS_VM_READ | PROCESS_QUERY_INFORMATION, FALSE, session.processId));
    session.process = process.Get();
    if (!process.IsValid() || !DebugActiveProcess(session.processId))
        Fail(kExitSystem, "cannot attach to process " + std::to_string(session.processId) + " as a debugger (error " +
                              std::to_string(GetLastError()) + "); is another debugger attached?");
    // Set at once: if qelctl itself dies from here on, the instance must live on.
    DebugSetProcessKillOnExit(FALSE);
    context.out.Line("attached to the instance (process " + std::to_string(session.processId) + "); Ctrl+C to stop");

    const LogEnd end = FollowDebugEvents(context, &session, timeoutMs);
    if (end != kInstanceEnded)
        DebugActiveProcessStop(session.processId);
    context.out.Fields().Add("processId", session.processId);
    context.out.Fields().Add("ended", kLogEndNames[end]);
    context.out.Fields().AddRaw("lines", JsonArray(session.lines));
    if (end == kInstanceEnded) {
        context.out.Fields().Add("exitCodeOfInstance", session.instanceExitCode);
        context.out.Line("the instance ended with exit code " + std::to_string(session.instanceExitCode));
    } else {
        context.out.Line("detached after " + std::to_string(session.lines.size()) + " lines; the instance runs on");
    }
    return kExitOk;
}
