// The help texts: general, per command, and the exit codes.
#pragma once

#include "command_table.h"

void PrintGeneralHelp();
void PrintCommandHelp(const CommandEntry &command);
void PrintExitCodes();
