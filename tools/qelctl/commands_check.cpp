// check: why an instance does not start or does not serve, as a support engineer reads
// it: one line per point, OK, WARN or FAIL, and what to do. The component rows are the
// service's own table (maintenance/component_table.h).
#include "commands.h"

#include <cstdio>
#include <vector>

#include "core/owned.h"
#include "exit_codes.h"
#include "maintenance/component_table.h"
#include "port_kind.h"
#include "printer_values.h"
#include "qelapp32/client.h"
#include "service_program.h"
#include "tovlib/tov_abi.h"

namespace {

constexpr char kLibraryName[] = "QRMTOV.DLL";
// The service's own bound: a longer system directory fails its component check.
constexpr UINT kSystemDirectoryRoom = 250;
constexpr char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingRenamesValue[] = "PendingFileRenameOperations";

enum class Verdict { Ok, Warn, Fail };

struct Point {
    std::string name;
    Verdict verdict;
    std::string finding;
    std::string todo;
};

const char *VerdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Ok: return "OK";
    case Verdict::Warn: return "WARN";
    case Verdict::Fail: break;
    }
    return "FAIL";
}

class Diagnosis {
public:
    explicit Diagnosis(CommandContext &context) : context_(context) {}

    void Ok(const std::string &name, const std::string &finding) { Add({name, Verdict::Ok, finding, ""}); }
    void Warn(const std::string &name, const std::string &finding, const std::string &todo)
    {
        Add({name, Verdict::Warn, finding, todo});
    }
    void Fail(const std::string &name, const std::string &finding, const std::string &todo)
    {
        Add({name, Verdict::Fail, finding, todo});
    }

    int Finish()
    {
        int fails = 0;
        int warnings = 0;
        JsonArray points;
        for (const Point &point : points_) {
            fails += point.verdict == Verdict::Fail;
            warnings += point.verdict == Verdict::Warn;
            JsonObject object;
            object.Add("point", point.name);
            object.Add("result", VerdictWord(point.verdict));
            object.Add("finding", point.finding);
            if (!point.todo.empty())
                object.Add("todo", point.todo);
            points.AddRaw(object.Text());
        }
        context_.out.Fields().AddRaw("points", points.Text());
        context_.out.Fields().AddSigned("fails", fails);
        context_.out.Fields().AddSigned("warnings", warnings);
        context_.out.Line("check: " + std::to_string(fails) + " FAIL, " + std::to_string(warnings) + " WARN");
        if (fails != 0)
            return context_.out.Fail(kExitCheckFailed, std::to_string(fails) + " point(s) failed");
        return kExitOk;
    }

private:
    void Add(const Point &point)
    {
        char head[64];
        std::snprintf(head, sizeof(head), "%-4s  %-24s ", VerdictWord(point.verdict), point.name.c_str());
        context_.out.Line(head + point.finding + (point.todo.empty() ? "" : " -> " + point.todo));
        points_.push_back(point);
    }

    CommandContext &context_;
    std::vector<Point> points_;
};

