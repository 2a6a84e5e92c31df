#include "sim/sim_config.h"

#include "sim/sim_ini.h"
#include "sim/sim_text.h"

namespace qrmtov_sim {
namespace {

constexpr char kSection[] = "sim";
constexpr char kFailPrefix[] = "fail.";
constexpr char kDelayPrefix[] = "delay.";
constexpr char kConfigEnv[] = "QRMTOV_SIM_CONFIG";
constexpr char kLogEnv[] = "QRMTOV_SIM_LOG";
constexpr char kCaptureEnv[] = "QRMTOV_SIM_CAPTURE";
constexpr char kStoreEnv[] = "QRMTOV_SIM_STORE";
constexpr char kDefaultConfigName[] = "qrmtov-sim.ini";
constexpr char kDefaultStoreName[] = "qrmtov-sim-store.ini";

using ApplyFn = void (*)(SimConfig &, const std::string &);

struct KeyHandler {
    const char *key;
    ApplyFn apply;
};

// A value that does not parse leaves the default in place.
template <typename T>
void AssignNumber(T &target, const std::string &value)
{
    if (auto number = ParseNumber(value))
        target = static_cast<T>(*number);
}

template <typename T>
void AssignOptionalNumber(std::optional<T> &target, const std::string &value)
{
    if (auto number = ParseNumber(value))
        target = static_cast<T>(*number);
}

std::vector<DWORD> ParseNumberList(const std::string &value)
{
    std::vector<DWORD> numbers;
    for (const std::string &item : SplitOn(value, ',')) {
        if (auto number = ParseNumber(item))
            numbers.push_back(*number);
    }
    return numbers;
}

constexpr KeyHandler kKeyHandlers[] = {
    {"register_answer", [](SimConfig &c, const std::string &v) { AssignNumber(c.registerAnswer, v); }},
    {"ping_answer", [](SimConfig &c, const std::string &v) { AssignNumber(c.pingAnswer, v); }},
    {"hprinter", [](SimConfig &c, const std::string &v) { AssignNumber(c.printerHandle, v); }},
    {"printer_flags", [](SimConfig &c, const std::string &v) { AssignNumber(c.printerFlags, v); }},
    {"enum_mask", [](SimConfig &c, const std::string &v) { AssignNumber(c.enumMask, v); }},
    {"enum_records", [](SimConfig &c, const std::string &v) { AssignNumber(c.enumRecords, v); }},
    {"status_state", [](SimConfig &c, const std::string &v) { AssignNumber(c.statusState, v); }},
    {"status_sequence", [](SimConfig &c, const std::string &v) { c.statusSequence = ParseNumberList(v); }},
    {"device_id", [](SimConfig &c, const std::string &v) { c.deviceId = v; }},
    {"device_id_length", [](SimConfig &c, const std::string &v) { AssignOptionalNumber(c.deviceIdLength, v); }},
    {"bidi_reply",
     [](SimConfig &c, const std::string &v) {
         if (auto b = ParseHexBytes(v))
             c.bidiReply = *b;
     }},
    {"bidi_reply_length", [](SimConfig &c, const std::string &v) { AssignOptionalNumber(c.bidiReplyLength, v); }},
    {"alert_data",
     [](SimConfig &c, const std::string &v) {
         if (auto b = ParseHexBytes(v))
             c.alertData = *b;
     }},
    {"write_max", [](SimConfig &c, const std::string &v) { AssignOptionalNumber(c.writeMax, v); }},
    {"post_status_after_enddoc",
     [](SimConfig &c, const std::string &v) {
         if (auto n = ParseHexNumber(v))
             c.postStatusAfterEndDoc = *n;
     }},
    {"capture", [](SimConfig &c, const std::string &v) { c.capturePath = v; }},
    {"call_log", [](SimConfig &c, const std::string &v) { c.callLogPath = v; }},
    {"store", [](SimConfig &c, const std::string &v) { c.storePath = v; }},
};

bool StartsWith(const std::string &text, const char *prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// fail.<EntryPoint> and delay.<EntryPoint>; a zero failure code means "do not fail".
bool ApplyPerEntryPointKey(SimConfig &config, const std::string &key, const std::string &value)
{
    const auto number = ParseNumber(value);
    if (StartsWith(key, kFailPrefix)) {
        const std::string entryPoint = key.substr(sizeof(kFailPrefix) - 1);
        if (number && *number != 0)
            config.failCodes[entryPoint] = *number;
        if (number && *number == 0)
            config.failCodes.erase(entryPoint);
        return true;
    }
    if (StartsWith(key, kDelayPrefix)) {
        if (number)
            config.delaysMs[key.substr(sizeof(kDelayPrefix) - 1)] = *number;
        return true;
    }
    return false;
}

void ApplyKey(SimConfig &config, const std::string &key, const std::string &value)
{
    if (ApplyPerEntryPointKey(config, key, value))
        return;
    for (const KeyHandler &handler : kKeyHandlers) {
        if (key == handler.key) {
            handler.apply(config, value);
            return;
        }
    }
}

std::string EnvironmentOr(const char *name, const std::string &fallback)
{
    auto value = ReadEnvironment(name);
    return value && !value->empty() ? *value : fallback;
}

} // namespace

std::optional<DWORD> SimConfig::FailCodeFor(const char *entryPoint) const
{
    const auto found = failCodes.find(LowerAscii(entryPoint));
    if (found == failCodes.end())
        return std::nullopt;
    return found->second;
}

DWORD SimConfig::DelayFor(const char *entryPoint) const
{
    const auto found = delaysMs.find(LowerAscii(entryPoint));
    return found == delaysMs.end() ? 0 : found->second;
}

SimConfig ParseConfig(const std::string &iniText)
{
    SimConfig config;
    const IniDocument document = IniDocument::Parse(iniText);
    const IniSection *section = document.FindSection(kSection);
    if (section == nullptr)
        return config;
    // Keys are applied in file order, first occurrence last so that it wins as in Windows' INI files.
    for (auto entry = section->entries.rbegin(); entry != section->entries.rend(); ++entry) {
        ApplyKey(config, LowerAscii(entry->key), entry->value);
    }
    return config;
}

std::string ResolveConfigPath()
{
    return EnvironmentOr(kConfigEnv, ModuleDirectory() + kDefaultConfigName);
}

std::string ResolveCallLogPath(const SimConfig &config)
{
    return EnvironmentOr(kLogEnv, config.callLogPath);
}

std::string ResolveCapturePath(const SimConfig &config)
{
    return EnvironmentOr(kCaptureEnv, config.capturePath);
}

std::string ResolveStorePath(const SimConfig &config)
{
    const std::string configured = config.storePath.empty() ? ModuleDirectory() + kDefaultStoreName : config.storePath;
    return EnvironmentOr(kStoreEnv, configured);
}

std::shared_ptr<const SimConfig> ConfigCache::Current()
{
    // Looked up on every call: tests point the variable at a fresh file between runs.
    const std::string path = ResolveConfigPath();
    const std::optional<FileStamp> stamp = ReadFileStamp(path);
    const CriticalSectionLock guard = Lock(lock_);
    if (!loaded_ || path != path_ || stamp != stamp_)
        Reload(path, stamp);
    return config_;
}

void ConfigCache::Reload(const std::string &path, const std::optional<FileStamp> &stamp)
{
    std::optional<std::string> text;
    if (stamp) {
        text = ReadWholeFile(path);
        // Present but unreadable for a moment: keep the old settings and try again next call.
        if (!text && loaded_ && path == path_)
            return;
    }
    auto config = std::make_shared<SimConfig>(ParseConfig(text ? *text : std::string()));
    config->loadId = nextLoadId_++;
    config_ = std::move(config);
    path_ = path;
    stamp_ = stamp;
    loaded_ = true;
}

} // namespace qrmtov_sim
