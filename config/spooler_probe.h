// Asks the spooler whether the printer's queue holds a job (and can cancel the first).
#pragma once

#include <windows.h>

constexpr DWORD kJobProbeAskOnly = 103; // any action but 3 only asks
constexpr DWORD kJobProbeCancel = 3;    // JOB_CONTROL_CANCEL

DWORD GetFirstPrinterJob(DWORD action);
