#include "sim/sim_runtime.h"

#include "sim/sim_files.h"
#include "sim/sim_ini.h"
#include "sim/sim_text.h"

namespace qrmtov_sim {
namespace {

// Each file has its own lock: a slow store write must not hold up the call log.
CriticalSection &LogLock()
{
    static CriticalSection lock;
    return lock;
}

CriticalSection &CaptureLock()
{
    static CriticalSection lock;
    return lock;
}

CriticalSection &StoreLock()
{
    static CriticalSection lock;
    return lock;
}

std::string FormatCallLine(const char *entryPoint, const std::vector<std::string> &fields)
{
    std::string line = entryPoint;
    for (const std::string &field : fields)
        line += "\t" + field;
    return line + "\n";
}

IniDocument ReadStore(const std::string &storePath)
{
    const std::optional<std::string> text = ReadWholeFile(storePath);
    return IniDocument::Parse(text ? *text : std::string());
}

} // namespace

void PrinterState::RememberRegisteredWindow(HWND window)
{
    const CriticalSectionLock guard = Lock(lock_);
    registeredWindow_ = window;
}

void PrinterState::RememberCapture(HWND window)
{
    const CriticalSectionLock guard = Lock(lock_);
    capturedWindow_ = window != nullptr ? window : registeredWindow_;
    captured_ = true;
}

void PrinterState::ForgetCapture()
{
    const CriticalSectionLock guard = Lock(lock_);
    captured_ = false;
}

std::optional<HWND> PrinterState::CapturedWindow()
{
    const CriticalSectionLock guard = Lock(lock_);
    if (!captured_)
        return std::nullopt;
    return capturedWindow_;
}

DWORD PrinterState::NextStatusState(const SimConfig &config)
{
    const CriticalSectionLock guard = Lock(lock_);
    // A rewritten settings file starts its sequence from the beginning.
    if (sequenceLoadId_ != config.loadId) {
        sequenceLoadId_ = config.loadId;
        sequencePosition_ = 0;
    }
    if (sequencePosition_ < config.statusSequence.size())
        return config.statusSequence[sequencePosition_++];
    return config.statusState;
}

void WriteCallLine(const std::string &logPath, const char *entryPoint, const std::vector<std::string> &fields)
{
    if (logPath.empty())
        return;
    const std::string line = FormatCallLine(entryPoint, fields);
    const CriticalSectionLock guard = Lock(LogLock());
    AppendToFile(logPath, line);
}

void AppendCapture(const std::string &capturePath, const void *data, DWORD size)
{
    if (capturePath.empty() || data == nullptr || size == 0)
        return;
    const CriticalSectionLock guard = Lock(CaptureLock());
    AppendToFile(capturePath, std::string(static_cast<const char *>(data), size));
}

bool StoreItem(const std::string &storePath, const std::string &printerName, const std::string &itemName,
               const std::string &bytes)
{
    const CriticalSectionLock guard = Lock(StoreLock());
    IniDocument store = ReadStore(storePath);
    store.SetValue(printerName, itemName, FormatHex(bytes.data(), bytes.size()));
    return ReplaceFileContent(storePath, store.Serialize());
}

std::optional<std::string> RetrieveItem(const std::string &storePath, const std::string &printerName,
                                        const std::string &itemName)
{
    const CriticalSectionLock guard = Lock(StoreLock());
    const IniDocument store = ReadStore(storePath);
    const std::string *hex = store.FindValue(printerName, itemName);
    if (hex == nullptr)
        return std::nullopt;
    return ParseHexBytes(*hex);
}

ConfigCache &SharedConfig()
{
    static ConfigCache cache;
    return cache;
}

PrinterState &SharedState()
{
    static PrinterState state;
    return state;
}

} // namespace qrmtov_sim
