// The simulated printer's settings: section [sim] of an INI file that tests rewrite
// while the library is loaded.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_files.h"
#include "sim/sim_lock.h"

namespace qrmtov_sim {

constexpr char kDefaultDeviceId[] = "MFG:Qel;CMD:QPL;MDL:Virtual Printer;CLS:PRINTER;";

struct SimConfig {
    // Differs between two loads, so counters tied to one version of the file can restart.
    unsigned long long loadId = 0;

    std::map<std::string, DWORD> failCodes; // lower-case entry point name -> code
    std::map<std::string, DWORD> delaysMs;  // lower-case entry point name -> ms

    WORD registerAnswer = 1;
    DWORD pingAnswer = 0;
    WORD printerHandle = 5;
    BYTE printerFlags = 1;
    DWORD enumMask = 0x10;
    DWORD enumRecords = 1;
    DWORD statusState = 0;
    std::vector<DWORD> statusSequence;
    std::string deviceId = kDefaultDeviceId;
    std::optional<DWORD> deviceIdLength;
    std::optional<std::string> bidiReply;
    std::optional<DWORD> bidiReplyLength;
    std::string alertData = std::string("\x11\x22\x33", 3);
    std::optional<DWORD> writeMax;
    std::optional<DWORD> postStatusAfterEndDoc;

    // As written in the file; the environment may override them (see Resolve*Path).
    std::string capturePath;
    std::string callLogPath;
    std::string storePath;

    std::optional<DWORD> FailCodeFor(const char *entryPoint) const;
    DWORD DelayFor(const char *entryPoint) const;
};

SimConfig ParseConfig(const std::string &iniText);

std::string ResolveConfigPath();
std::string ResolveCallLogPath(const SimConfig &config);
std::string ResolveCapturePath(const SimConfig &config);
std::string ResolveStorePath(const SimConfig &config);

// Holds the parsed settings and re-reads the file when its time or size changes.
class ConfigCache {
public:
    std::shared_ptr<const SimConfig> Current();

private:
    void Reload(const std::string &path, const std::optional<FileStamp> &stamp);

    CriticalSection lock_;
    bool loaded_ = false;
    std::string path_;
    std::optional<FileStamp> stamp_;
    std::shared_ptr<const SimConfig> config_;
    unsigned long long nextLoadId_ = 1;
};

} // namespace qrmtov_sim
