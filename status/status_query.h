// The status refresh that the status thread runs, and the emulated port status byte
// that message 1128 answers from the StatusWord.
#pragma once

#include <windows.h>

#include "tovlib/tov_abi.h"

// Re-queries of an error state on a USB port, over the whole life of the status thread.
constexpr int kUsbRequeryLimit = 2;

// The clock and the event wait of the status request. Tests replace them to run the
// timing rules without waiting; the program keeps the real ones.
struct StatusTiming {
    DWORD(WINAPI *GetTickCount)();
    DWORD(WINAPI *WaitForSingleObject)(HANDLE handle, DWORD milliseconds);
};
extern StatusTiming g_statusTiming;

// One request to the status thread: enumerates first while the re-enumerate flag is
// set, queries the printer and updates the error bit. Answers false when the
// enumeration failed (no query was made; the got-status event must stay unset).
bool RefreshPrinterStatus(int *usbRequeryCount);

// 0x20 when the attention bit is pending (and clears it), else 0x80 on the error bit,
// else 0x98.
DWORD TakeStatusAnswer();
