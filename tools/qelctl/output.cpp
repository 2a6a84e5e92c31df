#include "output.h"

#include <windows.h>

#include <cstdio>

Output::Output(bool json, const std::string &command, const std::string &printer)
    : json_(json), command_(command), printer_(printer)
{
}

void Output::Line(const std::string &text)
{
    if (json_)
        return;
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Output::Fail(int exitCode, const std::string &message)
{
    std::fprintf(stderr, "qelctl: %s\n", message.c_str());
    std::fflush(stderr);
    if (error_.empty())
        error_ = message;
    return exitCode;
}

int Output::Finish(int exitCode)
{
    if (!json_)
        return exitCode;
    if (!document_.empty()) {
        std::fputs(document_.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return exitCode;
    }
    JsonObject object;
    object.Add("command", command_);
    if (!printer_.empty())
        object.Add("printer", printer_);
    object.AddBool("ok", exitCode == 0);
    object.AddSigned("exitCode", exitCode);
    if (!error_.empty())
        object.Add("error", error_);
    std::string text = object.Text();
    if (!fields_.Empty()) {
        // Merge: the common fields first, then the command's own.
        text.pop_back();
        text += "," + fields_.Text().substr(1);
    }
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return exitCode;
}

std::string FormatTimestamp()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof(text), "%02u:%02u:%02u.%03u", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

std::string FormatSeconds(unsigned long milliseconds)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%lu.%lu s", milliseconds / 1000, (milliseconds % 1000) / 100);
    return text;
}
