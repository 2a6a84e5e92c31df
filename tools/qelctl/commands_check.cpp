// check: why an instance does not start or does not serve, as a support engineer reads
// it: one line per point, OK, WARN or FAIL, and what to do. The component rows are the
// service's own table (maintenance/component_table.h).
#include <algorithm>
#include <cstdio>

#include "core/owned.h"
#include "maintenance/component_table.h"
#include "qelctl.h"
#include "tovlib/tov_abi.h"

namespace {

constexpr char kLibraryName[] = "QRMTOV.DLL";
// The service's own bound: a longer system directory fails its component check.
constexpr UINT kSystemDirectoryRoom = 250;
constexpr char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenamesValue[] = "PendingFileRenameOperations";
constexpr char kNotStarting[] = "the instance ends at start-up without a log line";

// The points found so far: printed as they are found, and counted for the end.
class Diagnosis {
public:
    explicit Diagnosis(CommandContext &context) : context_(context) {}

    // One point: its verdict (OK, WARN or FAIL), what was found and what to do.
    void Add(const std::string &verdict, const std::string &name, const std::string &finding,
             const std::string &todo = "")
    {
        char head[64];
        std::snprintf(head, sizeof(head), "%-4s  %-24s ", verdict.c_str(), name.c_str());
        context_.out.Line(head + finding + (todo.empty() ? "" : " -> " + todo));
        fails_ += verdict == "FAIL";
        warnings_ += verdict == "WARN";
        JsonObject object;
        object.Add("point", name);
        object.Add("result", verdict);
        object.Add("finding", finding);
        if (!todo.empty())
            object.Add("todo", todo);
        points_.push_back(object.Text());
    }

    int Finish()
    {
        context_.out.Fields().AddRaw("points", JsonArray(points_));
        context_.out.Fields().Add("fails", fails_);
        context_.out.Fields().Add("warnings", warnings_);
        context_.out.Line("check: " + std::to_string(fails_) + " FAIL, " + std::to_string(warnings_) + " WARN");
        if (fails_ != 0)
            Fail(kExitCheckFailed, std::to_string(fails_) + " point(s) failed");
        return kExitOk;
    }

private:
    CommandContext &context_;
    std::vector<std::string> points_; // as JSON
    int fails_ = 0;
    int warnings_ = 0;
};

std::string BaseName(const std::string &path)
{
    return path.substr(path.find_last_of("\\/") + 1); // npos + 1 is 0: the whole path
}

std::string WindowsError(DWORD error)
{
    char text[256] = {};
    std::string message(text, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                             0, text, sizeof(text), nullptr));
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return "error " + std::to_string(error) + (message.empty() ? "" : ": " + message);
}

// The system directory as the 32-bit service sees it (a 64-bit qelctl finds it as SysWOW64).
#ifdef _WIN64
const auto GetServiceSystemDirectory = GetSystemWow64DirectoryA;
#else
const auto GetServiceSystemDirectory = GetSystemDirectoryA;
#endif

// A directory that get answers; empty when its path does not fit room.
std::string Directory(UINT(WINAPI *get)(LPSTR, UINT), UINT room = MAX_PATH)
{
    char directory[MAX_PATH];
    const UINT length = get(directory, MAX_PATH);
    return length == 0 || length >= room ? std::string() : std::string(directory, length);
}

