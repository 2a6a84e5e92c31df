// start: runs "qelapp32.exe PRINTER" the way a port monitor does, and with --wait
// tells how its start-up ended.
#include "commands.h"

#include "console_break.h"
#include "core/owned.h"
#include "exit_codes.h"
#include "printer_values.h"
#include "qelapp32/client.h"
#include "service_program.h"

namespace {

constexpr DWORD kDefaultStartTimeoutMs = 30000;

std::string ProcessOfWindow(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return "process " + std::to_string(processId);
}

// An instance already serves the printer when its window exists, whatever is published:
// that window is what a second start would find and give way to.
HWND FindServingWindow(const std::string &printer)
{
    const PublishedWindow published = ReadPublishedWindow(printer);
    if (published.state == Publication::Window)
        return published.window;
    return FindInstanceByTitle(printer);
}

int FailAlreadyServed(CommandContext &context, HWND window)
{
    context.out.Fields().Add("state", "already-served");
    return context.out.Fail(kExitAlreadyServed, "an instance already serves printer \"" + context.printer + "\" (" +
                                                    ProcessOfWindow(window) + ", window " +
                                                    Hex32(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window))) +
                                                    "); qelctl \"" + context.printer + "\" stop ends it");
}

// The service reads its printer name from the rest of its command line: a name that
// begins with a blank or a slash would lose its first characters.
bool IsStartableName(const std::string &printer)
{
    return !printer.empty() && printer[0] != ' ' && printer[0] != '/';
}

int WaitForStartUp(CommandContext &context, const StartEvents &events, HANDLE process, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    Instance served;
    const QelResult result =
        QelAwaitStart(events.Get(), process, ConsoleBreakEvent(), context.printer.c_str(), timeoutMs, served.Client());
    const DWORD elapsed = GetTickCount() - start;
    context.out.Fields().Add("elapsedMs", elapsed);
    switch (result) {
    case QEL_OK:
    case QEL_NO_INSTANCE: // ready, but gone again before it could be opened
    case QEL_SYSTEM:
        context.out.Fields().Add("state", "ready");
        context.out.Line("ready: the instance serves the printer (" + FormatSeconds(elapsed) + ")");
        return kExitOk;
    case QEL_CANCELLED:
        context.out.Fields().Add("state", "cancelled");
        return context.out.Fail(kExitCancelled,
                                "the instance cancelled its start-up: the printer software's components are not in "
                                "order (qelctl check \"" +
                                    context.printer +
                                    "\"). It now waits for an answer to the restart question on the desktop.");
    case QEL_ENDED: {
        DWORD exitCode = 0;
        GetExitCodeProcess(process, &exitCode);
        context.out.Fields().Add("instanceExitCode", exitCode);
        if (const HWND other = FindServingWindow(context.printer))
            return FailAlreadyServed(context, other);
        context.out.Fields().Add("state", "ended");
        return context.out.Fail(kExitInstanceEnded,
                                "the instance ended with exit code " + std::to_string(exitCode) +
                                    " before it was ready (a refused name, a missing or incomplete QRMTOV.DLL, a "
                                    "failed registration); qelctl check \"" +
                                    context.printer + "\" tells more");
    }
    default:
        if (!IsConsoleBreakRequested()) {
            context.out.Fields().Add("state", "timeout");
            return context.out.Fail(kExitTimeout, "the instance was not ready within " + std::to_string(timeoutMs) +
                                                      " ms; it runs on");
        }
        context.out.Fields().Add("state", "interrupted");
        return context.out.Fail(kExitTimeout, "interrupted before the instance was ready; it runs on");
    }
}

} // namespace

int RunStart(CommandContext &context)
{
    DWORD timeoutMs = 0;
    if (const int code = ReadMillisecondsOption(context, "--timeout", kDefaultStartTimeoutMs, &timeoutMs))
        return code;
    if (!IsStartableName(context.printer))
        return context.out.Fail(kExitUsage, "the service cannot take a printer name that is empty or begins with a "
                                            "blank or a slash");
    // A port monitor starts the service only for an installed printer; an instance for a
    // mistyped name would serve nothing and leave a key of that name behind.
    if (!PrinterKeyExists(context.printer))
        return context.out.Fail(kExitUsage, "no printer \"" + context.printer + "\" under HKLM\\" + PrinterKeyPath("") +
                                                " (qelctl list shows them)");
    if (const HWND serving = FindServingWindow(context.printer))
        return FailAlreadyServed(context, serving);

    ServiceProgram program;
    std::string error;
    if (!FindServiceProgram(context.invocation, &program, &error))
        return context.out.Fail(kExitUsage, error);

    StartEvents events(context.printer);
    if (!events.IsValid())
        return context.out.Fail(kExitSystem,
                                "cannot create the init events (error " + std::to_string(GetLastError()) + ")");

    std::string commandLine = program.commandPath + " " + context.printer;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return context.out.Fail(kExitSystem,
                                "cannot start " + commandLine + " (error " + std::to_string(GetLastError()) + ")");
    HandleGuard process(info.hProcess);
    CloseHandle(info.hThread);
    context.out.Fields().Add("commandLine", commandLine);
    context.out.Fields().Add("processId", info.dwProcessId);
    context.out.Line("started " + commandLine + " (process " + std::to_string(info.dwProcessId) + ")");
    if (!HasOption(context.invocation, "--wait"))
        return kExitOk;
    return WaitForStartUp(context, events, process.Get(), timeoutMs);
}
