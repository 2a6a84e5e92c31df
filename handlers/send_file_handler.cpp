#include "handlers/message_handlers.h"

#include "core/instance_state.h"
#include "core/log.h"
#include "datapath/file_sender.h"
#include "handlers/client_memory.h"
#include "qelapp32/client.h"

namespace {

// The running sender's own copy of the client's file name. Only one sender runs at a
// time, and a new one is started only after the last has ended, so it is never shared.
char g_senderFileName[kSenderPathSize];

const char *RequestName(UINT message)
{
    return message == WM_QELAPP32_SENDFILE2 ? "WM_QELAPP32_SENDFILE2" : "WM_QELAPP32_SENDFILE";
}

// Copies the zero-terminated name while the client still waits for the answer, as far as
// its memory is readable: each region is judged once, not each byte. False when the address
// is unreadable or no terminator comes within the copy's size.
bool CopyClientFileName(const char *clientName, char (&copy)[kSenderPathSize], bool &tooLong)
{
    tooLong = false;
    size_t i = 0;
    while (i < kSenderPathSize) {
        const size_t readable = ClientReadableBytesAt(clientName + i, kSenderPathSize - i);
        if (readable == 0)
            return false;
        for (const size_t end = i + readable; i < end; ++i) {
            copy[i] = clientName[i];
            if (copy[i] == '\0')
                return true;
        }
    }
    tooLong = true;
    return false;
}

// Answers 1 when a sender was started for the name, 0 when it was refused.
LRESULT StartFileSender(UINT message, const char *clientName)
{
    const char *request = RequestName(message);
    if (IsFileSenderRunning()) {
        LogError("%s: a file is still being sent\n", request);
        return 0;
    }
    bool tooLong = false;
    if (!CopyClientFileName(clientName, g_senderFileName, tooLong)) {
        if (tooLong)
            LogError("%s: file name longer than %u characters refused\n", request,
                     static_cast<unsigned>(kSenderPathSize - 1));
        else
            LogError("%s: invalid file name address %lXh\n", request,
                     static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(clientName)));
        return 0;
    }
    if (!IsSendableFileName(g_senderFileName)) {
        LogError("%s: file name \"%s\" refused\n", request, g_senderFileName);
        return 0;
    }
    if (IsOtherThanDiskFile(g_senderFileName)) {
        LogError("%s: \"%s\" is not a disk file, refused\n", request, g_senderFileName);
        return 0;
    }
    DWORD threadId = 0;
    HANDLE sender = CreateThread(nullptr, 0, RunAsServiceThread<SendFileToPrinter>, g_senderFileName, 0, &threadId);
    if (sender == nullptr) {
        LogError("%s: CreateThread failed (%lu)\n", request, GetLastError());
        return 0;
    }
    if (g_senderThread != nullptr)
        CloseHandle(g_senderThread);
    g_senderThread = sender;
    g_senderThreadId = threadId;
    return 1;
}

} // namespace

LRESULT OnSendFile(UINT message, LPARAM fileName)
{
    if (fileName == 0)
        return IsFileSenderRunning() ? 1 : 0;
    return StartFileSender(message, reinterpret_cast<const char *>(fileName));
}
