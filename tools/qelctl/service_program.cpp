#include "service_program.h"

#include <windows.h>

#include <vector>

namespace {

std::string OwnDirectory()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string full(path, length);
    return full.substr(0, full.find_last_of("\\/"));
}

std::string FullPath(const std::string &path)
{
    std::vector<char> full(MAX_PATH * 2);
    const DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return path;
    return std::string(full.data(), length);
}

// The service ends an unquoted program name at the first blank; a quoted one at the quote.
std::string CommandLinePath(const std::string &path)
{
    if (path.find(' ') == std::string::npos)
        return path;
    return "\"" + path + "\"";
}

} // namespace

bool FindServiceProgram(const Invocation &invocation, ServiceProgram *program, std::string *error)
{
    const std::string *given = OptionValue(invocation, "--exe");
    program->path = given != nullptr ? FullPath(*given) : OwnDirectory() + "\\" + kServiceProgramName;
    const size_t separator = program->path.find_last_of("\\/");
    program->directory = separator == std::string::npos ? std::string(".") : program->path.substr(0, separator);
    const DWORD attributes = GetFileAttributesA(program->path.c_str());
    program->exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    program->commandPath = program->exists ? CommandLinePath(program->path) : program->path;
    if (!program->exists)
        *error = "no service program at " + program->path +
                 (given != nullptr ? std::string() : std::string(" (name another one with --exe PATH)"));
    return program->exists;
}
