/*
 * qelclient: the client side of a qelapp32 instance in one small static library, for
 * 32-bit and 64-bit clients alike. Plain C; link qelclient and user32, advapi32.
 *
 * Every call takes a time bound in milliseconds (a hung instance answers QEL_NOT_ANSWERED,
 * it never hangs the client), frees every buffer it placed in the instance's process
 * before it returns, and hands back the instance's raw answer through `raw` (may be NULL)
 * whenever the instance answered.
 *
 *     QelInstance instance;
 *     WORD handle, flag;
 *     if (QelOpenInstance("Office Laser", &instance) != QEL_OK) return;
 *     if (QelEnumPrinter(&instance, &handle, &flag, 5000, NULL) == QEL_OK)
 *         QelWrite(&instance, handle, packet, sizeof(packet), 5000, NULL);
 *     QelCloseInstance(&instance);
 */
#ifndef QELAPP32_QELCLIENT_H
#define QELAPP32_QELCLIENT_H

#include "qelapp32/client.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The instance answers from a 32-bit window procedure. A 64-bit caller receives that
 * answer sign-extended (0xFFFFFFFF arrives as 0xFFFFFFFFFFFFFFFF), so an answer is only
 * ever read through its low 32 bits: QEL_ANSWER(raw) == QEL_FAILURE holds in both bitnesses. */
#define QEL_ANSWER(raw)     ((DWORD)(DWORD_PTR)(raw))
#define QEL_IS_FAILURE(raw) (QEL_ANSWER(raw) == QEL_FAILURE)

/* What a call came to. */
typedef enum QelResult {
    QEL_OK = 0,           /* the instance answered success */
    QEL_REFUSED = 1,      /* it answered its failure answer (0, or 0xFFFFFFFF for 1124 and 1129) */
    QEL_NOT_ANSWERED = 2, /* no answer within the time bound, or the window is gone */
    QEL_NO_INSTANCE = 3,  /* no instance serves the printer */
    QEL_NO_BUFFER = 4,    /* no buffer could be placed in or read from the instance's process */
    QEL_BAD_ARGUMENT = 5, /* a size or name out of bounds; nothing was sent */
    QEL_CANCELLED = 6,    /* the instance cancelled its start-up */
    QEL_ENDED = 7,        /* the instance's process ended before it served */
    QEL_SYSTEM = 8,       /* an event, mutex, process or registry value could not be made; see GetLastError */
    QEL_NO_REPLY = 9      /* the packet went out, but no reply came in time (or the wait was stopped) */
} QelResult;

/* The instance that serves one printer, as the calls need it. */
typedef struct QelInstance {
    char printerName[QEL_MAX_PRINTER_NAME + 1];
    HWND window;
    HANDLE process; /* read, write and wait access; NULL when it could not be opened */
    DWORD processId;
} QelInstance;

/* Finds the instance serving the printer and opens its process: QEL_NO_INSTANCE when none
 * serves it, QEL_SYSTEM when the process cannot be opened (the window is still set, and
 * the requests without buffers still work). */
QelResult QelOpenInstance(const char *printerName, QelInstance *instance);
void QelCloseInstance(QelInstance *instance);

/* Starting an instance as a port monitor does: the init and init-cancel events exist
 * before the process starts, then the client waits for the first of them or the end of
 * the process. QelStartInstance does all of it for "<programPath> <printerName>"; a
 * client that creates the process itself calls the three steps around its CreateProcess. */
typedef struct QelStartEvents {
    HANDLE ready;
    HANDLE cancelled;
} QelStartEvents;

QelResult QelStartInstance(const char *programPath, const char *printerName, DWORD timeoutMs, QelInstance *instance);
QelResult QelCreateStartEvents(const char *printerName, QelStartEvents *events);
/* QEL_OK with the instance opened, QEL_CANCELLED, QEL_ENDED, or QEL_NOT_ANSWERED on timeout
 * or when the caller's stop event (may be NULL) was signalled. */
QelResult QelAwaitStart(const QelStartEvents *events, HANDLE process, HANDLE stop, const char *printerName,
                        DWORD timeoutMs, QelInstance *instance);
void QelCloseStartEvents(QelStartEvents *events);

/* 1125: creates the ready-for-next-job event, asks the instance to end and waits for the
 * event, then for the process, within timeoutMs. QEL_OK when it ended and answered 1;
 * QEL_REFUSED when it ended but reported a failed step. The instance stays open. */
QelResult QelEndInstance(QelInstance *instance, WORD appId, WORD printerHandle, DWORD timeoutMs, DWORD_PTR *raw);

/* Any message, as it stands: QEL_OK, QEL_NOT_ANSWERED, or QEL_NO_INSTANCE without a window. */
QelResult QelSend(const QelInstance *instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                  DWORD_PTR *raw);

/* One call per request. The handle is the printer handle that 1124 answers. */
QelResult QelEnumPrinter(const QelInstance *instance, WORD *printerHandle, WORD *flag, DWORD timeoutMs,
                         DWORD_PTR *raw); /* 1124 */
