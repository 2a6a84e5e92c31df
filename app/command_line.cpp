#include "app/command_line.h"

#include <windows.h>

#include "core/instance_state.h"

namespace {

const char *SkipBlanks(const char *text)
{
    while (*text == ' ')
        text = CharNextA(text);
    return text;
}

} // namespace

const char *ParseCommandLine(const char *commandLine)
{
    if (commandLine == nullptr)
        return nullptr;

    // The program name ends at the first blank, or, when it starts with a quote, at the
    // closing quote: a program path may hold blanks ("C:\Program Files\..."). A quote that
    // is never closed counts for nothing, or the switches would become part of the path.
    const char *cursor = commandLine;
    if (*cursor == '"') {
        cursor = CharNextA(cursor);
        while (*cursor != '\0' && *cursor != '"')
            cursor = CharNextA(cursor);
        cursor = *cursor == '"' ? CharNextA(cursor) : commandLine;
    }
    while (*cursor != '\0' && *cursor != ' ')
        cursor = CharNextA(cursor);
    cursor = SkipBlanks(cursor);

    while (*cursor == '/') {
        cursor = CharNextA(cursor);
        if (*cursor == 'Q' || *cursor == 'q')
            g_checkOnly = true;
        if (*cursor != '\0')
            cursor = CharNextA(cursor);
        cursor = SkipBlanks(cursor);
    }
    return cursor;
}
