// The few platform calls that a test cannot let happen for real: a message box
// blocks, a restart would end the session, the spooler and the network redirector
// know nothing of a test printer. Everything goes through this table, which holds
// the real API unless a test replaces an entry.
#pragma once

#include <windows.h>
#include <winspool.h>

struct PlatformApi {
    int(WINAPI *MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
    BOOL(WINAPI *ExitWindowsEx)(UINT flags, DWORD reason);
    BOOL(WINAPI *OpenPrinterA)(LPSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSA defaults);
    BOOL(WINAPI *EnumJobsA)
    (HANDLE printer, DWORD firstJob, DWORD jobCount, DWORD level, LPBYTE jobs, DWORD size, LPDWORD needed,
     LPDWORD returned);
    BOOL(WINAPI *SetJobA)(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command);
    BOOL(WINAPI *ClosePrinter)(HANDLE printer);
    DWORD(WINAPI *WNetGetConnectionA)(LPCSTR localName, LPSTR remoteName, LPDWORD length);
    UINT(WINAPI *GetSystemDirectoryA)(LPSTR buffer, UINT size);
    void(WINAPI *OutputDebugStringA)(LPCSTR text);
    // The design's fixed pauses (retry intervals, teardown waits); tests count them.
    void(WINAPI *Sleep)(DWORD milliseconds);
};

extern PlatformApi g_platform;

// The table as the program starts with it: the real Win32 functions.
PlatformApi RealPlatformApi();

// The room the service gives the system directory wherever it reads it.
constexpr UINT kSystemDirectoryRoom = 250;

// Reads the system directory through the seam into buffer (room bytes). False when the call
// fails or the path does not fit, in which case nothing may be built from it. length, when
// given, receives the call's answer as it was.
bool ReadSystemDirectory(char *buffer, UINT room, UINT *length = nullptr);
