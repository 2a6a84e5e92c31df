#include "handlers/message_handlers.h"

#include <array>
#include <cstring>

#include "core/instance_state.h"
#include "core/log.h"
#include "handlers/client_memory.h"
#include "qelapp32/client.h"
#include "tovlib/tov_library.h"

namespace {

// The library fills the service's own copy of the client's buffer, copied back once the
// call has returned: reading a device ID may take long, and a client that gave up waiting
// may have released its buffer meanwhile. Used on the main thread only.
std::array<char, 0xFFFF> g_deviceIdCopy;

void LogNoClientBuffer(WORD size, LPARAM buffer)
{
    LogError("WM_QELAPP32_GETDEVICEID: no writable buffer of %u bytes at %lXh\n", static_cast<unsigned>(size),
             static_cast<unsigned long>(buffer));
}

} // namespace

LRESULT OnGetDeviceId(WPARAM handleAndSize, LPARAM buffer)
{
    const WORD printerHandle = HIWORD(handleAndSize);
    const WORD size = LOWORD(handleAndSize);
    char *clientBuffer = reinterpret_cast<char *>(buffer);
    // The answer goes into the client's buffer in this process: a wrong address must cost
    // the client its answer, not the instance its life. A zero-size buffer cannot
    // hold a device ID, and an empty answer would be taken for a lost printer.
    if (size == 0 || !IsClientRangeWritable(clientBuffer, size)) {
        LogNoClientBuffer(size, buffer);
        return static_cast<LRESULT>(QEL_FAILURE);
    }
    // The client's bytes go along, so that those the library leaves alone come back as they were.
    std::memcpy(g_deviceIdCopy.data(), clientBuffer, size);
    DWORD length = 0;
    const DWORD code =
        g_tov.TovGetDeviceIDStringEx(CurrentAppId(), printerHandle, kTovAllFlags, g_deviceIdCopy.data(), size, &length);
    if (code != 0) {
        LogError("WM_QELAPP32_GETDEVICEID: TovGetDeviceIDStringEx failed (%Xh)\n", code);
        return static_cast<LRESULT>(QEL_FAILURE);
    }
    if (!IsClientRangeWritable(clientBuffer, size)) {
        LogNoClientBuffer(size, buffer);
        return static_cast<LRESULT>(QEL_FAILURE);
    }
    std::memcpy(clientBuffer, g_deviceIdCopy.data(), size);
    TraceDump(clientBuffer, length < size ? length : size);
    if (length != 0)
        return static_cast<LRESULT>(length);
    // The printer gave no ID: it has to be found again, and reads as in error until then.
    g_reEnumerate = 1;
    g_statusWord |= kStatusErrorBit;
    return 0;
}
