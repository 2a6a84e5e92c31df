// Replaces the platform seams for one test: captures the debugger output, counts the
// design's pauses without sleeping (unless asked to), and answers the message box,
// the restart, the spooler, the redirector and the system directory as the test says.
//
//     PlatformRecorder platform;
//     LogError("x %d\n", 1);
//     EXPECT_EQ(std::vector<std::string>{"QELAPP32: x 1\n"}, platform.Lines());
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/platform.h"

class PlatformRecorder {
public:
    PlatformRecorder();
    ~PlatformRecorder();
    PlatformRecorder(const PlatformRecorder &) = delete;
    PlatformRecorder &operator=(const PlatformRecorder &) = delete;

    static PlatformRecorder &Current();

    std::vector<std::string> Lines() const;
    std::vector<DWORD> Sleeps() const;
    void ClearLines();

    // Behaviour of the seams; defaults are harmless.
    bool realSleep = false;             // true: also sleep for real (threads that must make progress)
    std::function<void(DWORD)> onSleep; // runs at each pause, on the pausing thread
    int messageBoxAnswer = IDNO;
    std::vector<std::string> messageBoxTexts;
    std::vector<UINT> messageBoxStyles;
    std::vector<UINT> exitWindowsFlags;
    std::function<DWORD(LPCSTR, LPSTR, LPDWORD)> netConnection; // empty: ERROR_NOT_CONNECTED
    std::function<UINT(LPSTR, UINT)> systemDirectory;           // empty: the real one
    PlatformApi spooler{}; // OpenPrinterA, EnumJobsA, SetJobA, ClosePrinter used when set

    void RecordLine(const char *text);
    void RecordSleep(DWORD milliseconds);

    mutable std::mutex mutex;

private:
    PlatformApi saved_;
    std::vector<std::string> lines_;
    std::vector<DWORD> sleeps_;
};
