#include "datapath/file_sender.h"

#include <cstring>

#include "config/port_discovery.h"
#include "core/instance_state.h"
#include "core/log.h"
#include "core/owned.h"
#include "core/platform.h"
#include "datapath/job_modes.h"
#include "datapath/packets.h"
#include "tovlib/tov_library.h"

namespace {

constexpr DWORD kWriteFlag = 1;
// A library code of STILL_ACTIVE is reported as this instead.
constexpr DWORD kStillActiveStandIn = 0xFFFFFFFF;

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// "..", and the forms Windows trims to it ("...", ".. "), lead out of the directory.
bool IsParentComponent(const char *begin, const char *end)
{
    int dots = 0;
    for (const char *c = begin; c != end; ++c) {
        if (*c == '.')
            ++dots;
        else if (*c != ' ')
            return false;
    }
    return dots >= 2;
}

// Whether test(begin, end) holds for any component between the separators of name.
bool AnyComponent(const char *name, bool (*test)(const char *, const char *))
{
    const char *component = name;
    for (const char *c = name;; ++c) {
        if (*c == '\0' || IsSeparator(*c)) {
            if (test(component, c))
                return true;
            if (*c == '\0')
                return false;
            component = c + 1;
        }
    }
}

// The names Windows opens as devices in any folder, with any extension and in any case.
constexpr const char *kDeviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3",   "COM4",
                                        "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2",   "LPT3",
                                        "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$"};

bool IsDeviceComponent(const char *begin, const char *end)
{
    const char *stem = begin;
    while (stem != end && *stem != '.')
        ++stem;
    while (stem != begin && stem[-1] == ' ')
        --stem; // "NUL .txt" is NUL too
    const size_t length = static_cast<size_t>(stem - begin);
    for (const char *device : kDeviceNames) {
        if (std::strlen(device) == length &&
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, begin, static_cast<int>(length), device,
                           static_cast<int>(length)) == CSTR_EQUAL)
            return true;
    }
    return false;
}

bool IsDiskFile(HANDLE file)
{
    return GetFileType(file) == FILE_TYPE_DISK;
}

// Builds "<system directory>\<name>"; false when the directory cannot be read or the
// whole does not fit.
bool BuildPath(char (&path)[kSenderPathSize], const char *name)
{
    UINT directoryLength = 0;
    if (!ReadSystemDirectory(path, kSenderPathSize, &directoryLength))
        return false;
    const size_t nameLength = std::strlen(name);
    if (directoryLength + 1 + nameLength + 1 > kSenderPathSize)
        return false;
    path[directoryLength] = '\\';
    std::memcpy(path + directoryLength + 1, name, nameLength + 1);
    return true;
}

// Moves back over the bytes the library did not take, so they head the next block. A
// library that claims more than it was offered is taken as having accepted the block:
// moving forward would skip bytes it never saw.
void RewindUnaccepted(HANDLE file, DWORD offered, DWORD accepted)
{
    Trace("Debug Msg: TovWrite 0x%x (%d) bytes\n", accepted, accepted);
    if (accepted >= offered)
        return;
    SetFilePointer(file, -static_cast<LONG>(offered - accepted), nullptr, FILE_CURRENT);
}

// A library that took nothing gets the block again after a pause, not at once: at full
// speed it would spin, and every other send would be refused meanwhile.
void OfferAgainWhatWasNotTaken(HANDLE file, DWORD offered, DWORD accepted)
{
    if (accepted != offered)
        RewindUnaccepted(file, offered, accepted);
    if (accepted == 0)
        g_platform.Sleep(kSenderReofferPauseMs);
}

// The exit code STILL_ACTIVE would make an ended sender look alive for ever.
DWORD ResultOf(DWORD libraryCode)
{
    return libraryCode != STILL_ACTIVE ? libraryCode : kStillActiveStandIn;
}

bool ReadBlock(HANDLE file, BYTE *block, DWORD &bytesRead)
{
    bytesRead = 0;
    return ReadFile(file, block, kSenderBlockSize, &bytesRead, nullptr) && bytesRead != 0 && g_senderCancel == 0;
}

