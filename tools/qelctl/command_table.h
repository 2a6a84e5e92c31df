// Every command: its name, how it is called, what it does, which options it takes and
// the function that runs it.
#pragma once

#include <windows.h>

#include "command_support.h"

struct CommandSpec {
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

const CommandSpec *FindCommand(const std::string &name);
const CommandSpec *CommandsBegin();
const CommandSpec *CommandsEnd();
bool AcceptsOption(const CommandSpec &command, const std::string &option);
