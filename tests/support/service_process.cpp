#include "service_process.h"
#include "core/owned.h"

#include <chrono>

std::string BinDirectory()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string full(path, length);
    return full.substr(0, full.find_last_of("\\/"));
}

ServiceProcess::~ServiceProcess()
{
    Kill();
    if (debugger_.joinable())
        debugger_.join();
}

bool ServiceProcess::Start(const std::string &arguments, const std::vector<char> &environment)
{
    std::string commandLine = BinDirectory() + "\\qelapp32.exe";
    if (!arguments.empty())
        commandLine += " " + arguments;
    debugger_ = std::thread(&ServiceProcess::RunDebugger, this, commandLine, environment);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return started_ || startFailed_; });
    return started_;
}

// The debugger loop must run on the thread that created the process.
void ServiceProcess::RunDebugger(std::string commandLine, std::vector<char> environment)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::vector<char> mutableCommandLine(commandLine.begin(), commandLine.end());
    mutableCommandLine.push_back('\0');
    BOOL created = CreateProcessA(nullptr, mutableCommandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                                  environment.empty() ? nullptr : environment.data(), nullptr, &startup, &info);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!created) {
            startFailed_ = true;
            changed_.notify_all();
            return;
        }
        process_ = info.hProcess;
        processId_ = info.dwProcessId;
        started_ = true;
    }
    changed_.notify_all();
    CloseHandle(info.hThread);

    for (;;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, INFINITE))
            break;
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
        case LOAD_DLL_DEBUG_EVENT: CloseDebugEventFile(event); break;
        case OUTPUT_DEBUG_STRING_EVENT: RecordDebugString(event.u.DebugString); break;
        case EXCEPTION_DEBUG_EVENT: {
            const EXCEPTION_RECORD &record = event.u.Exception.ExceptionRecord;
            if (record.ExceptionCode != EXCEPTION_BREAKPOINT)
                continueStatus = DBG_EXCEPTION_NOT_HANDLED;
            if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && event.u.Exception.dwFirstChance) {
                std::lock_guard<std::mutex> lock(mutex_);
                ++accessViolations_;
            }
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT: {
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            std::lock_guard<std::mutex> lock(mutex_);
            exited_ = true;
            exitCode_ = event.u.ExitProcess.dwExitCode;
            changed_.notify_all();
            return;
        }
        default: break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    exited_ = true;
    changed_.notify_all();
}

void ServiceProcess::RecordDebugString(const OUTPUT_DEBUG_STRING_INFO &info)
{
    std::string text(info.nDebugStringLength, '\0');
    SIZE_T read = 0;
    ReadProcessMemory(process_, info.lpDebugStringData, &text[0], text.size(), &read);
    text.resize(read);
    const size_t end = text.find('\0');
    if (end != std::string::npos)
        text.resize(end);
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(text);
    changed_.notify_all();
}

bool ServiceProcess::WaitForExit(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return exited_ || !started_; });
}

bool ServiceProcess::HasExited() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exited_;
}

DWORD ServiceProcess::ExitCode() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exitCode_;
}

void ServiceProcess::Kill()
{
    if (process_ == nullptr)
        return;
    if (!HasExited()) {
        TerminateProcess(process_, 0xDEAD);
        WaitForExit(10000);
    }
    if (debugger_.joinable())
        debugger_.join();
    CloseHandle(process_);
    process_ = nullptr;
}

std::vector<std::string> ServiceProcess::LogLines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool ServiceProcess::HasLogLine(const std::string &text) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string &line : lines_) {
        if (line == text)
            return true;
    }
    return false;
}

bool ServiceProcess::WaitForLogLine(const std::string &text, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const std::string &line : lines_) {
            if (line == text)
                return true;
        }
        return false;
    });
}

int ServiceProcess::AccessViolations() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return accessViolations_;
}
