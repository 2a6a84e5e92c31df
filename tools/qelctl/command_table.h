// Every command: its name, how it is called, what it does, which options it takes and
// the function that runs it.
#pragma once

#include <windows.h>

#include "command_support.h"

struct CommandEntry {
    const char *name;
    const char *usage;   // after "qelctl PRINTER "
    const char *summary; // one line for the general help
    const char *help;    // the rest of "qelctl help COMMAND"
    const char *options; // the options it accepts besides the global ones, blank-separated
    int minArgs;
    int maxArgs;
    DWORD answerTimeoutMs; // how long to wait for the instance's answer to one message
    CommandHandler handler;
};

const CommandEntry *FindCommand(const std::string &name);
const CommandEntry *CommandsBegin();
const CommandEntry *CommandsEnd();
bool AcceptsOption(const CommandEntry &command, const std::string &option);
