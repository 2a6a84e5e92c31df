#include "handlers/message_handlers.h"

#include "core/instance_state.h"
#include "core/log.h"
#include "handlers/client_memory.h"
#include "qelapp32/client.h"
#include "tovlib/tov_library.h"

LRESULT OnGetDeviceId(WPARAM handleAndSize, LPARAM buffer)
{
    const WORD printerHandle = HIWORD(handleAndSize);
    const WORD size = LOWORD(handleAndSize);
    char *clientBuffer = reinterpret_cast<char *>(buffer);
    // The library writes into the client's buffer in this process: a wrong address must
    // cost the client its answer, not the instance its life. A zero-size buffer cannot
    // hold a device ID, and an empty answer would be taken for a lost printer.
    if (size == 0 || !IsClientRangeWritable(clientBuffer, size)) {
        LogError("WM_QELAPP32_GETDEVICEID: no writable buffer of %u bytes at %lXh\n", static_cast<unsigned>(size),
                 static_cast<unsigned long>(buffer));
        return static_cast<LRESULT>(QEL_FAILURE);
    }
    DWORD length = 0;
    const DWORD code =
        g_tov.TovGetDeviceIDStringEx(CurrentAppId(), printerHandle, kTovAllFlags, clientBuffer, size, &length);
    if (code != 0) {
        LogError("WM_QELAPP32_GETDEVICEID: TovGetDeviceIDStringEx failed (%Xh)\n", code);
        return static_cast<LRESULT>(QEL_FAILURE);
    }
    TraceDump(clientBuffer, length < size ? length : size);
    if (length != 0)
        return static_cast<LRESULT>(length);
    // The printer gave no ID: it has to be found again, and reads as in error until then.
    g_reEnumerate = 1;
    g_statusWord |= kStatusErrorBit;
    return 0;
}
