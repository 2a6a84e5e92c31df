#include "floor_programs.h"

#include <cstdio>
#include <cstdlib>

#include "bench_clock.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kLoopTimeoutMs = 120000;

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

double TimeBareStartup(BareStartup kind, double *libraryMicroseconds)
{
    const std::string name = UniqueName("bare start");
    const bool withLibrary = kind == BareStartup::kLibrary;
    const char *option = withLibrary ? " --library" : kind == BareStartup::kDesign ? " --design" : "";
    NamedEvent ready(name);
    ChildProcess process;
    const double start = NowMicroseconds();
    if (!process.Start("bench_bare_startup.exe", "\"" + name + "\"" + option))
        return -1.0;
    if (!WaitForEventOrExit(ready.Handle(), process, kStartTimeoutMs))
        return -1.0;
    const double elapsed = NowMicroseconds() - start;
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
