#include "process_activity.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string ReadSmallFile(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
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

double ReadProcessCpuMilliseconds(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return -1.0;
    const auto hundredNs = [](const FILETIME &time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(hundredNs(kernel) + hundredNs(user)) / 1e4;
}
