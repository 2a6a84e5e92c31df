// The help texts: general, per command, and the exit codes.
#pragma once

#include <string>

#include "command_table.h"

// "usage: qelctl PRINTER status ...", or "usage: qelctl list ..." for the commands that
// do not take the printer first.
std::string UsageLine(const CommandEntry &command);
void PrintGeneralHelp();
void PrintCommandHelp(const CommandEntry &command);
void PrintExitCodes();
