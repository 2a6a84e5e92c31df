/*
 * qelapp32 client interface: everything a client needs to find a running instance
 * for a printer and talk to it. Plain C, so C and C++ clients can include it.
 *
 * A client reads "QelApp32Hwnd" under the printer's PrinterDriverData key and sends
 * the instance's hidden main window the messages below with SendMessageA. Buffers
 * passed in lParam are used as addresses in the instance's own process.
 *
 *     HWND service = QelFindInstanceWindow("Office Laser");
 *     LRESULT status = SendMessageA(service, WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE);
 */
#ifndef QELAPP32_CLIENT_H
#define QELAPP32_CLIENT_H

#include <windows.h>

/* Messages to the main window (WM_USER + 100 to WM_USER + 117). */
#define WM_QELAPP32_ENUMPRINTER   1124u
#define WM_QELAPP32_ENDJOB        1125u
#define WM_QELAPP32_READ          1126u
#define WM_QELAPP32_WRITE         1127u
#define WM_QELAPP32_GETSTATUS     1128u
#define WM_QELAPP32_GETDEVICEID   1129u
#define WM_QELAPP32_STARTDOC      1130u
#define WM_QELAPP32_ENDDOC        1131u
#define WM_QELAPP32_OPEN          1132u
#define WM_QELAPP32_CLOSE         1133u
#define WM_QELAPP32_SENDFILE      1134u
#define WM_QELAPP32_PING          1135u
#define WM_QELAPP32_CAPTUREALERTS 1136u
#define WM_QELAPP32_NOOP          1137u
#define WM_QELAPP32_UNUSED_1138   1138u
#define WM_QELAPP32_STOREDATA     1139u
#define WM_QELAPP32_RETRIEVEDATA  1140u
#define WM_QELAPP32_SENDFILE2     1141u

/* Messages the library posts to the alert window, and the status thread's own. */
#define WM_TOV_STATUSCHANGE   1524u
#define WM_TOV_FLASHDISK      1525u
#define WM_TOV_JOBACCOUNT     1526u
#define WM_TOV_PANEL          1527u
#define WM_TOV_PAGE           1528u
#define WM_TOV_PARTIALPAGE    1529u
#define WM_TOV_VALUE          1537u
#define WM_TOV_INKJETK20      1594u
#define WM_TOV_PRINTERSTATE   1596u
#define WM_QELAPP32_PRINTEROK 2024u

/* Answers. */
#define QEL_FAILURE              0xFFFFFFFFu /* 1124 and 1129 */
#define QEL_STATUS_ATTENTION     0x20u       /* 1128: attention pending, reported once */
#define QEL_STATUS_ERROR         0x80u       /* 1128: error condition */
#define QEL_STATUS_READY         0x98u       /* 1128: ready, or a network port */
#define QEL_BROADCAST_QUERY_DENY 0x424D5144u /* WM_POWERBROADCAST while a job is queued */

/* lParam of 1128. */
#define QEL_REFRESH_IF_DUE  0u /* refresh when more than 2000 ms passed, and wait */
#define QEL_REFRESH_NO_WAIT 1u /* refresh when due, wait only on the very first refresh */
#define QEL_REFRESH_FORCED  2u /* always refresh, and wait */

/* Sizes. */
#define QEL_MAX_MESSAGE_LENGTH 1024u /* a packet through 1127, a reply through 1126 */
#define QEL_STORE_NAME_SIZE    36u   /* "QelApp32StoreDataName", terminator included */
#define QEL_STORE_DATA_SIZE    512u  /* "QelApp32StoreData" */

/* Registry: HKEY_LOCAL_MACHINE\<prefix><printer name><suffix>. */
#define QEL_PRINTERS_KEY_PREFIX   "System\\CurrentControlSet\\control\\Print\\Printers\\"
#define QEL_DRIVER_DATA_SUFFIX    "\\PrinterDriverData"
#define QEL_VALUE_HWND            "QelApp32Hwnd"
#define QEL_VALUE_APPID           "QelApp32AppId"
#define QEL_VALUE_NON_BIDI        "NON BIDI MODE"
#define QEL_VALUE_STORE_NAME      "QelApp32StoreDataName"
#define QEL_VALUE_STORE_SIZE      "QelApp32StoreDataSize"
#define QEL_VALUE_STORE_DATA      "QelApp32StoreData"
#define QEL_VALUE_STORE_RETRIEVED "QelApp32StoreBytesRetrieved"
#define QEL_VALUE_PORT            "Port" /* on the printer's own key */

/* Event names, formatted with the printer name (clients create the last one). */
#define QEL_EVENT_INIT_FORMAT        "%s:QELAPP32_INIT_EVENT"
#define QEL_EVENT_INIT_CANCEL_FORMAT "%s:QELAPP32_INIT_CANCEL_EVENT"
#define QEL_EVENT_NEXT_JOB_FORMAT    "%s:QELAPP32_READY_FOR_NEXT_JOB"
#define QEL_EVENT_ALERT_INIT_FORMAT  "QelApp32_Alert_Init%s"
#define QEL_EVENT_WRITE_DATA_FORMAT  "QelApp32_Write_Data%s"
#define QEL_EVENT_GET_STATUS_FORMAT  "QelApp32_Get_Status%s"
#define QEL_EVENT_GOT_STATUS_FORMAT  "QelApp32_Got_Status%s"

