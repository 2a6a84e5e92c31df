// The communication library "QRMTOV.DLL", bound at run time, and the table of its
// 24 entry points. Every printer call in the service goes through g_tov.
#pragma once

#include <windows.h>

#include "tovlib/tov_abi.h"

struct TovApi {
    TovRegisterAppFn TovRegisterApp;
    TovUnregisterAppFn TovUnregisterApp;
    TovEnumSpecificPortFn TovEnumSpecificPort;
    TovEnumByUNCFn TovEnumByUNC;
    TovCaptureAlertsFn TovCaptureAlerts;
    TovReleaseAlertsFn TovReleaseAlerts;
    TovQueryAlertsFn TovQueryAlerts;
    TovQueryPrinterStatusFn TovQueryPrinterStatus;
    TovGetDeviceIDStringExFn TovGetDeviceIDStringEx;
    TovSendBidiFn TovSendBidi;
    TovStartDocFn TovStartDoc;
    TovEndDocFn TovEndDoc;
    TovWriteFn TovWrite;
    TovWriteUNIFn TovWriteUNI;
    TovSetJobControlModeFn TovSetJobControlMode;
    TovSetJobCancelModeFn TovSetJobCancelMode;
    TovSetEndOfJobModeFn TovSetEndOfJobMode;
    TovOpenFn TovOpen;
    TovCloseFn TovClose;
    TovPingFn TovPing;
    TovQueryPortTypeFn TovQueryPortType;   // resolved, never called
    TovFlushMWOBufferFn TovFlushMWOBuffer; // resolved, never called
    TovStoreDataFn TovStoreData;
    TovRetrieveDataFn TovRetrieveData;
};

constexpr char kTovLibraryName[] = "QRMTOV.DLL";
constexpr int kTovEntryPointCount = 24;

extern TovApi g_tov;
extern HMODULE g_tovModule;

// Loads the library and resolves all 24 entry points, in their fixed order.
// On failure the table is left empty; a loaded module stays in g_tovModule so that
// the caller's teardown frees it.
bool BindTovLibrary();

// Resolves the entry points of an already loaded module into the table.
bool ResolveTovEntryPoints(HMODULE module, TovApi &api);

void FreeTovLibrary();

// TovPing answering 1 asks for the library's starter program, "\Qrmstart.exe" in the
// system directory. Answers false (after logging why) when it could not be started.
bool StartTovStarterProgram();
