#include "core/log.h"

#include <cstdarg>
#include <cstring>

#include "core/platform.h"

namespace {

constexpr size_t kPrefixLength = sizeof(kLogPrefix) - 1;
// wvsprintfA never writes more than 1024 bytes, so the text is formatted on its own
// and then cut to the room left after the prefix.
constexpr size_t kFormatBufferSize = 1024;

void CutToFit(char *text, size_t room)
{
    if (std::strlen(text) < room)
        return;
    // Keep the line a line: a cut text still ends with its line feed.
    text[room - 2] = '\n';
    text[room - 1] = '\0';
}

} // namespace

void LogError(const char *format, ...)
{
    char text[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    wvsprintfA(text, format, args);
    va_end(args);
    text[kFormatBufferSize - 1] = '\0';

    char line[kLogLineSize];
    std::memcpy(line, kLogPrefix, kPrefixLength);
    CutToFit(text, kLogLineSize - kPrefixLength);
    std::strcpy(line + kPrefixLength, text);
    g_platform.OutputDebugStringA(line);
    TraceLine(0, line + kPrefixLength);
}
