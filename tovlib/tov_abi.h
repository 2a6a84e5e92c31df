// The communication library's binary interface: 32-bit, __stdcall, undecorated exports.
// The service resolves these by name; the simulated library implements them.
#pragma once

#include <windows.h>

// A 412-byte printer record, as the library's enumeration delivers it.
constexpr DWORD kPrinterInfoSize = 412;
constexpr DWORD kPrinterInfoHandleOffset = 86; // WORD hPrinter, 0 = no printer
constexpr DWORD kPrinterInfoFlagsOffset = 88;  // BYTE flags, bit 0 answered to clients
constexpr DWORD kPrinterInfoRemoteNameOffset = 100;
constexpr DWORD kPrinterInfoRemoteNameSize = kPrinterInfoSize - kPrinterInfoRemoteNameOffset;

// The flags word that every enumeration, status query and device-ID read passes: all of it.
constexpr DWORD kTovAllFlags = 4095;
// The channel time-out of TovOpen, also the last argument of TovSetEndOfJobMode.
constexpr DWORD kTovChannelTimeout = 20;

// The status record of TovQueryPrinterStatus and the printer state at its offset 8.
constexpr DWORD kStatusRecordSize = 1036;
constexpr DWORD kStatusStateOffset = 8;
enum TovPrinterState : DWORD {
    kPrinterIdleAndOkay = 0,
    kPrinterPrintingAndOkay = 1,
    kPrinterIdleAndError = 2,
    kPrinterPrintingAndError = 3,
};

// The 24 entry points, by the names they are exported and resolved under, in the order
// the service resolves them. TovQueryPortType and TovFlushMWOBuffer are resolved only.
constexpr const char *kTovEntryPointNames[] = {
    "TovRegisterApp",
    "TovUnregisterApp",
    "TovEnumSpecificPort",
    "TovEnumByUNC",
    "TovCaptureAlerts",
    "TovReleaseAlerts",
    "TovQueryAlerts",
    "TovQueryPrinterStatus",
    "TovGetDeviceIDStringEx",
    "TovSendBidi",
    "TovStartDoc",
    "TovEndDoc",
    "TovWrite",
    "TovWriteUNI",
    "TovSetJobControlMode",
    "TovSetJobCancelMode",
    "TovSetEndOfJobMode",
    "TovOpen",
    "TovClose",
    "TovPing",
    "TovQueryPortType",
    "TovFlushMWOBuffer",
    "TovStoreData",
    "TovRetrieveData",
};

typedef BOOL(WINAPI *TOVENUMPROC)(LPVOID printerInfo);

typedef WORD(WINAPI *TovRegisterAppFn)(HWND alertWindow);
typedef DWORD(WINAPI *TovUnregisterAppFn)(WORD appId);
typedef DWORD(WINAPI *TovEnumSpecificPortFn)(WORD appId, DWORD flags, LPCSTR portName, TOVENUMPROC callback);
typedef DWORD(WINAPI *TovEnumByUNCFn)(WORD appId, DWORD flags, LPCSTR remoteName, TOVENUMPROC callback);
typedef DWORD(WINAPI *TovCaptureAlertsFn)(WORD appId, WORD hPrinter, const BYTE *alertMask, HWND alertWindow,
                                          DWORD zero);
typedef DWORD(WINAPI *TovReleaseAlertsFn)(WORD appId, WORD hPrinter, DWORD one);
typedef DWORD(WINAPI *TovQueryAlertsFn)(WORD appId, WORD wParamHigh, DWORD wParam, DWORD two, BYTE *buffer,
                                        WORD *count);
typedef DWORD(WINAPI *TovQueryPrinterStatusFn)(WORD appId, WORD hPrinter, DWORD flags, BYTE *record, DWORD recordSize,
                                               DWORD *length);
typedef DWORD(WINAPI *TovGetDeviceIDStringExFn)(WORD appId, WORD hPrinter, DWORD flags, LPSTR buffer, DWORD bufferSize,
                                                DWORD *length);
typedef DWORD(WINAPI *TovSendBidiFn)(WORD appId, WORD tag, DWORD zero, DWORD command, BYTE *reply, DWORD *replyLength,
                                     const BYTE *request, DWORD requestLength);
typedef DWORD(WINAPI *TovStartDocFn)(WORD hPrinter, DWORD zero1, DWORD zero2);
typedef DWORD(WINAPI *TovEndDocFn)(WORD hPrinter, DWORD zero);
typedef DWORD(WINAPI *TovWriteFn)(WORD appId, WORD hPrinter, DWORD zero, const BYTE *data, DWORD *count, DWORD one);
typedef DWORD(WINAPI *TovWriteUNIFn)(LPCSTR portName, const BYTE *data, DWORD *count);
typedef DWORD(WINAPI *TovSetJobControlModeFn)(WORD appId, WORD hPrinter, DWORD mode, DWORD arg);
typedef DWORD(WINAPI *TovSetJobCancelModeFn)(WORD appId, WORD hPrinter, DWORD mode);
typedef DWORD(WINAPI *TovSetEndOfJobModeFn)(WORD appId, WORD hPrinter, DWORD mode, DWORD arg1, DWORD arg2);
typedef DWORD(WINAPI *TovOpenFn)(WORD appId, WORD hPrinter, DWORD twenty);
typedef DWORD(WINAPI *TovCloseFn)(WORD appId, WORD hPrinter);
typedef DWORD(WINAPI *TovPingFn)(DWORD zero);
typedef DWORD(WINAPI *TovQueryPortTypeFn)(void);
typedef DWORD(WINAPI *TovFlushMWOBufferFn)(void);
typedef DWORD(WINAPI *TovStoreDataFn)(WORD appId, LPCSTR printerName, DWORD zero, const char *itemName,
                                      const BYTE *data, DWORD size, DWORD one);
typedef DWORD(WINAPI *TovRetrieveDataFn)(WORD appId, LPCSTR printerName, DWORD zero, const char *itemName, BYTE *buffer,
                                         DWORD size, DWORD *delivered, DWORD zeroAgain);
