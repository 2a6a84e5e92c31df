// The floor programs, driven from here: the bare window, the bare start-up and the
// bare file loop (see their own sources in bench/).
#pragma once

#include <windows.h>

#include <string>

#include "child_process.h"

// A running bench_bare_window.exe, answering 1137 like the service's main window.
class BareWindow {
public:
    BareWindow() = default;
    ~BareWindow();
    BareWindow(const BareWindow &) = delete;
    BareWindow &operator=(const BareWindow &) = delete;

    bool Start();
    HWND Window() const { return window_; }
    HANDLE Process() const { return process_.Handle(); }
    DWORD ProcessId() const { return process_.Id(); }
    const std::string &Name() const { return name_; }
    void Stop();

private:
    std::string name_;
    ChildProcess process_;
    HWND window_ = nullptr;
};

enum class BareStartup {
    kPlain,         // a hidden window and the named event
    kLibrary,       // and the library bound and registered, timed by the program itself
    kDesign,        // and the design's other start-up steps
    kDesignLibrary, // both
};

// A bench_bare_startup.exe started with --wait: it stays in its message loop, idle, until
// it is ended with the object.
class BareProgram {
public:
    bool Start(BareStartup kind) { return TimeStart(kind) >= 0; }
    // Starts it and answers the time from before process creation until its event was
    // seen, in microseconds; negative on failure.
    double TimeStart(BareStartup kind);
    HANDLE Process() const { return process_.Handle(); }
    DWORD Id() const { return process_.Id(); }
    const std::string &Name() const { return name_; }

private:
    std::string name_;
    ChildProcess process_;
};

// Starts bench_bare_startup.exe and answers the time from before process creation
// until its event was seen, in microseconds; negative on failure. Waits for its end.
// With the library, *libraryMicroseconds receives the program's own time for binding
// and registering.
double TimeBareStartup(BareStartup kind, double *libraryMicroseconds = nullptr);

// Runs bench_bare_file_loop.exe once over the file (a name in the system directory)
// and answers the loop's own time in microseconds; negative on failure.
double TimeBareFileLoop(const std::string &fileName, const std::string &scratchDirectory);
