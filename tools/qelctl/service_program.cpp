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

bool IsFile(const std::string &path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Beside qelctl.exe; the 64-bit qelctl sits in bin64\, beside the bin\ of the 32-bit service.
std::string DefaultServicePath()
{
    const std::string own = OwnDirectory() + "\\" + kServiceProgramName;
    const std::string sibling = FullPath(OwnDirectory() + "\\..\\bin\\" + kServiceProgramName);
    return IsFile(own) || !IsFile(sibling) ? own : sibling;
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
    program->path = given != nullptr ? FullPath(*given) : DefaultServicePath();
    const size_t separator = program->path.find_last_of("\\/");
    program->directory = separator == std::string::npos ? std::string(".") : program->path.substr(0, separator);
    program->exists = IsFile(program->path);
    program->commandPath = program->exists ? CommandLinePath(program->path) : program->path;
    if (!program->exists)
        *error = "no service program at " + program->path +
                 (given != nullptr ? std::string() : std::string(" (name another one with --exe PATH)"));
    return program->exists;
}
