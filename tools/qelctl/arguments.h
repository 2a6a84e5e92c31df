// The command line: qelctl [options] PRINTER COMMAND [args] [options]. Options may
// stand anywhere; "--" ends them.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct Invocation {
    std::vector<std::string> positionals;                     // PRINTER, COMMAND, then the command's own arguments
    std::vector<std::pair<std::string, std::string>> options; // name with "--", value ("" for a flag)
};

// Fails only for an option that needs a value and has none.
bool ParseInvocation(int argc, char **argv, Invocation *invocation, std::string *error);

bool HasOption(const Invocation &invocation, const char *name);
// The last value given for the option, or nullptr.
const std::string *OptionValue(const Invocation &invocation, const char *name);

// Decimal, or hexadecimal with 0x; the whole text must be the number.
bool ParseNumber(const std::string &text, DWORD *value);
