// The file sender: streams a file from the Windows system directory to the printer on a
// thread of its own, either as a document through the library's channel or, in
// non-bidirectional mode, as raw writes to the printer's port.
//
//     if (IsSendableFileName(name)) CreateThread(nullptr, 0, SendFileToPrinter, ownedCopyOfName, 0, &id);
#pragma once

#include <windows.h>

constexpr UINT kSenderPathSize = 100; // system directory, "\" and the name, terminator included
constexpr DWORD kSenderBlockSize = 4096;
constexpr DWORD kSenderShortFilePauseMs = 500;
constexpr DWORD kSenderReofferPauseMs = 50; // before offering a block the library took none of
constexpr DWORD kSenderStopPollMs = 100;
constexpr int kSenderStopPolls = 300;

// Thread start routine. fileName is a zero-terminated name relative to the system
// directory, read once when the path is built; the caller keeps it alive until then.
// Exit code: 0; the library's code of the data write that ended a document; on the
// non-bidirectional road the code of the last failed data write; ERROR_BAD_FILE_TYPE
// when the opened file turned out to be no disk file.
DWORD WINAPI SendFileToPrinter(LPVOID fileName);

// Whether a name may be sent: not empty, relative (no drive, stream, leading slash or
// UNC prefix), not climbing out with "..", naming no device (CON, NUL, COM1, ... in any
// component, with any extension), and fitting the path buffer together with the system
// directory (checked when the system directory can be read).
bool IsSendableFileName(const char *name);

// Whether the name opens as something other than a disk file (a pipe, a device): such a
// sender would block in its first read or never reach the end of its data. A name that
// does not open at all answers false; the sender ends quietly on it.
bool IsOtherThanDiskFile(const char *name);

// Whether the last sender started (g_senderThread) still runs.
bool IsFileSenderRunning();

// Raises the cancel word and waits for the sender to finish its current block and its
// closing steps, polling every 100 ms. A sender stuck in a library call that does not
// return within 30 s is logged and cut off, so that it cannot hold shutdown for ever.
void StopFileSender();
