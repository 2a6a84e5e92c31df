// Watches another process's threads as its debugger: a thread it starts is seen
// starting and ending as it happens, with no polling and nothing running beside it.
// Meant for a short phase; the process runs on normally once the watch is gone.
#pragma once

#include <windows.h>

#include "core/owned.h"

#include <atomic>

class ThreadWatch {
public:
    explicit ThreadWatch(DWORD processId);
    ~ThreadWatch();
    ThreadWatch(const ThreadWatch &) = delete;
    ThreadWatch &operator=(const ThreadWatch &) = delete;

    bool IsAttached() const { return attached_; }
    // Call before the request that starts a thread; the next thread the process starts
    // is the one watched.
    void Arm();
    // Waits until the watched thread has ended; its end in microseconds (the clock of
    // NowMicroseconds), or a negative value on time-out.
    double WaitForWatchedThreadEnd(DWORD timeoutMs);
    // When the watched thread was seen starting, on the same clock; valid once it ended.
    double WatchedThreadStart() const { return startedAt_; }

private:
    static DWORD WINAPI Run(LPVOID self);
    void Loop();
    void Handle(const DEBUG_EVENT &event, DWORD *continueStatus);

    DWORD processId_;
    HandleGuard attachedEvent_;
    HandleGuard endedEvent_;
    HandleGuard thread_; // last: it ends first, while the events still exist
    std::atomic<bool> attached_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> armed_{false};
    std::atomic<DWORD> watchedThread_{0};
    std::atomic<double> startedAt_{0};
    std::atomic<double> endedAt_{0};
};
