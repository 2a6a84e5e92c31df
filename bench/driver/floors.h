// The floor programs of bench/, driven from here: the bare window, the bare program with
// the design's steps and the bare file loop. Each runs with the environment it is given,
// so that it loads the simulated library with the same settings as the instance it is
// compared with.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/owned.h"
#include "qelapp32/qelclient.h"

// A floor program started from the build's bin folder; terminated if it still runs when
// the object goes.
class FloorProcess {
public:
    FloorProcess() = default;
    ~FloorProcess();
    FloorProcess(const FloorProcess &) = delete;
    FloorProcess &operator=(const FloorProcess &) = delete;

    // Starts it and waits for it to signal a named event of this name (or to end);
    // microseconds from before process creation until the event was seen, negative on failure.
    double StartAndWait(const char *program, const std::string &eventName, const std::string &moreArguments,
                        const std::vector<char> &environment);
    bool Start(const char *program, const std::string &arguments, const std::vector<char> &environment);
    // The exit code, or STILL_ACTIVE when it has not ended within the time.
    DWORD WaitForExitCode(DWORD timeoutMs);

    HANDLE Handle() const { return process_.Get(); }
    DWORD Id() const { return id_; }

private:
    HandleGuard process_;
    DWORD id_ = 0;
};

// bench_bare_window.exe: a hidden top-level window that answers 1137, and 1128 with the
// design's hand-off to a worker thread that makes one library call. It is asked through
// the client library's own calls, window only, so that it pays what the instance pays.
class BareWindow {
public:
    bool Start(const std::vector<char> &environment);
    const QelInstance *Client() const { return &client_; }

private:
    FloorProcess process_;
    QelInstance client_{};
};

// bench_bare_startup.exe, which takes the design's start-up steps with nothing around
// them. Timed until its event; with `stay` it then idles until it is ended with the object.
class BareProgram {
public:
    double TimeStart(bool stay, const std::vector<char> &environment);
    const FloorProcess &Process() const { return process_; }
    const std::string &Name() const { return name_; }

private:
    FloorProcess process_;
    std::string name_;
};

// bench_bare_file_loop.exe over a file in the system directory: the loop's own time in
// microseconds, negative on failure.
double TimeBareFileLoop(const std::string &fileName, const std::vector<char> &environment);
