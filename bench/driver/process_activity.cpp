#include "process_activity.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string ReadSmallFile(const std::string &path)
{
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof(buffer), &got, nullptr))
        got = 0;
    CloseHandle(file);
    return std::string(buffer, got);
}

bool IsNumber(const char *text)
{
    if (*text == '\0')
        return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}

} // namespace

unsigned long FindUnixProcessId(const std::string &commandLineText)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    unsigned long found = 0;
    do {
        if (!IsNumber(entry.cFileName))
            continue;
        std::string commandLine = ReadSmallFile(std::string("Z:\\proc\\") + entry.cFileName + "\\cmdline");
        for (char &c : commandLine) {
            if (c == '\0')
                c = ' ';
        }
        // The terminator became a blank: "name 1" does not match "name 12".
        if (commandLine.find(commandLineText + " ") != std::string::npos)
            found = std::strtoul(entry.cFileName, nullptr, 10);
    } while (found == 0 && FindNextFileA(find, &entry));
    FindClose(find);
    return found;
}

bool ReadProcessActivity(unsigned long unixPid, ProcessActivity *activity)
{
    activity->clear();
    char taskDirectory[64];
    std::snprintf(taskDirectory, sizeof(taskDirectory), "Z:\\proc\\%lu\\task", unixPid);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((std::string(taskDirectory) + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (!IsNumber(entry.cFileName))
            continue;
        const std::string task = std::string(taskDirectory) + "\\" + entry.cFileName;
        // schedstat: time on a CPU (ns), time waiting for one (ns), times run.
        const std::string schedstat = ReadSmallFile(task + "\\schedstat");
        ThreadActivity thread;
        if (std::sscanf(schedstat.c_str(), "%llu %*s %llu", &thread.runNs, &thread.runs) != 2)
            continue;
        thread.name = ReadSmallFile(task + "\\comm");
        while (!thread.name.empty() && (thread.name.back() == '\n' || thread.name.back() == '\0'))
            thread.name.pop_back();
        (*activity)[std::strtoul(entry.cFileName, nullptr, 10)] = thread;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return !activity->empty();
}

long long ReadProcessTicks(unsigned long unixPid)
{
    char path[64];
    std::snprintf(path, sizeof(path), "Z:\\proc\\%lu\\stat", unixPid);
    const std::string stat = ReadSmallFile(path);
    // The name in parentheses may hold blanks; the fields are counted after it.
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return -1;
    unsigned long long userTicks = 0;
    unsigned long long systemTicks = 0;
    // Fields 3 to 13 are skipped, 14 and 15 are the user and system times.
    if (std::sscanf(stat.c_str() + nameEnd + 1, " %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu %llu", &userTicks,
                    &systemTicks) != 2)
        return -1;
    return static_cast<long long>(userTicks + systemTicks);
}