std::string Lower(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string BaseName(const std::string &path)
{
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string WindowsError(DWORD error)
{
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, sizeof(text), nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return "error " + std::to_string(error) + (message.empty() ? "" : ": " + message);
}

// --- the printer's registry ------------------------------------------------------

void CheckPrinterRegistry(Diagnosis &diagnosis, const std::string &printer)
{
    const std::string key = "HKLM\\" + PrinterKeyPath(printer);
    if (!PrinterKeyExists(printer)) {
        diagnosis.Fail("printer key", "no key " + key,
                       "install the printer, or give its name exactly as qelctl list shows it");
        return;
    }
    diagnosis.Ok("printer key", key);

    const std::optional<std::string> port = ReadPrinterString(printer, QEL_VALUE_PORT);
    if (!port) {
        diagnosis.Fail("Port",
                       "the printer's key has no \"Port\" value: the instance cannot look its printer up, and "
                       "every request that needs the printer fails",
                       "give the printer a port in its properties");
    } else if (port->empty()) {
        diagnosis.Fail("Port", "\"Port\" is empty: the instance cannot look its printer up",
                       "give the printer a port in its properties");
    } else {
        const char *kind = ClassifyPort(*port);
        const std::optional<DWORD> nonBidi = ReadDriverDword(printer, QEL_VALUE_NON_BIDI);
        if (kind == kPortOther && nonBidi && *nonBidi != 0)
            diagnosis.Warn("Port",
                           *port + " (" + kind +
                               "), with \"NON BIDI MODE\" set: the library does not look "
                               "the printer up, so 1124 and status refreshes fail by design",
                           "remove \"NON BIDI MODE\" from PrinterDriverData if the printer talks back");
        else
            diagnosis.Ok("Port", *port + " (" + kind + ")");
    }

    if (DriverDataKeyExists(printer))
        diagnosis.Ok("PrinterDriverData", "HKLM\\" + DriverDataKeyPath(printer));
    else
        diagnosis.Warn("PrinterDriverData",
                       "missing: the first instance creates it, as a volatile key whose values "
                       "are gone after Windows restarts",
                       "nothing, unless values such as \"NON BIDI MODE\" should last: then create the key");
}

// --- the service program and its library ------------------------------------------

void CheckServiceProgram(Diagnosis &diagnosis, const ServiceProgram &program)
{
    if (!program.exists)
        diagnosis.Fail("service program", "no " + std::string(kServiceProgramName) + " at " + program.path,
                       "install it beside qelctl.exe, or name it with --exe PATH");
    else
        diagnosis.Ok("service program", program.path);
}

// The system directory as the 32-bit service sees it; a 64-bit qelctl finds it under
// another name (SysWOW64).
UINT GetServiceSystemDirectory(char *directory, UINT size)
{
#ifdef _WIN64
    return GetSystemWow64DirectoryA(directory, size);
#else
    return GetSystemDirectoryA(directory, size);
#endif
}

std::string SystemDirectory()
{
    char directory[MAX_PATH];
    const UINT length = GetServiceSystemDirectory(directory, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(directory, length);
}

std::string WindowsDirectory()
{
    char directory[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(directory, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(directory, length);
}

// Where LoadLibraryA("QRMTOV.DLL") in the service would find it: beside the program,
// in the system directory, in the Windows directory, on PATH. (The service's current
// folder, which this check cannot know, comes before PATH.)
std::string FindLibrary(const ServiceProgram &program, std::string *where)
{
    const std::pair<std::string, const char *> places[] = {
        {program.directory, "beside the service program"},
        {SystemDirectory(), "in the system directory"},
        {WindowsDirectory(), "in the Windows directory"},
    };
    for (const auto &place : places) {
        const std::string path = place.first + "\\" + kLibraryName;
        if (!place.first.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            *where = place.second;
            return path;
        }
    }
    // PATH only: left to itself, SearchPathA would look beside qelctl.exe first.
    std::vector<char> searchPath(32767, '\0');
    const DWORD pathLength = GetEnvironmentVariableA("PATH", searchPath.data(), static_cast<DWORD>(searchPath.size()));
    if (pathLength == 0 || pathLength >= searchPath.size())
        return std::string();
    char found[MAX_PATH];
    const DWORD length = SearchPathA(searchPath.data(), kLibraryName, nullptr, MAX_PATH, found, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    *where = "on PATH";
    return std::string(found, length);
}

void CheckLibrary(Diagnosis &diagnosis, const ServiceProgram &program)
{
    const std::string notStarting = "the instance ends at start-up without a log line";
    std::string where;
    const std::string path = FindLibrary(program, &where);
    if (path.empty()) {
        diagnosis.Fail("library",
                       std::string(kLibraryName) + " not found beside " + program.path +
                           ", in the system or Windows directory, or on PATH: " + notStarting,
                       "install the printer software, or put its QRMTOV.DLL beside qelapp32.exe");
        return;
    }
#ifdef _WIN64
    // A 64-bit process cannot load the 32-bit library the service loads.
    diagnosis.Warn("library", path + " (" + where + "), not loaded by the 64-bit qelctl",
                   "run the 32-bit bin\\qelctl.exe check to see it load and its entry points");
    return;
#endif
    // Its dependencies are looked for beside it, as they would be for the service.
    const ModuleGuard module(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (module.Get() == nullptr) {
        diagnosis.Fail("library",
                       path + " (" + where + ") does not load (" + WindowsError(GetLastError()) + "): " + notStarting,
                       "install the printer software again: a library it needs is missing, or it is not a "
                       "32-bit DLL");
        return;
    }
    diagnosis.Ok("library", path + " (" + where + "), loads");

    std::string missing;
    int missingCount = 0;
    for (const char *name : kTovEntryPointNames) {
        if (GetProcAddress(module.Get(), name) == nullptr) {
            missing += (missing.empty() ? "" : ", ") + std::string(name);
            ++missingCount;
        }
    }
    const int total = static_cast<int>(sizeof(kTovEntryPointNames) / sizeof(kTovEntryPointNames[0]));
    if (missingCount == 0)
        diagnosis.Ok("entry points", "all " + std::to_string(total));
    else
        diagnosis.Fail("entry points",
                       std::to_string(missingCount) + " of " + std::to_string(total) + " missing (" + missing +
                           "): " + notStarting,
                       "this QRMTOV.DLL belongs to another release: install the printer software again");
}

// --- the printer software's components ----------------------------------------------

struct FileVersion {
    bool known = false;
    unsigned short part[4] = {0, 0, 0, 0};
};

FileVersion ReadFileVersion(const std::string &path)
{
    FileVersion version;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return version;
    std::vector<char> block(size);
    VS_FIXEDFILEINFO *info = nullptr;
    UINT infoSize = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&info), &infoSize) || info == nullptr ||
        infoSize < sizeof(VS_FIXEDFILEINFO))
        return version;
    version.known = true;
    version.part[0] = HIWORD(info->dwFileVersionMS);
    version.part[1] = LOWORD(info->dwFileVersionMS);
    version.part[2] = HIWORD(info->dwFileVersionLS);
    version.part[3] = LOWORD(info->dwFileVersionLS);
    return version;
}

// As the service compares: major, then minor; the build and revision never decide.
bool IsRecentEnough(const FileVersion &version, const ComponentRow &row)
{
    return !version.known || version.part[0] > row.requiredMajor ||
           (version.part[0] == row.requiredMajor && version.part[1] >= row.requiredMinor);
}

std::string VersionText(const FileVersion &version)
{
    return std::to_string(version.part[0]) + "." + std::to_string(version.part[1]) + "." +
           std::to_string(version.part[2]) + "." + std::to_string(version.part[3]);
}

std::string RequiredText(const ComponentRow &row)
{
    return std::to_string(row.requiredMajor) + "." + std::to_string(row.requiredMinor);
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CheckComponent(Diagnosis &diagnosis, const std::string &directory, const ComponentRow &row)
{
    const std::string name = row.component + 1; // without its leading separator
    const std::string backupName = row.backup + 1;
    const std::string path = directory + row.component;
    const std::string backup = directory + row.backup;
    const std::string point = "component " + name;
    if (!FileExists(path)) {
        if (FileExists(backup))
            diagnosis.Warn(
                point, "missing from " + directory + "; the next start of an instance restores it from " + backupName,
                "nothing, or copy " + backupName + " to " + name + " yourself");
        else
            diagnosis.Warn(point,
                           "missing from " + directory + ", and so is its backup " + backupName +
                               ": the service starts without it",
                           "install the printer software again if the printer needs it");
        return;
    }
    if (!row.versioned) {
        diagnosis.Ok(point, "present (presence is all the service asks)");
        return;
    }
    const FileVersion version = ReadFileVersion(path);
    if (!version.known) {
        diagnosis.Ok(point, "present, without version information (the service lets it pass)");
        return;
    }
    const std::string required = RequiredText(row) + " or later required";
    if (IsRecentEnough(version, row)) {
        diagnosis.Ok(point, "version " + VersionText(version) + " (" + required + ")");
        return;
    }
    const std::string finding = "version " + VersionText(version) + ", older than the " + RequiredText(row) +
                                " required: every start of an instance stops, schedules the replacement of the "
                                "printer software from its .BAK files and asks to restart Windows";
    if (!FileExists(backup)) {
        diagnosis.Fail(point, finding,
                       backupName + " is missing, so a restart cannot help: install the printer "
                                    "software again");
        return;
    }
    const FileVersion backupVersion = ReadFileVersion(backup);
    if (!IsRecentEnough(backupVersion, row)) {
        diagnosis.Fail(point, finding,
                       backupName + " is version " + VersionText(backupVersion) +
                           " too, so a restart cannot help: install the printer software again");
        return;
    }
    diagnosis.Fail(point, finding,
                   "restart Windows once the replacement is scheduled (a start of the instance or qelapp32.exe /Q "
                   "schedules it; see the replacement line): " +
                       backupName + " then takes its place");
}

bool IsComponentName(const std::string &fileName)
{
    for (const ComponentRow &row : kComponentTable) {
        if (Lower(fileName) == Lower(row.component + 1))
            return true;
    }
    return false;
}

// [Rename] of wininit.ini, as "target=source" entries.
int CountWininitRenames()
{
    std::vector<char> section(32767, '\0');
    const DWORD length =
        GetPrivateProfileSectionA("Rename", section.data(), static_cast<DWORD>(section.size()), "wininit.ini");
    int count = 0;
    for (size_t start = 0; start < length;) {
        const std::string entry(&section[start]);
        start += entry.size() + 1;
        if (IsComponentName(BaseName(entry.substr(0, entry.find('=')))))
            ++count;
    }
    return count;
}

// PendingFileRenameOperations: pairs of source and target ("!\??\C:\...\qrmtov.dll").
int CountRegisteredRenames()
{
    RegistryKeyGuard key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), kPendingRenamesValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        size == 0)
        return 0;
    std::string raw(size, '\0');
    if (RegQueryValueExA(key.Get(), kPendingRenamesValue, nullptr, nullptr, reinterpret_cast<BYTE *>(&raw[0]), &size) !=
        ERROR_SUCCESS)
        return 0;
    raw.resize(size);
    std::vector<std::string> strings;
    for (size_t start = 0; start < raw.size();) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        strings.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    int count = 0;
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (IsComponentName(BaseName(strings[i + 1])))
            ++count;
    }
    return count;
}

void CheckComponents(Diagnosis &diagnosis)
{
    char directory[MAX_PATH];
    const UINT length = GetServiceSystemDirectory(directory, MAX_PATH);
    if (length == 0 || length >= kSystemDirectoryRoom) {
        diagnosis.Fail("system directory",
                       "its path does not fit the service's 250 characters: the component check "
                       "fails and every start stops",
                       "run Windows from a shorter path");
        return;
    }
    for (const ComponentRow &row : kComponentTable)
        CheckComponent(diagnosis, std::string(directory, length), row);

    const int wininit = CountWininitRenames();
    const int registered = CountRegisteredRenames();
    if (wininit == 0 && registered == 0) {
        diagnosis.Ok("replacement at restart", "none pending");
        return;
    }
    diagnosis.Warn("replacement at restart",
                   "the printer software's components are to be replaced when Windows restarts (" +
                       std::to_string(wininit) + " in wininit.ini [Rename], " + std::to_string(registered) +
                       " in PendingFileRenameOperations)",
                   "restart Windows to carry it out");
}

// --- the instance --------------------------------------------------------------------

void CheckInstance(Diagnosis &diagnosis, const std::string &printer, DWORD answerTimeoutMs)
{
    const std::string start = "qelctl start \"" + printer + "\" --wait";
    const PublishedWindow published = ReadPublishedWindow(printer);
    if (published.state != Publication::Window) {
        if (const HWND unpublished = FindInstanceByTitle(printer)) {
            DWORD processId = 0;
            GetWindowThreadProcessId(unpublished, &processId);
            diagnosis.Warn("instance",
                           "process " + std::to_string(processId) + " serves the printer, but " +
                               QEL_VALUE_HWND " does not name its window: clients cannot find it",
                           start + " (it gives way to the running one and publishes it again)");
        } else if (published.state == Publication::Stale) {
            diagnosis.Warn("instance",
                           QEL_VALUE_HWND " is " + Hex32(published.value) +
                               ", which names no instance window: the last instance ended without "
                               "clearing it (a crash, or it was ended by force)",
                           "start it again: " + start);
        } else {
            diagnosis.Warn("instance",
                           std::string("none serves the printer (" QEL_VALUE_HWND " ") +
                               (published.state == Publication::Zero ? "is 0)" : "is not published)"),
                           start);
        }
        return;
    }
    const Instance instance(printer, published.window);
    const DWORD processId = instance.ProcessId();
    DWORD answer = 0;
    if (SendToInstance(instance, WM_QELAPP32_NOOP, 0, 0, answerTimeoutMs, &answer) && answer == 1) {
        diagnosis.Ok("instance",
                     "process " + std::to_string(processId) + " answers 1137 (window " + Hex32(published.value) + ")");
        return;
    }
    diagnosis.Fail("instance",
                   "process " + std::to_string(processId) + " does not answer 1137 within " +
                       std::to_string(answerTimeoutMs) + " ms: it hangs",
                   "end process " + std::to_string(processId) + ", then " + start);
}

} // namespace

int RunCheck(CommandContext &context)
{
    Diagnosis diagnosis(context);
    CheckPrinterRegistry(diagnosis, context.printer);
    ServiceProgram program;
    std::string ignored;
    FindServiceProgram(context.invocation, &program, &ignored);
    CheckServiceProgram(diagnosis, program);
    CheckLibrary(diagnosis, program);
    CheckComponents(diagnosis);
    CheckInstance(diagnosis, context.printer, context.answerTimeoutMs);
    return diagnosis.Finish();
}