DWORD SendAsDocument(HandleGuard &file, GlobalBlock &block)
{
    BYTE *const data = static_cast<BYTE *>(block.Get());
    // Taken once, so the channel and the document opened are the ones closed.
    const WORD appId = CurrentAppId();
    const WORD hPrinter = CurrentPrinterHandle();
    const int signedAppId = static_cast<SHORT>(appId);
    const int unsignedPrinter = hPrinter;

    DWORD blocks = 0;
    ResetQELModes(appId, hPrinter, 1);
    DWORD code = g_tov.TovStartDoc(hPrinter, 0, 0);
    if (code != 0) {
        LogError("SendFileToPrinter:  TovStartDoc failed (%Xh)\n", code); // log contract: two blanks
        file.Reset();
        block.Reset();
        SetQELModes(appId, hPrinter);
        return 0;
    }
    code = g_tov.TovOpen(appId, hPrinter, kTovChannelTimeout);
    if (code != 0)
        LogError("SendFileToPrinter: TovOpen(%d, %d, %d) failed (%Xh)\n", signedAppId, unsignedPrinter,
                 static_cast<int>(kTovChannelTimeout), code);

    DWORD result = 0;
    DWORD bytesRead = 0;
    while (ReadBlock(file.Get(), data, bytesRead)) {
        DWORD count = bytesRead;
        code = g_tov.TovWrite(appId, hPrinter, 0, data, &count, kWriteFlag);
        if (code != 0) {
            // The document is incomplete: it is closed, and the run ends as failed.
            LogError("SendFileToPrinter:  TovWrite failed (%Xh)\n", code); // two blanks, as its siblings
            result = ResultOf(code);
            break;
        }
        OfferAgainWhatWasNotTaken(file.Get(), bytesRead, count);
        ++blocks;
    }
    // A job of one block may end before the printer has taken it in.
    if (blocks < 2)
        g_platform.Sleep(kSenderShortFilePauseMs);

    code = g_tov.TovClose(appId, hPrinter);
    if (code != 0)
        LogError("SendFileToPrinter: TovClose(%d, %d) failed (%Xh)\n", signedAppId, unsignedPrinter, code);
    code = g_tov.TovEndDoc(hPrinter, 0);
    if (code != 0)
        LogError("SendFileToPrinter:  TovEndDoc failed (%Xh)\n", code); // log contract: two blanks
    SetQELModes(appId, hPrinter);
    return result;
}

DWORD WritePacketToPort(const char *port, const BYTE *packet)
{
    DWORD count = kDocumentPacketSize;
    return g_tov.TovWriteUNI(port, packet, &count);
}

DWORD SendToPort(HandleGuard &file, GlobalBlock &block)
{
    BYTE *const data = static_cast<BYTE *>(block.Get());
    // Port discovery may rewrite the name on another thread; this run keeps one copy.
    char port[kNameBufferSize];
    CopyCurrentPortName(port);

    DWORD result = 0;
    DWORD code = WritePacketToPort(port, StartDocPacket.data());
    if (code != 0)
        LogError("SendFileToPrinter: TovWriteUNI StartDoc failed (%Xh)\n", code);

    DWORD bytesRead = 0;
    while (ReadBlock(file.Get(), data, bytesRead)) {
        DWORD count = bytesRead;
        code = g_tov.TovWriteUNI(port, data, &count);
        OfferAgainWhatWasNotTaken(file.Get(), bytesRead, count);
        if (code != 0) {
            LogError("SendFileToPrinter:  TovWriteUNI failed (%Xh)\n", code); // log contract: two blanks
            result = ResultOf(code);
        }
    }

    code = WritePacketToPort(port, EndDocPacket.data());
    if (code != 0)
        LogError("SendFileToPrinter: TovWriteUNI EndDoc failed (%Xh)\n", code);
    return result;
}

} // namespace

bool IsSendableFileName(const char *name)
{
    if (name == nullptr || name[0] == '\0' || IsSeparator(name[0]) || std::strchr(name, ':') != nullptr ||
        AnyComponent(name, IsParentComponent) || AnyComponent(name, IsDeviceComponent))
        return false;
    char directory[kSenderPathSize];
    UINT directoryLength = 0;
    // An unreadable directory is not the name's fault: the sender ends quietly on it.
    if (!ReadSystemDirectory(directory, kSenderPathSize, &directoryLength))
        return true;
    return directoryLength + 1 + std::strlen(name) + 1 <= kSenderPathSize;
}

bool IsOtherThanDiskFile(const char *name)
{
    char path[kSenderPathSize];
    if (!BuildPath(path, name))
        return false;
    // Opened for no access: enough to ask the type, and it waits on no device.
    HandleGuard file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    return file.IsValid() && !IsDiskFile(file.Get());
}

DWORD WINAPI SendFileToPrinter(LPVOID fileName)
{
    char path[kSenderPathSize];
    if (!BuildPath(path, static_cast<const char *>(fileName)))
        return 0;
    HandleGuard file(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return 0;
    // Checked again on the handle read from: the name may have been replaced since.
    if (!IsDiskFile(file.Get())) {
        LogError("SendFileToPrinter: \"%s\" is not a disk file\n", path);
        return ERROR_BAD_FILE_TYPE;
    }
    GlobalBlock block(GlobalAlloc(GPTR, kSenderBlockSize)); // freed on every way out
    if (!block.IsValid())
        return 0;
    return IsNonBidiMode() ? SendToPort(file, block) : SendAsDocument(file, block);
}

bool IsFileSenderRunning()
{
    DWORD exitCode = 0;
    return g_senderThread != nullptr && GetExitCodeThread(g_senderThread, &exitCode) && exitCode == STILL_ACTIVE;
}

void StopFileSender()
{
    for (int poll = 0; IsFileSenderRunning(); ++poll) {
        if (poll == kSenderStopPolls) {
            LogError("StopFileSender: file sender still running after %lu ms, cut off\n",
                     static_cast<unsigned long>(kSenderStopPolls * kSenderStopPollMs));
            TerminateThread(g_senderThread, 0);
            // Termination completes on its own time; until it has, the sender would still
            // look alive to the next stop (shutdown's, after WM_DESTROY's).
            WaitForSingleObject(g_senderThread, kSenderStopPollMs);
            return;
        }
        g_senderCancel = 1;
        g_platform.Sleep(kSenderStopPollMs);
    }
}
