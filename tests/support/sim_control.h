// Test-side control of the simulated communication library (QRMTOV.DLL): a private
// settings file, call log, capture file and data store per test, plus readers for them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// One line of the simulated library's call log.
struct SimCall {
    std::string name;
    std::vector<std::string> args;
};

// "TovWrite(1, 5, 0, ...)", for assertion messages.
std::string FormatCall(const SimCall &call);
// Lower-case hex without separators, as the call log writes byte data.
std::string ToHex(const void *data, size_t size);
// The bytes of a hex string; blanks are skipped, reading stops at anything else.
std::string FromHex(const std::string &hex);

// A fresh temporary folder with sim.ini, calls.log, capture.bin and store.ini; removed
// again on destruction. Point the library at it with ApplyToThisProcess() (in-process)
// or EnvironmentBlock() (for a child started with CreateProcessA).
class SimPrinter {
public:
    SimPrinter();
    ~SimPrinter();
    SimPrinter(const SimPrinter &) = delete;
    SimPrinter &operator=(const SimPrinter &) = delete;

    // Changes one key of section [sim]; a loaded library sees it on its next call.
    void Set(const std::string &key, const std::string &value);
    void Clear(const std::string &key);

    std::vector<SimCall> Calls() const;
    std::vector<SimCall> CallsNamed(const std::string &name) const;
    std::vector<std::string> CallNames() const;
    std::string CaptureBytes() const;
    void ResetCalls();

    std::string ConfigPath() const;
    std::string LogPath() const;
    std::string CapturePath() const;
    std::string StorePath() const;

    // The library started from here on keeps no call log and no capture file: the block
    // and ApplyToThisProcess leave their two variables out, so it skips those writes
    // altogether (for timing the service rather than the simulator's records).
    void DropRecords() { keepsRecords_ = false; }

    // This process's environment plus the QRMTOV_SIM_* variables, sorted, for CreateProcessA.
    std::vector<char> EnvironmentBlock() const;
    void ApplyToThisProcess() const;

private:
    void WriteSetting(const std::string &key, const char *value);
    void PublishSettings();

    std::string directory_;
    unsigned generation_ = 0;
    ULONGLONG lastPublished_ = 0;
    bool keepsRecords_ = true;
};

// Polls the call log until `count` calls named `name` were recorded; false on timeout.
bool WaitForCall(const SimPrinter &sim, const std::string &name, size_t count, DWORD timeoutMs);
