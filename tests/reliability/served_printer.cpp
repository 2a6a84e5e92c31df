#include "served_printer.h"

#include <cstdio>

#include "qelapp32/client.h"

ServedPrinter::ServedPrinter(const std::string &tag, const std::string &port)
    : key_(UniquePrinterName(tag), port), process_(new ServiceProcess)
{
}

ServedPrinter::~ServedPrinter()
{
    process_->Kill();
}

std::string ServedPrinter::EventName(const char *format) const
{
    char name[300];
    std::snprintf(name, sizeof(name), format, Name().c_str());
    return name;
}

bool ServedPrinter::Start(DWORD timeoutMs)
{
    process_.reset(new ServiceProcess);
    window_ = nullptr;
    // The client's side of the handshake: the event exists before the instance sets it.
    HANDLE initEvent = CreateEventA(nullptr, FALSE, FALSE, EventName(QEL_EVENT_INIT_FORMAT).c_str());
    if (!process_->Start(Name(), sim_.EnvironmentBlock())) {
        CloseHandle(initEvent);
        return false;
    }
    const HANDLE waitFor[] = {initEvent, process_->Process()};
    const DWORD result = WaitForMultipleObjects(2, waitFor, FALSE, timeoutMs);
    CloseHandle(initEvent);
    if (result != WAIT_OBJECT_0)
        return false;
    window_ = QelFindInstanceWindow(Name().c_str());
    return window_ != nullptr;
}

LRESULT ServedPrinter::Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window_, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &answer))
        return static_cast<LRESULT>(0xBADBAD);
    return static_cast<LRESULT>(answer);
}

bool ServedPrinter::EndJob(LRESULT *answer, ULONGLONG *elapsedMs)
{
    HANDLE nextJob = CreateEventA(nullptr, FALSE, FALSE, EventName(QEL_EVENT_NEXT_JOB_FORMAT).c_str());
    const ULONGLONG started = GetTickCount64();
    const LRESULT result = Send(WM_QELAPP32_ENDJOB, 1, MAKELPARAM(0, 5));
    const DWORD signalled = WaitForSingleObject(nextJob, 10000);
    if (elapsedMs != nullptr)
        *elapsedMs = GetTickCount64() - started;
    CloseHandle(nextJob);
    if (answer != nullptr)
        *answer = result;
    return signalled == WAIT_OBJECT_0 && process_->WaitForExit(10000);
}
