#include "sim_library.h"

#include <vector>

std::string TestProgramDirectory()
{
    std::vector<char> path(MAX_PATH);
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    const std::string full(path.data(), length);
    return full.substr(0, full.find_last_of("\\/") + 1);
}

std::string ReadRawFile(const std::string& path)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string content;
    if (file == INVALID_HANDLE_VALUE) return content;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read != 0) content.append(chunk, read);
    CloseHandle(file);
    return content;
}

SimLibrary::SimLibrary() : module_(LoadLibraryA((TestProgramDirectory() + "QRMTOV.DLL").c_str())) {}

SimLibrary::~SimLibrary()
{
    if (module_ != nullptr) FreeLibrary(module_);
}
