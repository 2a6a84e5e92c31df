#include "floors.h"

#include "bench.h"
#include "support/service_process.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kLoopTimeoutMs = 120000;
constexpr DWORD kEndTimeoutMs = 5000;
constexpr char kBareWindowClass[] = "QelBenchBareWindow";

std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

} // namespace

FloorProcess::~FloorProcess()
{
    if (process_.IsValid() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), kEndTimeoutMs);
    }
}

bool FloorProcess::Start(const char *program, const std::string &arguments, const std::vector<char> &environment)
{
    std::string commandLine = Quoted(BinDirectory() + "\\" + program) + " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::vector<char> environmentCopy = environment;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                        environmentCopy.empty() ? nullptr : environmentCopy.data(), nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
    id_ = info.dwProcessId;
    return true;
}

double FloorProcess::StartAndWait(const char *program, const std::string &eventName, const std::string &moreArguments,
                                  const std::vector<char> &environment)
{
    const HandleGuard ready(CreateEventA(nullptr, FALSE, FALSE, eventName.c_str()));
    const double start = NowMicroseconds();
    if (!ready.IsValid() || !Start(program, Quoted(eventName) + moreArguments, environment))
        return -1.0;
    const HANDLE waitFor[] = {ready.Get(), process_.Get()};
    if (WaitForMultipleObjects(2, waitFor, FALSE, kStartTimeoutMs) != WAIT_OBJECT_0)
        return -1.0;
    return NowMicroseconds() - start;
}

DWORD FloorProcess::WaitForExitCode(DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process_.Get(), &code);
    return code;
}

bool BareWindow::Start(const std::vector<char> &environment)
{
    const std::string name = UniquePrinterName("bare window");
    if (process_.StartAndWait("bench_bare_window.exe", name, "", environment) < 0)
        return false;
    client_.window = FindWindowA(kBareWindowClass, name.c_str());
    return client_.window != nullptr;
}

double BareProgram::TimeStart(bool stay, const std::vector<char> &environment)
{
    name_ = UniquePrinterName("bare program");
    return process_.StartAndWait("bench_bare_startup.exe", name_, stay ? " --wait" : "", environment);
}

double TimeBareFileLoop(const std::string &fileName, const std::vector<char> &environment)
{
    FloorProcess loop;
    if (!loop.Start("bench_bare_file_loop.exe", Quoted(fileName), environment))
        return -1.0;
    // Its exit code is its time; 0 to 2 say it failed.
    const DWORD code = loop.WaitForExitCode(kLoopTimeoutMs);
    return code > 2 && code != STILL_ACTIVE ? static_cast<double>(code) : -1.0;
}