void CheckPrinterRegistry(Diagnosis &diagnosis, const std::string &printer)
{
    const std::string key = "HKLM\\" + PrinterKeyPath(printer);
    if (!KeyExists(PrinterKeyPath(printer)))
        return diagnosis.Add("FAIL", "printer key", "no key " + key,
                             "install the printer, or give its name exactly as qelctl list shows it");
    diagnosis.Add("OK", "printer key", key);

    const std::optional<std::string> port = ReadPrinterString(printer, QEL_VALUE_PORT);
    const char *kind = port ? ClassifyPort(*port) : "";
    if (!port)
        diagnosis.Add("FAIL", "Port",
                      "the printer's key has no \"Port\" value: the instance cannot look its printer up, and "
                      "every request that needs the printer fails",
                      "give the printer a port in its properties");
    else if (port->empty())
        diagnosis.Add("FAIL", "Port", "\"Port\" is empty: the instance cannot look its printer up",
                      "give the printer a port in its properties");
    else if (std::string(kind) == "other" && ReadDriverDword(printer, QEL_VALUE_NON_BIDI).value_or(0) != 0)
        diagnosis.Add("WARN", "Port",
                      *port + " (" + kind +
                          "), with \"NON BIDI MODE\" set: the library does not look the printer up, so 1124 and "
                          "status refreshes fail by design",
                      "remove \"NON BIDI MODE\" from PrinterDriverData if the printer talks back");
    else
        diagnosis.Add("OK", "Port", *port + " (" + kind + ")");

    if (KeyExists(DriverDataKeyPath(printer)))
        diagnosis.Add("OK", "PrinterDriverData", "HKLM\\" + DriverDataKeyPath(printer));
    else
        diagnosis.Add("WARN", "PrinterDriverData",
                      "missing: the first instance creates it, as a volatile key whose values are gone after "
                      "Windows restarts",
                      "nothing, unless values such as \"NON BIDI MODE\" should last: then create the key");
}

// Where LoadLibraryA("QRMTOV.DLL") in the service would find it: beside the program,
// in the system directory, in the Windows directory, on PATH. (The service's current
// folder, which this check cannot know, comes before PATH.)
std::string FindLibrary(const ServiceProgram &program, std::string *where)
{
    const std::pair<std::string, const char *> places[] = {
        {program.directory, "beside the service program"},
        {Directory(GetServiceSystemDirectory), "in the system directory"},
        {Directory(GetWindowsDirectoryA), "in the Windows directory"},
    };
    for (const auto &place : places) {
        *where = place.second;
        if (!place.first.empty() && IsFile(place.first + "\\" + kLibraryName))
            return place.first + "\\" + kLibraryName;
    }
    // PATH only: left to itself, SearchPathA would look beside qelctl.exe first.
    std::vector<char> searchPath(32767, '\0');
    const DWORD pathLength = GetEnvironmentVariableA("PATH", searchPath.data(), static_cast<DWORD>(searchPath.size()));
    char found[MAX_PATH];
    const DWORD length = pathLength == 0 || pathLength >= searchPath.size()
                             ? 0
                             : SearchPathA(searchPath.data(), kLibraryName, nullptr, MAX_PATH, found, nullptr);
    *where = "on PATH";
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(found, length);
}

