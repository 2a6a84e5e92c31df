// Runs the real qelapp32.exe as a separate process for end-to-end tests, attached as a
// debugger so that every "QELAPP32: " line is seen whole and an access violation that a
// window procedure would swallow is still counted.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/remote_memory.h"

std::string BinDirectory(); // the folder of the running test program (build/bin)

class ServiceProcess {
public:
    ServiceProcess() = default;
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess &) = delete;
    ServiceProcess &operator=(const ServiceProcess &) = delete;

    // Starts "<bin>\qelapp32.exe <arguments>"; environment is an ANSI block or empty.
    bool Start(const std::string &arguments, const std::vector<char> &environment = {});
    bool WaitForExit(DWORD timeoutMs);
    bool HasExited() const;
    DWORD ExitCode() const;
    void Kill();

    HANDLE Process() const { return process_; }
    DWORD ProcessId() const { return processId_; }

    std::vector<std::string> LogLines() const; // whole texts, prefix included
    bool WaitForLogLine(const std::string &text, DWORD timeoutMs) const;
    bool HasLogLine(const std::string &text) const;
    int AccessViolations() const;

private:
    void RunDebugger(std::string commandLine, std::vector<char> environment);
    void RecordDebugString(const OUTPUT_DEBUG_STRING_INFO &info);

    std::thread debugger_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool started_ = false;
    bool startFailed_ = false;
    bool exited_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    std::vector<std::string> lines_;
    int accessViolations_ = 0;
};
