#include "sim_library.h"

#include <vector>

std::string TestProgramDirectory()
{
    std::vector<char> path(MAX_PATH);
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    const std::string full(path.data(), length);
    return full.substr(0, full.find_last_of("\\/") + 1);
}

SimLibrary::SimLibrary() : module_(LoadLibraryA((TestProgramDirectory() + "QRMTOV.DLL").c_str())) {}

SimLibrary::~SimLibrary()
{
    if (module_ != nullptr)
        FreeLibrary(module_);
}
