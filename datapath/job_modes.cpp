#include "datapath/job_modes.h"

#include "core/log.h"
#include "tovlib/tov_library.h"

namespace {

constexpr DWORD kJobCancelOn = 1;
constexpr DWORD kJobCancelOff = 0;
constexpr DWORD kEndOfJobBidirectional = 4;
constexpr DWORD kEndOfJobPlain = 1;
constexpr DWORD kEndOfJobArg1 = 1;
constexpr DWORD kJobControlMode = 1;
constexpr DWORD kJobControlArg = 0;

} // namespace

int ResetQELModes(WORD appId, WORD hPrinter, int bidirectional)
{
    int result = 1;
    DWORD code = g_tov.TovSetJobCancelMode(appId, hPrinter, kJobCancelOn);
    if (code != 0) {
        LogError("ResetQELModes: TovSetJobCancelMode failed (%Xh)\n", code);
        result = 0;
    }
    const DWORD endOfJob = bidirectional != 0 ? kEndOfJobBidirectional : kEndOfJobPlain;
    code = g_tov.TovSetEndOfJobMode(appId, hPrinter, endOfJob, kEndOfJobArg1, kTovChannelTimeout);
    if (code != 0) {
        LogError("ResetQELModes: TovSetEndOfJobMode failed (%Xh)\n", code);
        result = 0;
    }
    return result;
}

int SetQELModes(WORD appId, WORD hPrinter)
{
    int result = 1;
    DWORD code = g_tov.TovSetJobControlMode(appId, hPrinter, kJobControlMode, kJobControlArg);
    if (code != 0) {
        LogError("SetQELModes: TovSetJobControlMode failed (%Xh)\n", code);
        result = 0;
    }
    code = g_tov.TovSetJobCancelMode(appId, hPrinter, kJobCancelOff);
    if (code != 0) {
        LogError("SetQELModes: TovSetJobCancelMode failed (%Xh)\n", code);
        result = 0;
    }
    code = g_tov.TovSetEndOfJobMode(appId, hPrinter, kEndOfJobPlain, kEndOfJobArg1, kTovChannelTimeout);
    if (code != 0) {
        LogError("SetQELModes: TovSetEndOfJobMode failed (%Xh)\n", code);
        result = 0;
    }
    return result;
}
