#include "thread_watch.h"
#include "core/owned.h"

#include "bench_clock.h"

namespace {

constexpr DWORD kAttachTimeoutMs = 10000;
constexpr DWORD kEventPollMs = 20;

} // namespace

ThreadWatch::ThreadWatch(DWORD processId)
    : processId_(processId), attachedEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      endedEvent_(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
    DWORD threadId = 0;
    thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, &threadId));
    if (thread_.IsValid())
        WaitForSingleObject(attachedEvent_.Get(), kAttachTimeoutMs);
}

ThreadWatch::~ThreadWatch()
{
    stop_ = true;
    if (thread_.IsValid())
        WaitForSingleObject(thread_.Get(), INFINITE);
}

void ThreadWatch::Arm()
{
    ResetEvent(endedEvent_.Get());
    watchedThread_ = 0;
    armed_ = true;
}

double ThreadWatch::WaitForWatchedThreadEnd(DWORD timeoutMs)
{
    if (WaitForSingleObject(endedEvent_.Get(), timeoutMs) != WAIT_OBJECT_0)
        return -1.0;
    return endedAt_;
}

DWORD WINAPI ThreadWatch::Run(LPVOID self)
{
    static_cast<ThreadWatch *>(self)->Loop();
    return 0;
}

// The debug loop belongs to the thread that attached.
void ThreadWatch::Loop()
{
    if (!DebugActiveProcess(processId_)) {
        SetEvent(attachedEvent_.Get());
        return;
    }
    DebugSetProcessKillOnExit(FALSE);
    while (!stop_) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, kEventPollMs))
            continue;
        DWORD continueStatus = DBG_CONTINUE;
        Handle(event, &continueStatus);
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
    DebugActiveProcessStop(processId_);
}

void ThreadWatch::Handle(const DEBUG_EVENT &event, DWORD *continueStatus)
{
    switch (event.dwDebugEventCode) {
    case CREATE_PROCESS_DEBUG_EVENT:
    case LOAD_DLL_DEBUG_EVENT: CloseDebugEventFile(event); break;
    case EXCEPTION_DEBUG_EVENT:
        // The break-in that ends the attach; any other exception is the process's own.
        if (event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT && !attached_) {
            attached_ = true;
            SetEvent(attachedEvent_.Get());
        } else {
            *continueStatus = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
    case CREATE_THREAD_DEBUG_EVENT:
        if (armed_.exchange(false)) {
            startedAt_ = NowMicroseconds();
            watchedThread_ = event.dwThreadId;
        }
        break;
    case EXIT_THREAD_DEBUG_EVENT:
        if (watchedThread_ != 0 && event.dwThreadId == watchedThread_) {
            endedAt_ = NowMicroseconds();
            watchedThread_ = 0;
            SetEvent(endedEvent_.Get());
        }
        break;
    default: break;
    }
}
