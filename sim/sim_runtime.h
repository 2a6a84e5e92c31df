// State the simulated library keeps between calls, and the files it writes.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/sim_config.h"
#include "sim/sim_lock.h"

namespace qrmtov_sim {

// What the caller told the printer about its alert window, and where a status
// sequence has got to.
class PrinterState {
public:
    void RememberRegisteredWindow(HWND window);
    void RememberCapture(HWND window);
    void ForgetCapture();
    // The window to notify, only while alerts are captured.
    std::optional<HWND> CapturedWindow();
    // Consumes the next value of status_sequence, else answers status_state.
    DWORD NextStatusState(const SimConfig &config);

private:
    CriticalSection lock_;
    HWND registeredWindow_ = nullptr;
    HWND capturedWindow_ = nullptr;
    bool captured_ = false;
    unsigned long long sequenceLoadId_ = 0;
    size_t sequencePosition_ = 0;
};

// One line per call: the name, then each field, separated by tabs.
void WriteCallLine(const std::string &logPath, const char *entryPoint, const std::vector<std::string> &fields);
void AppendCapture(const std::string &capturePath, const void *data, DWORD size);

// Items kept per printer name, as hex, in an INI file that outlives the process.
bool StoreItem(const std::string &storePath, const std::string &printerName, const std::string &itemName,
               const std::string &bytes);
std::optional<std::string> RetrieveItem(const std::string &storePath, const std::string &printerName,
                                        const std::string &itemName);

ConfigCache &SharedConfig();
PrinterState &SharedState();

} // namespace qrmtov_sim
