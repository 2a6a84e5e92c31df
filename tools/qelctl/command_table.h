// Every command: its name, how it is called, what it does, which options it takes and
// the function that runs it.
#pragma once

#include <windows.h>

#include "command_support.h"

// Where the printer stands on the command line. The commands about one instance take
// it first (qelctl PRINTER status); those that look at the machine or start an instance
// take it after their name (qelctl list, qelctl start PRINTER), or first as well.
enum class Syntax {
    PrinterFirst, // qelctl PRINTER COMMAND
    PrinterAfter, // qelctl COMMAND PRINTER, or qelctl PRINTER COMMAND
    NoPrinter,    // qelctl COMMAND
};

struct CommandEntry {
    const char *name;
    const char *usage;   // after "qelctl PRINTER " (PrinterFirst) or "qelctl " (the others)
    const char *summary; // one line for the general help
    const char *help;    // the rest of "qelctl help COMMAND"
    const char *options; // the options it accepts besides the global ones, blank-separated
    int minArgs;
    int maxArgs;
    DWORD answerTimeoutMs; // how long to wait for the instance's answer to one message
    CommandHandler handler;
    Syntax syntax = Syntax::PrinterFirst;
};

const CommandEntry *FindCommand(const std::string &name);
const CommandEntry *CommandsBegin();
const CommandEntry *CommandsEnd();
bool AcceptsOption(const CommandEntry &command, const std::string &option);
