#include "platform_recorder.h"

#include <winnetwk.h>

namespace {

PlatformRecorder *g_recorder = nullptr;

void WINAPI RecordOutput(LPCSTR text)
{
    g_recorder->RecordLine(text);
}

void WINAPI RecordSleep(DWORD milliseconds)
{
    g_recorder->RecordSleep(milliseconds);
}

int WINAPI AnswerMessageBox(HWND, LPCSTR text, LPCSTR, UINT style)
{
    std::lock_guard<std::mutex> lock(g_recorder->mutex);
    g_recorder->messageBoxTexts.push_back(text);
    g_recorder->messageBoxStyles.push_back(style);
    return g_recorder->messageBoxAnswer;
}

BOOL WINAPI RecordExitWindows(UINT flags, DWORD)
{
    std::lock_guard<std::mutex> lock(g_recorder->mutex);
    g_recorder->exitWindowsFlags.push_back(flags);
    return TRUE;
}

DWORD WINAPI AnswerNetConnection(LPCSTR local, LPSTR remote, LPDWORD length)
{
    if (!g_recorder->netConnection)
        return ERROR_NOT_CONNECTED;
    return g_recorder->netConnection(local, remote, length);
}

UINT WINAPI AnswerSystemDirectory(LPSTR buffer, UINT size)
{
    if (!g_recorder->systemDirectory)
        return GetSystemDirectoryA(buffer, size);
    return g_recorder->systemDirectory(buffer, size);
}

BOOL WINAPI NoPrinter(LPSTR, LPHANDLE, LPPRINTER_DEFAULTSA)
{
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
}

BOOL WINAPI OpenTestPrinter(LPSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults)
{
    if (g_recorder->spooler.OpenPrinterA == nullptr)
        return NoPrinter(name, printer, defaults);
    return g_recorder->spooler.OpenPrinterA(name, printer, defaults);
}

BOOL WINAPI EnumTestJobs(HANDLE printer, DWORD first, DWORD count, DWORD level, LPBYTE jobs, DWORD size, LPDWORD needed,
                         LPDWORD returned)
{
    if (g_recorder->spooler.EnumJobsA == nullptr)
        return FALSE;
    return g_recorder->spooler.EnumJobsA(printer, first, count, level, jobs, size, needed, returned);
}

BOOL WINAPI SetTestJob(HANDLE printer, DWORD job, DWORD level, LPBYTE record, DWORD command)
{
    if (g_recorder->spooler.SetJobA == nullptr)
        return FALSE;
    return g_recorder->spooler.SetJobA(printer, job, level, record, command);
}

BOOL WINAPI CloseTestPrinter(HANDLE printer)
{
    return g_recorder->spooler.ClosePrinter != nullptr ? g_recorder->spooler.ClosePrinter(printer) : TRUE;
}

} // namespace

PlatformRecorder::PlatformRecorder() : saved_(g_platform)
{
    g_recorder = this;
    g_platform.OutputDebugStringA = RecordOutput;
    g_platform.Sleep = ::RecordSleep;
    g_platform.MessageBoxA = AnswerMessageBox;
    g_platform.ExitWindowsEx = RecordExitWindows;
    g_platform.WNetGetConnectionA = AnswerNetConnection;
    g_platform.GetSystemDirectoryA = AnswerSystemDirectory;
    g_platform.OpenPrinterA = OpenTestPrinter;
    g_platform.EnumJobsA = EnumTestJobs;
    g_platform.SetJobA = SetTestJob;
    g_platform.ClosePrinter = CloseTestPrinter;
}

PlatformRecorder::~PlatformRecorder()
{
    g_platform = saved_;
    g_recorder = nullptr;
}

PlatformRecorder &PlatformRecorder::Current()
{
    return *g_recorder;
}

std::vector<std::string> PlatformRecorder::Lines() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return lines_;
}

std::vector<DWORD> PlatformRecorder::Sleeps() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return sleeps_;
}

void PlatformRecorder::ClearLines()
{
    std::lock_guard<std::mutex> lock(mutex);
    lines_.clear();
}

void PlatformRecorder::RecordLine(const char *text)
{
    std::lock_guard<std::mutex> lock(mutex);
    lines_.push_back(text);
}

void PlatformRecorder::RecordSleep(DWORD milliseconds)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        sleeps_.push_back(milliseconds);
    }
    if (onSleep)
        onSleep(milliseconds);
    if (realSleep)
        ::Sleep(milliseconds);
    else
        ::Sleep(0);
}
