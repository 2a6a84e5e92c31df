#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench_clock.h"
#include "floor_programs.h"
#include "measures.h"
#include "process_cost.h"
#include "qelapp32/client.h"
#include "service_instance.h"
#include "thread_watch.h"

namespace {

constexpr DWORD kSenderTimeoutMs = 120000;
constexpr DWORD kMemorySampleMs = 10;

std::string SystemDirectoryPath(const char *name)
{
    char directory[MAX_PATH];
    const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
    return std::string(directory, length) + "\\" + name;
}

// The file both sides send; its bytes are a pattern, so a printer would see them all differ.
bool CreateSendFile(const std::string &path, DWORD fileBytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::vector<BYTE> chunk(64 * 1024);
    bool ok = true;
    for (DWORD offset = 0; ok && offset < fileBytes; offset += static_cast<DWORD>(chunk.size())) {
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<BYTE>((offset + i) * 7 + ((offset + i) >> 12));
        DWORD written = 0;
        ok = WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) &&
             written == chunk.size();
    }
    CloseHandle(file);
    return ok;
}

// 1134 and then the end of the sender thread it started, as its debugger sees it; with
// `privateBytes`, the instance's private memory before it and every 10 ms meanwhile;
// with `threadStarted`, when the debugger saw the thread start, after the 1134.
double TimeServiceSender(const ServiceInstance &service, const RemoteMemory &name, ThreadWatch &watch,
                         Samples *privateBytes = nullptr, Samples *threadStarted = nullptr)
{
    watch.Arm();
    if (privateBytes != nullptr)
        privateBytes->Add(ReadPrivateBytes(service.Process()));
    const double start = NowMicroseconds();
    if (service.Send(WM_QELAPP32_SENDFILE, 0, name.Address()) != 1)
        return -1.0;
    double end = -1.0;
    if (privateBytes == nullptr) {
        end = watch.WaitForWatchedThreadEnd(kSenderTimeoutMs);
    } else {
        for (DWORD waited = 0; end < 0 && waited < kSenderTimeoutMs; waited += kMemorySampleMs) {
            privateBytes->Add(ReadPrivateBytes(service.Process()));
            end = watch.WaitForWatchedThreadEnd(kMemorySampleMs);
        }
        privateBytes->Add(ReadPrivateBytes(service.Process()));
    }
    if (end < 0)
        return -1.0;
    if (threadStarted != nullptr)
        threadStarted->Add(watch.WatchedThreadStart() - start);
    return service.Send(WM_QELAPP32_SENDFILE, 0, 0) == 0 ? end - start : -1.0;
}

// 1134 to the bare window, which starts a thread that ends at once; until its debugger
// saw it end, as for the service.
double TimeBareThreadSend(const BareWindow &bare, ThreadWatch &watch)
{
    watch.Arm();
    const double start = NowMicroseconds();
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(bare.Window(), WM_QELAPP32_SENDFILE, 0, 1, SMTO_NORMAL, kSenderTimeoutMs, &answer) ||
        answer != 1)
        return -1.0;
    const double end = watch.WaitForWatchedThreadEnd(kSenderTimeoutMs);
    return end < 0 ? -1.0 : end - start;
}

// A name in the service's process of a file that is not there: 1134 for it takes every
// step of a send but the file's (the name copied and checked, the thread started and ended).
bool PlaceMissingName(const std::string &fileName, RemoteMemory *name)
{
    std::string missing = fileName;
    for (char &c : missing) {
        if (c >= '0' && c <= '9')
            c = 'x';
    }
    DeleteFileA(SystemDirectoryPath(missing.c_str()).c_str());
    return name->IsValid() && name->Write(missing + std::string(1, '\0'));
}

// When the sender thread starts after 1134 for a missing name of one character and of
// kLongNameLength: what the name's length costs before the thread runs.
bool MeasureNameLength(const ServiceInstance &service, ThreadWatch &watch, int runs, SenderSeries *series)
{
    RemoteMemory shortName(service.Process(), 2);
    RemoteMemory longName(service.Process(), kLongNameLength + 1);
    bool ok = PlaceMissingName("q", &shortName) && PlaceMissingName(std::string(kLongNameLength, 'q'), &longName);
    for (int run = 0; ok && run < runs; ++run) {
        ok = TimeServiceSender(service, shortName, watch, nullptr, &series->shortNameStart) > 0 &&
             TimeServiceSender(service, longName, watch, nullptr, &series->longNameStart) > 0;
    }
    return ok;
}

DWORD WINAPI DoNothing(LPVOID)
{
    return 0;
}

// What starting and ending one thread costs here, the part of a send that the design's
// thread per request adds.
double TimeThreadStartAndEnd()
{
    const double start = NowMicroseconds();
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, &threadId);
    if (thread == nullptr)
        return -1.0;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return NowMicroseconds() - start;
}

} // namespace

bool MeasureFileSender(ServiceInstance &service, const BareWindow &bare, const std::string &scratchDirectory,
                       int megabytes, int runs, bool sampleMemory, bool nameLength, SenderSeries *series)
{
    char fileName[32];
    std::snprintf(fileName, sizeof(fileName), "qelbench-%dmb.bin", megabytes);
    const DWORD fileBytes = static_cast<DWORD>(megabytes) * 1024 * 1024;
    const std::string path = SystemDirectoryPath(fileName);
    if (!CreateSendFile(path, fileBytes)) {
        std::fprintf(stderr, "qelbench: cannot write %s\n", path.c_str());
        return false;
    }
    series->fileBytes = fileBytes;
    RemoteMemory name(service.Process(), sizeof(fileName));
    RemoteMemory missing(service.Process(), sizeof(fileName));
    ThreadWatch watch(service.ProcessId());
    ThreadWatch bareWatch(bare.ProcessId());
    bool ok = name.IsValid() && name.Write(std::string(fileName, sizeof(fileName))) &&
              PlaceMissingName(fileName, &missing) && watch.IsAttached() && bareWatch.IsAttached();
    // One run of each first, unmeasured: the file comes into the cache and both sides
    // have their library warm.
    ok = ok && TimeBareFileLoop(fileName, scratchDirectory) > 0 && TimeServiceSender(service, name, watch) > 0 &&
         TimeServiceSender(service, missing, watch) > 0 && TimeBareThreadSend(bare, bareWatch) > 0;
    for (int run = 0; ok && run < runs; ++run) {
        const bool bareFirst = run % 2 == 0;
        for (int side = 0; ok && side < 2; ++side) {
            const bool bareSide = (side == 0) == bareFirst;
            const double elapsed =
                bareSide ? TimeBareFileLoop(fileName, scratchDirectory) : TimeServiceSender(service, name, watch);
            ok = elapsed > 0;
            (bareSide ? series->bare : series->service).Add(elapsed);
            series->threadStartEnd.Add(TimeThreadStartAndEnd());
            // The fixed part of a send, each side's, in the same turns.
            const double fixed = bareSide ? TimeBareThreadSend(bare, bareWatch)
                                          : TimeServiceSender(service, missing, watch, nullptr, &series->missingStart);
            ok = ok && fixed > 0;
            (bareSide ? series->bareThreadSend : series->missingFile).Add(fixed);
        }
    }
    ok = ok && (!nameLength || MeasureNameLength(service, watch, runs, series));
    // The memory is sampled in a send of its own, so that the timed ones run undisturbed.
    ok = ok && (!sampleMemory || TimeServiceSender(service, name, watch, &series->privateBytes) > 0);
    DeleteFileA(path.c_str());
    if (!ok)
        std::fprintf(stderr, "qelbench: a file sender run failed\n");
    return ok;
}
