#include "alerts/alert_window_proc.h"

#include <array>
#include <cstdint>

#include "config/port_discovery.h"
#include "core/instance_state.h"
#include "core/log.h"
#include "datapath/packet_queue.h"
#include "datapath/packets.h"
#include "qelapp32/client.h"
#include "tovlib/tov_library.h"

namespace {

constexpr uint32_t kReEnumerateStatusBit = 0x400;
constexpr DWORD kAlertQueryKind = 2;
constexpr WORD kAlertBufferSize = 200;
constexpr WORD kStatusPacketTag = 0;

// Where each bit of a status change lands in the packet's flag bytes S5, S6 and S7
// (indexes 0, 1, 2). S6 takes bits 0 to 3 reversed; S7 does not: bits 5 and 6 give
// 0x02 and 0x04. Bits 11 and up reach the StatusWord only.
struct StatusFlagBit {
    uint32_t statusBit;
    size_t flagByte;
    BYTE flag;
};
constexpr std::array<StatusFlagBit, 11> kStatusFlagBits = {{
    {0x001, 1, 0x08},
    {0x002, 1, 0x04},
    {0x004, 1, 0x02},
    {0x008, 1, 0x01},
    {0x010, 2, 0x08},
    {0x020, 2, 0x02},
    {0x040, 2, 0x04},
    {0x080, 2, 0x01},
    {0x100, 0, 0x40},
    {0x200, 0, 0x80},
    {0x400, 0, 0x01},
}};

// Alerts whose data is fetched only so that the library can let go of it.
struct DiscardedAlert {
    UINT message;
    const char *failureLine;
};
constexpr std::array<DiscardedAlert, 5> kDiscardedAlerts = {{
    {WM_TOV_FLASHDISK, "WM_TOV_FLASHDISK: TovQueryAlerts (bufSize %d) failed (%Xh)\n"},
    {WM_TOV_JOBACCOUNT, "WM_TOV_JOBACCOUNT: TovQueryAlerts (bufSize %d) failed (%Xh)\n"},
    {WM_TOV_PANEL, "WM_TOV_PANEL: TovQueryAlerts (bufSize %d) failed (%Xh)\n"},
    {WM_TOV_PAGE, "WM_TOV_PAGE: TovQueryAlerts (bufSize %d) failed (%Xh)\n"},
    {WM_TOV_PARTIALPAGE, "WM_TOV_PARTIALPAGE: TovQueryAlerts (bufSize %d) failed (%Xh)\n"},
}};
constexpr char kInkjetFailureLine[] = "WM_TOV_INKJETK20: TovQueryAlerts (bufSize %d) failed (%Xh)\n";

constexpr std::array<const char *, 4> kPrinterStateTexts = {
    "WM_TOV_PRINTERSTATE: PRINTER_IDLE_AND_OKAY\n",
    "WM_TOV_PRINTERSTATE: PRINTER_PRINTING_AND_OKAY\n",
    "WM_TOV_PRINTERSTATE: PRINTER_IDLE_AND_ERROR\n",
    "WM_TOV_PRINTERSTATE: PRINTER_PRINTING_AND_ERROR\n",
};

// Alert numbers the library may post that the service ignores, without default processing.
struct MessageRange {
    UINT first;
    UINT last;
};
constexpr std::array<MessageRange, 3> kIgnoredAlerts = {{{1530, 1536}, {1538, 1539}, {1564, 1566}}};

const DiscardedAlert *FindDiscardedAlert(UINT message)
{
    for (const DiscardedAlert &alert : kDiscardedAlerts) {
        if (alert.message == message)
            return &alert;
    }
    return nullptr;
}

bool IsIgnoredAlert(UINT message)
{
    for (const MessageRange &range : kIgnoredAlerts) {
        if (message >= range.first && message <= range.last)
            return true;
    }
    return false;
}

// size comes back as the count of bytes delivered (or as the library left it on failure).
DWORD FetchAlertData(WPARAM wParam, BYTE *buffer, WORD *size)
{
    *size = kAlertBufferSize;
    return g_tov.TovQueryAlerts(CurrentAppId(), HIWORD(wParam), static_cast<DWORD>(wParam), kAlertQueryKind, buffer,
                                size);
}

WORD DeliveredCount(WORD size)
{
    return size < kAlertBufferSize ? size : kAlertBufferSize;
}

void QueueStatusPacket(BYTE s5, BYTE s6, BYTE s7)
{
    BYTE packet[kStatusPacketSize];
    const WORD length = BuildStatusPacket(packet, s5, s6, s7);
    QueueAddMessageRetry(&InboundQueue, packet, length, kStatusPacketTag);
}

LRESULT OnStatusChange(LPARAM lParam)
{
    const uint32_t status = static_cast<uint32_t>(lParam);
    g_statusWord = status;
    std::array<BYTE, 3> flags = {};
    for (const StatusFlagBit &bit : kStatusFlagBits) {
        if ((status & bit.statusBit) != 0)
            flags[bit.flagByte] |= bit.flag;
    }
    // Taken in one step, so a request made meanwhile by another thread is not wiped out;
    // a refresh that fails leaves the request standing for the status thread.
    if ((status & kReEnumerateStatusBit) != 0 && g_reEnumerate.exchange(0) != 0) {
        if (RefreshPrinterPort() == 0)
            g_reEnumerate = 1;
    }
    QueueStatusPacket(flags[0], flags[1], flags[2]);
    return 0;
}

LRESULT OnDiscardedAlert(const DiscardedAlert &alert, WPARAM wParam)
{
    BYTE buffer[kAlertBufferSize];
    WORD size = 0;
    const DWORD code = FetchAlertData(wParam, buffer, &size);
    if (code != 0) {
        LogError(alert.failureLine, static_cast<int>(size), code);
        return 0;
    }
    TraceDump(buffer, DeliveredCount(size));
    return 0;
}

LRESULT OnValueAlert(WPARAM wParam)
{
    BYTE packet[kValuePacketSize];
    const WORD length = BuildValuePacket(packet, LOWORD(wParam));
    TraceDump(packet, length);
    QueueAddMessageRetry(&InboundQueue, packet, length, HIWORD(wParam));
    return 0;
}

LRESULT OnInkjetAlert(WPARAM wParam)
{
    BYTE buffer[kAlertBufferSize];
    WORD size = 0;
    const DWORD code = FetchAlertData(wParam, buffer, &size);
    if (code != 0) {
        LogError(kInkjetFailureLine, static_cast<int>(size), code);
        return 0;
    }
    BYTE packet[kAlertDataHeaderSize + kAlertDataMaxSize];
    const WORD length = BuildAlertDataPacket(packet, buffer, DeliveredCount(size));
    TraceDump(packet, length);
    QueueAddMessageRetry(&InboundQueue, packet, length, LOWORD(wParam));
    return 0;
}

LRESULT OnPrinterState(WPARAM wParam)
{
    const WORD state = HIWORD(wParam);
    if (state < kPrinterStateTexts.size())
        Trace(kPrinterStateTexts[state]);
    return 0;
}

LRESULT OnPrinterOk()
{
    QueueStatusPacket(0x01, 0x00, 0x00);
    return 0;
}

} // namespace

LRESULT CALLBACK AlertWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_TOV_STATUSCHANGE: return OnStatusChange(lParam);
    case WM_TOV_VALUE: return OnValueAlert(wParam);
    case WM_TOV_INKJETK20: return OnInkjetAlert(wParam);
    case WM_TOV_PRINTERSTATE: return OnPrinterState(wParam);
    case WM_QELAPP32_PRINTEROK: return OnPrinterOk();
    default: break;
    }
    if (const DiscardedAlert *alert = FindDiscardedAlert(message))
        return OnDiscardedAlert(*alert, wParam);
    if (IsIgnoredAlert(message))
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}
