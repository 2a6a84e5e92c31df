// Programs of the build (the service and the floor programs) started from this folder,
// all the same way: CreateProcessA, this process's environment, no console of their own.
#pragma once

#include <windows.h>

#include <string>

#include "core/owned.h"

std::string BinDirectory();
// "QelBench <pid>-<n>": printer names and event names no other run uses.
std::string UniqueName(const char *tag);

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts "<bin>\<program>" with the arguments as they are written.
    bool Start(const char *program, const std::string &arguments);
    bool WaitForExit(DWORD timeoutMs);
    DWORD ExitCode() const;
    void Kill();

    HANDLE Handle() const { return process_.Get(); }
    DWORD Id() const { return processId_; }

private:
    HandleGuard process_;
    DWORD processId_ = 0;
};

// A named event this process creates before the child that signals it starts.
class NamedEvent : public HandleGuard {
public:
    explicit NamedEvent(const std::string &name) : HandleGuard(CreateEventA(nullptr, FALSE, FALSE, name.c_str())) {}
    HANDLE Handle() const { return Get(); }
};

// Waits for the event or the end of the process; true only for the event.
bool WaitForEventOrExit(HANDLE event, const ChildProcess &process, DWORD timeoutMs);
