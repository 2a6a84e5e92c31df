// The command line: the program name, optional one-letter switches, the printer name.
#pragma once

// Answers a pointer to the printer name inside the command line (never copied), or
// null only when the command line itself is null. Sets g_checkOnly for /Q or /q.
const char *ParseCommandLine(const char *commandLine);
