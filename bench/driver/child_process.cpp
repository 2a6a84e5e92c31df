#include "child_process.h"

#include <cstdio>
#include <vector>

std::string BinDirectory()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string full(path, length);
    return full.substr(0, full.find_last_of("\\/"));
}

std::string UniqueName(const char *tag)
{
    static int counter = 0;
    char name[96];
    std::snprintf(name, sizeof(name), "QelBench %s %lu-%d", tag, GetCurrentProcessId(), ++counter);
    return name;
}

ChildProcess::~ChildProcess()
{
    Kill();
}

bool ChildProcess::Start(const char *program, const std::string &arguments)
{
    std::string commandLine = "\"" + BinDirectory() + "\\" + program + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
    processId_ = info.dwProcessId;
    return true;
}

bool ChildProcess::WaitForExit(DWORD timeoutMs)
{
    return process_.IsValid() && WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_.IsValid())
        GetExitCodeProcess(process_.Get(), &code);
    return code;
}

void ChildProcess::Kill()
{
    if (!process_.IsValid())
        return;
    if (WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), 5000);
    }
    process_.Reset();
    processId_ = 0;
}

bool WaitForEventOrExit(HANDLE event, const ChildProcess &process, DWORD timeoutMs)
{
    const HANDLE waitFor[] = {event, process.Handle()};
    return WaitForMultipleObjects(2, waitFor, FALSE, timeoutMs) == WAIT_OBJECT_0;
}
