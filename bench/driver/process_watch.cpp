#include "process_watch.h"

#include <cstdio>
#include <cstdlib>

#include "support/test_files.h"

namespace {

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

// Calls `visit` with each numeric entry of a folder of /proc.
template <typename Visit>
void ForEachNumberIn(const std::string &folder, Visit visit)
{
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (IsNumber(entry.cFileName))
            visit(std::string(entry.cFileName));
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

} // namespace

unsigned long FindUnixProcessId(const std::string &commandLineText)
{
    unsigned long found = 0;
    ForEachNumberIn("Z:\\proc", [&](const std::string &pid) {
        std::string commandLine = ReadWholeFile("Z:\\proc\\" + pid + "\\cmdline");
        for (char &c : commandLine)
            c = c == '\0' ? ' ' : c;
        // The terminator became a blank: "name 1" does not match "name 12".
        if (commandLine.find(commandLineText + " ") != std::string::npos)
            found = std::strtoul(pid.c_str(), nullptr, 10);
    });
    return found;
}

bool ReadProcessRuns(unsigned long unixPid, ProcessRuns *runs)
{
    runs->clear();
    const std::string tasks = "Z:\\proc\\" + std::to_string(unixPid) + "\\task";
    ForEachNumberIn(tasks, [&](const std::string &tid) {
        ThreadRuns thread;
        // schedstat: time on a CPU (ns), time waiting for one (ns), times run.
        if (std::sscanf(ReadWholeFile(tasks + "\\" + tid + "\\schedstat").c_str(), "%llu %*s %llu", &thread.runNs,
                        &thread.runs) == 2)
            (*runs)[std::strtoul(tid.c_str(), nullptr, 10)] = thread;
    });
    return !runs->empty();
}

Activity ActivityBetween(const ProcessRuns &before, const ProcessRuns &after)
{
    Activity activity;
    unsigned long long runNs = 0;
    for (const auto &thread : after) {
        const auto earlier = before.find(thread.first);
        const ThreadRuns start = earlier != before.end() ? earlier->second : ThreadRuns();
        activity.wakeUps += static_cast<long long>(thread.second.runs - start.runs) + (earlier == before.end() ? 1 : 0);
        runNs += thread.second.runNs - start.runNs;
    }
    for (const auto &thread : before)
        activity.wakeUps += after.count(thread.first) == 0 ? 1 : 0;
    activity.cpuMs = static_cast<double>(runNs) / 1e6;
    return activity;
}