QelResult QelRead(const QelInstance *instance, void *buffer, DWORD size, DWORD *length, DWORD timeoutMs,
                  DWORD_PTR *raw); /* 1126: *length is the message's whole length, of which at most size
                                      bytes were copied; 0 when nothing waited. size <= 0xFFFF */
QelResult QelWrite(const QelInstance *instance, WORD printerHandle, const void *bytes, DWORD length, DWORD timeoutMs,
                   DWORD_PTR *raw); /* 1127: length 1 .. QEL_MAX_MESSAGE_LENGTH */
QelResult QelGetStatus(const QelInstance *instance, DWORD refreshMode, DWORD *status, DWORD timeoutMs,
                       DWORD_PTR *raw); /* 1128 */
QelResult QelGetDeviceId(const QelInstance *instance, WORD printerHandle, char *buffer, DWORD size, DWORD *length,
                         DWORD timeoutMs, DWORD_PTR *raw); /* 1129: refused on -1 and on an empty ID */
QelResult QelStartDoc(const QelInstance *instance, WORD printerHandle, DWORD timeoutMs, DWORD_PTR *raw); /* 1130 */
QelResult QelEndDoc(const QelInstance *instance, WORD printerHandle, DWORD timeoutMs, DWORD_PTR *raw);   /* 1131 */
QelResult QelOpen(const QelInstance *instance, DWORD timeoutMs, DWORD_PTR *raw);                         /* 1132 */
QelResult QelClose(const QelInstance *instance, DWORD timeoutMs, DWORD_PTR *raw);                        /* 1133 */
/* 1134 or 1141 (message) with a file name relative to the system directory. */
QelResult QelSendFile(const QelInstance *instance, UINT message, const char *fileName, DWORD timeoutMs, DWORD_PTR *raw);
/* 1134 or 1141 without a name: *running is TRUE while a file is being sent. */
QelResult QelIsSendingFile(const QelInstance *instance, UINT message, BOOL *running, DWORD timeoutMs, DWORD_PTR *raw);
QelResult QelPing(const QelInstance *instance, DWORD timeoutMs, DWORD_PTR *raw);          /* 1135 */
QelResult QelCaptureAlerts(const QelInstance *instance, DWORD timeoutMs, DWORD_PTR *raw); /* 1136 */
QelResult QelNoop(const QelInstance *instance, DWORD timeoutMs, DWORD_PTR *raw);          /* 1137 */
/* 1139 and 1140 through the registry mailbox, held under a mutex per printer while the
 * values are written, the message answered and the results read. name < QEL_STORE_NAME_SIZE
 * bytes, size <= QEL_STORE_DATA_SIZE. */
QelResult QelStoreData(const QelInstance *instance, const char *name, const void *data, DWORD size, DWORD timeoutMs,
                       DWORD_PTR *raw);
QelResult QelRetrieveData(const QelInstance *instance, const char *name, void *buffer, DWORD size, DWORD *delivered,
                          DWORD timeoutMs, DWORD_PTR *raw);
/* The mutex every client holds around the mailbox, named as the instance's events are. */
#define QEL_MAILBOX_MUTEX_FORMAT "%s:QELAPP32_MAILBOX"

/* The packets the instance queues into the inbound stream itself, told apart from the
 * printer's replies by their payload's first two bytes (QEL_*_PACKET_TYPE in client.h). */
typedef enum QelPacketKind {
    QEL_PACKET_REPLY = 0, /* anything else: the printer's own */
    QEL_PACKET_STATUS = 1,
    QEL_PACKET_VALUE = 2,
    QEL_PACKET_ALERT_DATA = 3
} QelPacketKind;

QelPacketKind QelClassifyPacket(const void *bytes, DWORD length);

/* Receives each instance-built packet the reply call met, in the order met. */
typedef void (*QelPacketSink)(void *context, QelPacketKind kind, const BYTE *bytes, DWORD length);

/* How the reply call waits for the reply. */
typedef struct QelReplyWait {
    DWORD timeoutMs;      /* for the reply, counted from the start of the call */
    DWORD writeTimeoutMs; /* for the answer to 1127, which waits while the queue is full; 0: timeoutMs */
    DWORD pollMs;         /* pause after an empty 1126; 0 means 10 ms */
    HANDLE stop;          /* an event that ends the wait early (QEL_NO_REPLY), or NULL */
    QelPacketSink sink;   /* the instance-built packets met on the way, or NULL to drop them */
    void *sinkContext;
} QelReplyWait;

/* 1127 with the packet, then 1126 until the printer's reply arrives: QEL_OK with the reply
 * copied to reply (at most replySize bytes; its whole length in *replyLength), or
 * QEL_NO_REPLY. raw gets the answer of the last message sent. */
QelResult QelWriteAndReadReply(const QelInstance *instance, WORD printerHandle, const void *packet, DWORD length,
                               void *reply, DWORD replySize, DWORD *replyLength, const QelReplyWait *wait,
                               DWORD_PTR *raw);

#ifdef __cplusplus
}
#endif

#endif /* QELAPP32_QELCLIENT_H */