void CheckLibrary(Diagnosis &diagnosis, const ServiceProgram &program)
{
    std::string where;
    const std::string path = FindLibrary(program, &where);
    if (path.empty())
        return diagnosis.Add("FAIL", "library",
                             std::string(kLibraryName) + " not found beside " + program.path +
                                 ", in the system or Windows directory, or on PATH: " + kNotStarting,
                             "install the printer software, or put its QRMTOV.DLL beside qelapp32.exe");
#ifdef _WIN64
    // A 64-bit process cannot load the 32-bit library the service loads.
    return diagnosis.Add("WARN", "library", path + " (" + where + "), not loaded by the 64-bit qelctl",
                         "run the 32-bit bin\\qelctl.exe check to see it load and its entry points");
#endif
    // Its dependencies are looked for beside it, as they would be for the service.
    const ModuleGuard module(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (module.Get() == nullptr)
        return diagnosis.Add("FAIL", "library",
                             path + " (" + where + ") does not load (" + WindowsError(GetLastError()) +
                                 "): " + kNotStarting,
                             "install the printer software again: a library it needs is missing, or it is not a "
                             "32-bit DLL");
    diagnosis.Add("OK", "library", path + " (" + where + "), loads");

    std::string missing;
    int missingCount = 0;
    for (const char *name : kTovEntryPointNames) {
        if (GetProcAddress(module.Get(), name) == nullptr) {
            missing += (missing.empty() ? "" : ", ") + std::string(name);
            ++missingCount;
        }
    }
    const std::string total = std::to_string(sizeof(kTovEntryPointNames) / sizeof(kTovEntryPointNames[0]));
    if (missingCount == 0)
        diagnosis.Add("OK", "entry points", "all " + total);
    else
        diagnosis.Add("FAIL", "entry points",
                      std::to_string(missingCount) + " of " + total + " missing (" + missing + "): " + kNotStarting,
                      "this QRMTOV.DLL belongs to another release: install the printer software again");
}

// A file's version, major.minor.build.revision; none without version information.
std::optional<std::vector<WORD>> ReadFileVersion(const std::string &path)
{
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    VS_FIXEDFILEINFO *info = nullptr;
    UINT infoSize = 0;
    if (block.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&info), &infoSize) || info == nullptr ||
        infoSize < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    return std::vector<WORD>{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                             HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
}

// As the service compares: major, then minor; the build and revision never decide.
bool IsRecentEnough(const std::optional<std::vector<WORD>> &version, const ComponentRow &row)
{
    return !version || (*version)[0] > row.requiredMajor ||
           ((*version)[0] == row.requiredMajor && (*version)[1] >= row.requiredMinor);
}

std::string VersionText(const std::optional<std::vector<WORD>> &version)
{
    std::string text;
    for (const WORD part : version.value_or(std::vector<WORD>(4, 0)))
        text += (text.empty() ? "" : ".") + std::to_string(part);
    return text;
}

void CheckComponent(Diagnosis &diagnosis, const std::string &directory, const ComponentRow &row)
{
    const std::string name = row.component + 1; // without its leading separator
    const std::string backupName = row.backup + 1;
    const std::string backup = directory + row.backup;
    const std::string point = "component " + name;
    if (!IsFile(directory + row.component) && IsFile(backup))
        return diagnosis.Add("WARN", point,
                             "missing from " + directory + "; the next start of an instance restores it from " +
                                 backupName,
                             "nothing, or copy " + backupName + " to " + name + " yourself");
    if (!IsFile(directory + row.component))
        return diagnosis.Add("WARN", point,
                             "missing from " + directory + ", and so is its backup " + backupName +
                                 ": the service starts without it",
                             "install the printer software again if the printer needs it");
    if (!row.versioned)
        return diagnosis.Add("OK", point, "present (presence is all the service asks)");
    const auto version = ReadFileVersion(directory + row.component);
    const std::string required = std::to_string(row.requiredMajor) + "." + std::to_string(row.requiredMinor);
    if (!version)
        return diagnosis.Add("OK", point, "present, without version information (the service lets it pass)");
    if (IsRecentEnough(version, row))
        return diagnosis.Add("OK", point, "version " + VersionText(version) + " (" + required + " or later required)");
    const std::string finding = "version " + VersionText(version) + ", older than the " + required +
                                " required: every start of an instance stops, schedules the replacement of the "
                                "printer software from its .BAK files and asks to restart Windows";
    const auto backupVersion = ReadFileVersion(backup);
    if (!IsFile(backup))
        diagnosis.Add("FAIL", point, finding,
                      backupName + " is missing, so a restart cannot help: install the printer software again");
    else if (!IsRecentEnough(backupVersion, row))
        diagnosis.Add("FAIL", point, finding,
                      backupName + " is version " + VersionText(backupVersion) +
                          " too, so a restart cannot help: install the printer software again");
    else
        diagnosis.Add("FAIL", point, finding,
                      "restart Windows once the replacement is scheduled (a start of the instance or qelapp32.exe "
                      "/Q schedules it; see the replacement line): " +
                          backupName + " then takes its place");
}

// Whether a rename names one of the components as its target.
bool IsComponentTarget(const std::string &target)
{
    for (const ComponentRow &row : kComponentTable) {
        if (lstrcmpiA(BaseName(target).c_str(), row.component + 1) == 0)
            return true;
    }
    return false;
}

// Strings separated by '\0', as a profile section or a REG_MULTI_SZ holds them.
std::vector<std::string> SplitStrings(const std::string &block)
{
    std::vector<std::string> strings;
    for (size_t start = 0; start < block.size();) {
        const size_t end = std::min(block.find('\0', start), block.size());
        strings.push_back(block.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

// [Rename] of wininit.ini, as "target=source" entries.
int CountWininitRenames()
{
    std::vector<char> section(32767, '\0');
    const DWORD length =
        GetPrivateProfileSectionA("Rename", section.data(), static_cast<DWORD>(section.size()), "wininit.ini");
    int count = 0;
    for (const std::string &entry : SplitStrings(std::string(section.data(), length)))
        count += IsComponentTarget(entry.substr(0, entry.find('=')));
    return count;
}

// PendingFileRenameOperations: pairs of source and target ("!\??\C:\...\qrmtov.dll").
int CountRegisteredRenames()
{
    const std::string raw = ReadRegistryValue(kSessionManagerKey, kPendingRenamesValue).value_or("");
    const std::vector<std::string> strings = SplitStrings(raw);
    int count = 0;
    for (size_t i = 0; i + 1 < strings.size(); i += 2)
        count += IsComponentTarget(strings[i + 1]);
    return count;
}

void CheckComponents(Diagnosis &diagnosis)
{
    const std::string directory = Directory(GetServiceSystemDirectory, kSystemDirectoryRoom);
    if (directory.empty())
        return diagnosis.Add("FAIL", "system directory",
                             "its path does not fit the service's 250 characters: the component check fails and "
                             "every start stops",
                             "run Windows from a shorter path");
    for (const ComponentRow &row : kComponentTable)
        CheckComponent(diagnosis, directory, row);
    const int wininit = CountWininitRenames();
    const int registered = CountRegisteredRenames();
    if (wininit == 0 && registered == 0)
        diagnosis.Add("OK", "replacement at restart", "none pending");
    else
        diagnosis.Add("WARN", "replacement at restart",
                      "the printer software's components are to be replaced when Windows restarts (" +
                          std::to_string(wininit) + " in wininit.ini [Rename], " + std::to_string(registered) +
                          " in PendingFileRenameOperations)",
                      "restart Windows to carry it out");
}

void CheckInstance(Diagnosis &diagnosis, const std::string &printer, DWORD answerTimeoutMs)
{
    const std::string start = "qelctl start \"" + printer + "\" --wait";
    const PublishedWindow published = ReadPublishedWindow(printer);
    const HWND serving = FindServingWindow(printer);
    DWORD processId = 0;
    GetWindowThreadProcessId(serving, &processId);
    const std::string process = "process " + std::to_string(processId);
    if (published.state != Publication::Window && serving != nullptr)
        return diagnosis.Add("WARN", "instance",
                             process + " serves the printer, but " QEL_VALUE_HWND
                                       " does not name its window: clients cannot find it",
                             start + " (it gives way to the running one and publishes it again)");
    if (published.state == Publication::Stale)
        return diagnosis.Add("WARN", "instance",
                             QEL_VALUE_HWND " is " + Hex32(published.value) +
                                 ", which names no instance window: the last instance ended without clearing it (a "
                                 "crash, or it was ended by force)",
                             "start it again: " + start);
    if (published.state != Publication::Window)
        return diagnosis.Add("WARN", "instance",
                             std::string("none serves the printer (" QEL_VALUE_HWND " ") +
                                 (published.state == Publication::Zero ? "is 0)" : "is not published)"),
                             start);
    const Instance instance(printer, published.window);
    if (instance.AnswersNoop(answerTimeoutMs))
        return diagnosis.Add("OK", "instance", process + " answers 1137 (window " + Hex32(published.value) + ")");
    diagnosis.Add("FAIL", "instance",
                  process + " does not answer 1137 within " + std::to_string(answerTimeoutMs) + " ms: it hangs",
                  "end " + process + ", then " + start);
}

} // namespace

int RunCheck(CommandContext &context)
{
    Diagnosis diagnosis(context);
    CheckPrinterRegistry(diagnosis, context.printer);
    const ServiceProgram program = FindServiceProgram(context.invocation);
    if (!program.exists)
        diagnosis.Add("FAIL", "service program", "no " + std::string(kServiceProgramName) + " at " + program.path,
                      "install it beside qelctl.exe, or name it with --exe PATH");
    else
        diagnosis.Add("OK", "service program", program.path);
    CheckLibrary(diagnosis, program);
    CheckComponents(diagnosis);
    CheckInstance(diagnosis, context.printer, context.answerTimeoutMs);
    return diagnosis.Finish();
}
