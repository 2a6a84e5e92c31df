// Floor for the file sender: the same file, read in the same 4096-byte blocks and
// handed to the same entry point (TovWrite of the library in this folder), by a bare
// loop with nothing around it. The run is timed from opening the file to closing it;
// the exit code is that time in microseconds, at least 3 (0 to 2 say it failed).
//
//     bench_bare_file_loop.exe <file in the system directory>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bench/clock.h"
#include "core/entry_point.h"
#include "tovlib/tov_abi.h"

namespace {

constexpr DWORD kBlockSize = 4096;
constexpr WORD kAppId = 1;
constexpr WORD kPrinterHandle = 5;

// One pass over the file; false when it cannot be opened.
bool SendFileOnce(const char *path, TovWriteFn tovWrite)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BYTE *block = static_cast<BYTE *>(GlobalAlloc(GPTR, kBlockSize));
    DWORD bytesRead = 0;
    while (ReadFile(file, block, kBlockSize, &bytesRead, nullptr) && bytesRead != 0) {
        DWORD count = bytesRead;
        tovWrite(kAppId, kPrinterHandle, 0, block, &count, 1);
        if (count < bytesRead)
            SetFilePointer(file, -static_cast<LONG>(bytesRead - count), nullptr, FILE_CURRENT);
    }
    GlobalFree(block);
    CloseHandle(file);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    HMODULE library = LoadLibraryA("QRMTOV.DLL");
    auto tovWrite = library != nullptr ? BindEntryPoint<TovWriteFn>(library, "TovWrite") : nullptr;
    if (tovWrite == nullptr)
        return 1;

    char path[MAX_PATH];
    const UINT directoryLength = GetSystemDirectoryA(path, MAX_PATH);
    if (directoryLength == 0 || directoryLength + 2 + strlen(argv[1]) > MAX_PATH)
        return 1;
    std::snprintf(path + directoryLength, MAX_PATH - directoryLength, "\\%s", argv[1]);

    const double start = NowMicroseconds();
    if (!SendFileOnce(path, tovWrite))
        return 1;
    const double microseconds = NowMicroseconds() - start;
    FreeLibrary(library);
    return microseconds < 3 ? 3 : static_cast<int>(microseconds);
}
