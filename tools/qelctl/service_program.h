// The service program that start runs and check examines: the qelapp32.exe beside
// qelctl.exe (for the 64-bit qelctl in bin64\, the one in bin\ beside it), or the one
// named with --exe.
#pragma once

#include <string>

#include "arguments.h"

struct ServiceProgram {
    std::string path;        // full path
    std::string directory;   // its folder, where the library is looked for first
    std::string commandPath; // as it goes on a command line: the short form when the path holds a blank
    bool exists = false;
};

constexpr char kServiceProgramName[] = "qelapp32.exe";

// Fills *program; false, with the reason in *error, when there is no such file.
bool FindServiceProgram(const Invocation &invocation, ServiceProgram *program, std::string *error);