/* Windows. */
#define QEL_MAIN_WINDOW_CLASS   "QelAPP32WndClass"
#define QEL_ALERT_WINDOW_CLASS  "QelAPP32AlertWndClass"
#define QEL_WINDOW_TITLE_PREFIX "VODUVI32 "

/* Packet frame: 0xA5, payload length (big-endian 16 bits), payload. */
#define QEL_PACKET_START       0xA5u
#define QEL_PACKET_HEADER_SIZE 3u
#define QEL_DOC_START_BYTE     1u /* first byte of a 1127 message that starts a document */
#define QEL_DOC_END_BYTE       2u /* first byte of a message that ends a document */

/* Packets the instance builds itself; clients read them through 1126 among the replies. */
#define QEL_STATUS_PACKET_SIZE        8u  /* a5 00 05 00 ff S5 S6 S7 */
#define QEL_VALUE_PACKET_SIZE         27u /* a5 00 18 50 fd 80 00 00 01 01 01 VH VL, fourteen ff */
#define QEL_VALUE_PACKET_VALUE_OFFSET 11u /* VH VL, big-endian */
#define QEL_ALERT_DATA_HEADER_SIZE    5u  /* a5 NH NL 51 f0, then the alert data */
/* Their payload's first two bytes, big-endian, tell them from the printer's replies. */
#define QEL_STATUS_PACKET_TYPE     0x00FFu
#define QEL_VALUE_PACKET_TYPE      0x50FDu
#define QEL_ALERT_DATA_PACKET_TYPE 0x51F0u

/* wParam of the channel messages: printer handle high, length or size low. */
#define QEL_MAKE_WPARAM(printerHandle, length)                                                                         \
    ((WPARAM)((((DWORD)(WORD)(printerHandle)) << 16) | (DWORD)(WORD)(length)))
#define QEL_PRINTER_HANDLE_OF(enumAnswer) ((WORD)(((DWORD)(enumAnswer)) >> 16))

/* The longest printer name a client's buffers take; the names and paths made from it fit
 * QEL_CLIENT_PATH_SIZE bytes. */
#define QEL_MAX_PRINTER_NAME 200
#define QEL_CLIENT_PATH_SIZE 300

/* The printer's PrinterDriverData key under HKEY_LOCAL_MACHINE, into QEL_CLIENT_PATH_SIZE
 * bytes; FALSE for a missing or over-long name. */
static __inline BOOL QelFormatDriverDataPath(char *path, const char *printerName)
{
    if (printerName == NULL || lstrlenA(printerName) > QEL_MAX_PRINTER_NAME)
        return FALSE;
    wsprintfA(path, "%s%s%s", QEL_PRINTERS_KEY_PREFIX, printerName, QEL_DRIVER_DATA_SUFFIX);
    return TRUE;
}

/* What the instance serving a printer published as "QelApp32Hwnd": FALSE when the value
 * (or the printer's key) is missing, else the value, 0 after an orderly end. */
static __inline BOOL QelReadPublishedWindow(const char *printerName, DWORD *value)
{
    char path[QEL_CLIENT_PATH_SIZE];
    HKEY key;
    DWORD size = sizeof(*value), type = 0;
    LONG read;
    *value = 0;
    if (!QelFormatDriverDataPath(path, printerName) ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return FALSE;
    read = RegQueryValueExA(key, QEL_VALUE_HWND, NULL, &type, (LPBYTE)value, &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS;
}

/* An instance that crashed leaves its "QelApp32Hwnd" behind, and the number may by now
 * name no window or someone else's: only a window of the instance's class whose title is
 * "VODUVI32 " and the printer name counts. For another process's window GetWindowTextA
 * reads the stored title without sending a message, so a hung instance cannot block it. */
static __inline BOOL QelIsInstanceWindow(HWND window, const char *printerName)
{
    char title[QEL_CLIENT_PATH_SIZE];
    char text[QEL_CLIENT_PATH_SIZE];
    if (window == NULL || printerName == NULL || lstrlenA(printerName) > QEL_MAX_PRINTER_NAME || !IsWindow(window))
        return FALSE;
    if (GetClassNameA(window, text, sizeof(text)) == 0 || lstrcmpiA(text, QEL_MAIN_WINDOW_CLASS) != 0)
        return FALSE;
    wsprintfA(title, "%s%s", QEL_WINDOW_TITLE_PREFIX, printerName);
    return GetWindowTextA(window, text, sizeof(text)) != 0 && lstrcmpiA(text, title) == 0;
}

/* Finds the main window of the instance serving a printer; NULL when none serves it. */
static __inline HWND QelFindInstanceWindow(const char *printerName)
{
    DWORD value = 0;
    const HWND window = QelReadPublishedWindow(printerName, &value) ? (HWND)(ULONG_PTR)value : NULL;
    return QelIsInstanceWindow(window, printerName) ? window : NULL;
}

#endif /* QELAPP32_CLIENT_H */
