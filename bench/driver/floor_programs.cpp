#include "floor_programs.h"

#include <cstdio>
#include <cstdlib>

#include "bench_clock.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kLoopTimeoutMs = 120000;

// Starts bench_bare_startup.exe and waits for its event; microseconds from before process
// creation until the event was seen, or a negative value on failure.
double StartBareStartup(BareStartup kind, const std::string &name, const char *more, ChildProcess *process)
{
    static const char *const kOptions[] = {"", " --library", " --design", " --design --library"};
    NamedEvent ready(name);
    const double start = NowMicroseconds();
    if (!process->Start("bench_bare_startup.exe", "\"" + name + "\"" + kOptions[static_cast<int>(kind)] + more))
        return -1.0;
    if (!WaitForEventOrExit(ready.Handle(), *process, kStartTimeoutMs))
        return -1.0;
    return NowMicroseconds() - start;
}

} // namespace

BareWindow::~BareWindow()
{
    Stop();
}

bool BareWindow::Start()
{
    name_ = UniqueName("bare window");
    NamedEvent ready(name_);
    if (!process_.Start("bench_bare_window.exe", "\"" + name_ + "\" \"" + name_ + "\""))
        return false;
    if (!WaitForEventOrExit(ready.Handle(), process_, kStartTimeoutMs))
        return false;
    window_ = FindWindowA("QelBenchBareWindow", name_.c_str());
    return window_ != nullptr;
}

void BareWindow::Stop()
{
    if (window_ != nullptr)
        PostMessageA(window_, WM_CLOSE, 0, 0);
    window_ = nullptr;
    process_.WaitForExit(5000);
    process_.Kill();
}

double BareProgram::TimeStart(BareStartup kind)
{
    name_ = UniqueName("bare program");
    return StartBareStartup(kind, name_, " --wait", &process_);
}

double TimeBareStartup(BareStartup kind, double *libraryMicroseconds)
{
    const bool withLibrary = kind == BareStartup::kLibrary;
    ChildProcess process;
    const double elapsed = StartBareStartup(kind, UniqueName("bare start"), "", &process);
    if (elapsed < 0)
        return -1.0;
    if (!process.WaitForExit(kStartTimeoutMs))
        return -1.0;
    if (withLibrary) {
        const DWORD code = process.ExitCode();
        if (code < 2 || code == STILL_ACTIVE)
            return -1.0;
        if (libraryMicroseconds != nullptr)
            *libraryMicroseconds = code;
    }
    return elapsed;
}

double TimeBareFileLoop(const std::string &fileName, const std::string &scratchDirectory)
{
    const std::string output = scratchDirectory + "\\bare-loop.txt";
    ChildProcess process;
    if (!process.Start("bench_bare_file_loop.exe", "\"" + fileName + "\" 1 \"" + output + "\""))
        return -1.0;
    if (!process.WaitForExit(kLoopTimeoutMs) || process.ExitCode() != 0)
        return -1.0;
    FILE *file = std::fopen(output.c_str(), "r");
    if (file == nullptr)
        return -1.0;
    double microseconds = -1.0;
    if (std::fscanf(file, "%lf", &microseconds) != 1)
        microseconds = -1.0;
    std::fclose(file);
    DeleteFileA(output.c_str());
    return microseconds;
}
