/* The client library: one function per thing a client asks of an instance. Plain C, so
 * drivers and port monitors in C can link it; built for 32 and 64 bits alike. */
#include "qelapp32/qelclient.h"

#define QEL_PROCESS_ACCESS                                                                                             \
    (PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE)
/* The inbound stream has no event a client could wait on: it is asked this often. */
#define QEL_REPLY_POLL_MS 10u

/* ---- Buffers in the instance's process ----
 * The instance uses lParam as an address in its own process, so everything it reads or
 * writes is placed there. Each caller frees what it placed before it returns. */

static void *PlaceBuffer(const QelInstance *instance, DWORD size, const void *bytes, DWORD length)
{
    void *address;
    SIZE_T written = 0;
    if (instance->process == NULL)
        return NULL;
    address = VirtualAllocEx(instance->process, NULL, size == 0 ? 1 : size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (address == NULL)
        return NULL;
    /* The 32-bit instance can only use an address below 4 GB; a 64-bit caller checks. */
    if (((ULONGLONG)(ULONG_PTR)address >> 32) != 0 ||
        (length > 0 &&
         (!WriteProcessMemory(instance->process, address, bytes, length, &written) || written != length))) {
        VirtualFreeEx(instance->process, address, 0, MEM_RELEASE);
        return NULL;
    }
    return address;
}

static void FreeBuffer(const QelInstance *instance, void *address)
{
    /* Cleaning up never hides why a call failed. */
    const DWORD lastError = GetLastError();
    if (address != NULL)
        VirtualFreeEx(instance->process, address, 0, MEM_RELEASE);
    SetLastError(lastError);
}

static BOOL ReadBuffer(const QelInstance *instance, const void *address, void *into, DWORD length)
{
    SIZE_T read = 0;
    return length == 0 || (ReadProcessMemory(instance->process, address, into, length, &read) && read == length);
}

/* ---- Names ---- */

static BOOL FormatName(char *name, const char *format, const char *printerName)
{
    if (printerName == NULL || lstrlenA(printerName) > QEL_MAX_PRINTER_NAME)
        return FALSE;
    wsprintfA(name, format, printerName);
    return TRUE;
}

static HANDLE CreateNamedEvent(const char *format, const char *printerName)
{
    char name[QEL_CLIENT_PATH_SIZE];
    if (!FormatName(name, format, printerName))
        return NULL;
    return CreateEventA(NULL, FALSE, FALSE, name);
}

static void CloseOwned(HANDLE *handle)
{
    const DWORD lastError = GetLastError();
    if (*handle != NULL)
        CloseHandle(*handle);
    *handle = NULL;
    SetLastError(lastError);
}

/* ---- The instance ---- */

static QelResult OpenWindow(const char *printerName, HWND window, QelInstance *instance)
{
    ZeroMemory(instance, sizeof(*instance));
    if (window == NULL)
        return QEL_NO_INSTANCE;
    lstrcpynA(instance->printerName, printerName, sizeof(instance->printerName));
    instance->window = window;
    GetWindowThreadProcessId(window, &instance->processId);
    instance->process = OpenProcess(QEL_PROCESS_ACCESS, FALSE, instance->processId);
    return instance->process != NULL ? QEL_OK : QEL_SYSTEM;
}

QelResult QelOpenInstance(const char *printerName, QelInstance *instance)
{
    return OpenWindow(printerName, printerName == NULL ? NULL : QelFindInstanceWindow(printerName), instance);
}

void QelCloseInstance(QelInstance *instance)
{
    CloseOwned(&instance->process);
    instance->window = NULL;
    instance->processId = 0;
}

QelResult QelCreateStartEvents(const char *printerName, QelStartEvents *events)
{
    events->ready = CreateNamedEvent(QEL_EVENT_INIT_FORMAT, printerName);
    events->cancelled = CreateNamedEvent(QEL_EVENT_INIT_CANCEL_FORMAT, printerName);
    if (events->ready != NULL && events->cancelled != NULL)
        return QEL_OK;
    QelCloseStartEvents(events);
    return printerName == NULL || lstrlenA(printerName) > QEL_MAX_PRINTER_NAME ? QEL_BAD_ARGUMENT : QEL_SYSTEM;
}

void QelCloseStartEvents(QelStartEvents *events)
{
    CloseOwned(&events->ready);
    CloseOwned(&events->cancelled);
}

QelResult QelAwaitStart(const QelStartEvents *events, HANDLE process, HANDLE stop, const char *printerName,
                        DWORD timeoutMs, QelInstance *instance)
{
    HANDLE waitFor[4];
    DWORD count = 0;
    DWORD result;
    ZeroMemory(instance, sizeof(*instance));
    waitFor[count++] = events->ready;
    waitFor[count++] = events->cancelled;
    waitFor[count++] = process != NULL ? process : events->cancelled;
    if (stop != NULL)
        waitFor[count++] = stop;
    result = WaitForMultipleObjects(count, waitFor, FALSE, timeoutMs);
    if (result == WAIT_OBJECT_0)
        return OpenWindow(printerName, QelFindInstanceWindow(printerName), instance);
    if (result == WAIT_OBJECT_0 + 1)
        return QEL_CANCELLED;
    if (result == WAIT_OBJECT_0 + 2)
        return QEL_ENDED;
    return result == WAIT_TIMEOUT || result == WAIT_OBJECT_0 + 3 ? QEL_NOT_ANSWERED : QEL_SYSTEM;
}

QelResult QelStartInstance(const char *programPath, const char *printerName, DWORD timeoutMs, QelInstance *instance)
{
    /* The program takes everything after its own name, blanks included, as the printer name;
     * its name runs to the first blank, so the path goes separately. */
    char commandLine[QEL_CLIENT_PATH_SIZE];
    STARTUPINFOA startup;
    PROCESS_INFORMATION started;
    QelStartEvents events;
    QelResult result;
    ZeroMemory(instance, sizeof(*instance));
    if (programPath == NULL || !FormatName(commandLine, "qelapp32.exe %s", printerName))
        return QEL_BAD_ARGUMENT;
    result = QelCreateStartEvents(printerName, &events);
    if (result != QEL_OK)
        return result;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    if (!CreateProcessA(programPath, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started)) {
        QelCloseStartEvents(&events);
        return QEL_SYSTEM;
    }
    result = QelAwaitStart(&events, started.hProcess, NULL, printerName, timeoutMs, instance);
    CloseOwned(&started.hThread);
    CloseOwned(&started.hProcess);
    QelCloseStartEvents(&events);
    return result;
}

QelResult QelSend(const QelInstance *instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                  DWORD_PTR *raw)
{
    DWORD_PTR answer = 0;
    if (instance == NULL || instance->window == NULL)
        return QEL_NO_INSTANCE;
    if (!SendMessageTimeoutA(instance->window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &answer))
        return QEL_NOT_ANSWERED;
    if (raw != NULL)
        *raw = answer;
    return QEL_OK;
}

/* Sends; the caller gets the raw answer, this file its low 32 bits. */
static QelResult Ask(const QelInstance *instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                     DWORD *answer, DWORD_PTR *raw)
{
    DWORD_PTR received = 0;
    const QelResult result = QelSend(instance, message, wParam, lParam, timeoutMs, &received);
    if (result == QEL_OK && raw != NULL)
        *raw = received;
    *answer = QEL_ANSWER(received);
    return result;
}

static DWORD TimeLeft(DWORD start, DWORD timeoutMs)
{
    const DWORD elapsed = GetTickCount() - start;
    return elapsed < timeoutMs ? timeoutMs - elapsed : 0;
}

QelResult QelEndInstance(QelInstance *instance, WORD appId, WORD printerHandle, DWORD timeoutMs, DWORD_PTR *raw)
{
    /* The instance only opens this event and signals it last of all: it must exist first. */
    HANDLE nextJob = CreateNamedEvent(QEL_EVENT_NEXT_JOB_FORMAT, instance->printerName);
    const DWORD start = GetTickCount();
    DWORD answer = 0;
    QelResult result;
    if (nextJob == NULL)
        return QEL_SYSTEM;
    result = Ask(instance, WM_QELAPP32_ENDJOB, appId, MAKELPARAM(0, printerHandle), timeoutMs, &answer, raw);
    if (result == QEL_OK && WaitForSingleObject(nextJob, TimeLeft(start, timeoutMs)) != WAIT_OBJECT_0)
        result = QEL_NOT_ANSWERED;
    if (result == QEL_OK && instance->process != NULL &&
        WaitForSingleObject(instance->process, TimeLeft(start, timeoutMs)) != WAIT_OBJECT_0)
        result = QEL_NOT_ANSWERED;
    CloseOwned(&nextJob);
    return result == QEL_OK && answer != 1 ? QEL_REFUSED : result;
}

/* ---- The requests ---- */

/* Requests that answer 1 when they did what was asked and 0 when they did not. */
static QelResult AskOneOrZero(const QelInstance *instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                              DWORD_PTR *raw)
{
    DWORD answer = 0;
    const QelResult result = Ask(instance, message, wParam, lParam, timeoutMs, &answer, raw);
    return result != QEL_OK ? result : answer == 1 ? QEL_OK : QEL_REFUSED;
}

QelResult QelEnumPrinter(const QelInstance *instance, WORD *printerHandle, WORD *flag, DWORD timeoutMs, DWORD_PTR *raw)
{
    DWORD answer = 0;
    const QelResult result = Ask(instance, WM_QELAPP32_ENUMPRINTER, 0, 0, timeoutMs, &answer, raw);
    if (result != QEL_OK || answer == QEL_FAILURE)
        return result != QEL_OK ? result : QEL_REFUSED;
    if (printerHandle != NULL)
        *printerHandle = QEL_PRINTER_HANDLE_OF(answer);
    if (flag != NULL)
        *flag = LOWORD(answer);
    return QEL_OK;
}

/* 1126 into a buffer already placed in the instance. */
static QelResult ReadPlaced(const QelInstance *instance, void *remote, void *buffer, DWORD size, DWORD *length,
                            DWORD timeoutMs, DWORD_PTR *raw)
{
    DWORD answer = 0;
    QelResult result =
        Ask(instance, WM_QELAPP32_READ, QEL_MAKE_WPARAM(0, size), (LPARAM)remote, timeoutMs, &answer, raw);
    /* The answer is the stored length; a smaller buffer got only its own size of it. */
    *length = result == QEL_OK ? LOWORD(answer) : 0;
    if (result == QEL_OK && !ReadBuffer(instance, remote, buffer, *length < size ? *length : size))
        result = QEL_NO_BUFFER;
    return result;
}

QelResult QelRead(const QelInstance *instance, void *buffer, DWORD size, DWORD *length, DWORD timeoutMs, DWORD_PTR *raw)
{
    QelResult result;
    void *remote;
    *length = 0;
    if (size > 0xFFFF || (buffer == NULL && size != 0))
        return QEL_BAD_ARGUMENT;
    remote = PlaceBuffer(instance, size, NULL, 0);
    result = remote == NULL ? QEL_NO_BUFFER : ReadPlaced(instance, remote, buffer, size, length, timeoutMs, raw);
    FreeBuffer(instance, remote);
    return result;
}

QelResult QelWrite(const QelInstance *instance, WORD printerHandle, const void *bytes, DWORD length, DWORD timeoutMs,
                   DWORD_PTR *raw)
{
    QelResult result;
    void *remote;
    if (bytes == NULL || length == 0 || length > QEL_MAX_MESSAGE_LENGTH)
        return QEL_BAD_ARGUMENT;
    remote = PlaceBuffer(instance, length, bytes, length);
    /* 1127 answers 0 whatever happened: being answered is all it tells. */
    result = remote == NULL ? QEL_NO_BUFFER
                            : QelSend(instance, WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(printerHandle, length),
                                      (LPARAM)remote, timeoutMs, raw);
    FreeBuffer(instance, remote);
    return result;
}

QelResult QelGetStatus(const QelInstance *instance, DWORD refreshMode, DWORD *status, DWORD timeoutMs, DWORD_PTR *raw)
{
    return Ask(instance, WM_QELAPP32_GETSTATUS, 0, (LPARAM)refreshMode, timeoutMs, status, raw);
}

QelResult QelGetDeviceId(const QelInstance *instance, WORD printerHandle, char *buffer, DWORD size, DWORD *length,
                         DWORD timeoutMs, DWORD_PTR *raw)
{
    DWORD answer = 0;
    QelResult result;
    void *remote;
    *length = 0;
    if ((buffer == NULL && size != 0) || size > 0xFFFF)
        return QEL_BAD_ARGUMENT;
    remote = PlaceBuffer(instance, size, NULL, 0);
    if (remote == NULL)
        return QEL_NO_BUFFER;
    result = Ask(instance, WM_QELAPP32_GETDEVICEID, QEL_MAKE_WPARAM(printerHandle, size), (LPARAM)remote, timeoutMs,
                 &answer, raw);
    if (result == QEL_OK && (answer == QEL_FAILURE || answer == 0))
        result = QEL_REFUSED;
    if (result == QEL_OK)
        *length = answer < size ? answer : size;
    if (result == QEL_OK && !ReadBuffer(instance, remote, buffer, *length))
        result = QEL_NO_BUFFER;
    FreeBuffer(instance, remote);
    return result;
}

QelResult QelStartDoc(const QelInstance *instance, WORD printerHandle, DWORD timeoutMs, DWORD_PTR *raw)
{
    return AskOneOrZero(instance, WM_QELAPP32_STARTDOC, QEL_MAKE_WPARAM(printerHandle, 0), 0, timeoutMs, raw);
}

QelResult QelEndDoc(const QelInstance *instance, WORD printerHandle, DWORD timeoutMs, DWORD_PTR *raw)
{
    return AskOneOrZero(instance, WM_QELAPP32_ENDDOC, QEL_MAKE_WPARAM(printerHandle, 0), 0, timeoutMs, raw);
}

/* The requests that take nothing and answer 1 or 0. */
#define QEL_DEFINE_PLAIN_REQUEST(function, message)                                                                    \
    QelResult function(const QelInstance *instance, DWORD timeoutMs, DWORD_PTR *raw)                                   \
    {                                                                                                                  \
        return AskOneOrZero(instance, message, 0, 0, timeoutMs, raw);                                                  \
    }
QEL_DEFINE_PLAIN_REQUEST(QelOpen, WM_QELAPP32_OPEN)
QEL_DEFINE_PLAIN_REQUEST(QelClose, WM_QELAPP32_CLOSE)
QEL_DEFINE_PLAIN_REQUEST(QelPing, WM_QELAPP32_PING)
QEL_DEFINE_PLAIN_REQUEST(QelCaptureAlerts, WM_QELAPP32_CAPTUREALERTS)
QEL_DEFINE_PLAIN_REQUEST(QelNoop, WM_QELAPP32_NOOP)

static BOOL IsSendFileMessage(UINT message)
{
    return message == WM_QELAPP32_SENDFILE || message == WM_QELAPP32_SENDFILE2;
}

QelResult QelSendFile(const QelInstance *instance, UINT message, const char *fileName, DWORD timeoutMs, DWORD_PTR *raw)
{
    QelResult result;
    void *remote;
    DWORD size;
    if (!IsSendFileMessage(message) || fileName == NULL || fileName[0] == '\0')
        return QEL_BAD_ARGUMENT;
    /* The instance copies the name before it answers, so the buffer may go at once. */
    size = (DWORD)lstrlenA(fileName) + 1;
    remote = PlaceBuffer(instance, size, fileName, size);
    if (remote == NULL)
        return QEL_NO_BUFFER;
    result = AskOneOrZero(instance, message, 0, (LPARAM)remote, timeoutMs, raw);
    FreeBuffer(instance, remote);
    return result;
}

QelResult QelIsSendingFile(const QelInstance *instance, UINT message, BOOL *running, DWORD timeoutMs, DWORD_PTR *raw)
{
    DWORD answer = 0;
    QelResult result;
    if (!IsSendFileMessage(message))
        return QEL_BAD_ARGUMENT;
    result = Ask(instance, message, 0, 0, timeoutMs, &answer, raw);
    *running = result == QEL_OK && answer == 1;
    return result;
}

/* ---- The store and retrieve mailbox ---- */

/* Holds the printer's mailbox mutex, and its PrinterDriverData key open for the values. */
typedef struct Mailbox {
    HANDLE mutex;
    HKEY key;
} Mailbox;

static void CloseMailbox(Mailbox *mailbox)
{
    const DWORD lastError = GetLastError();
    if (mailbox->key != NULL)
        RegCloseKey(mailbox->key);
    if (mailbox->mutex != NULL)
        ReleaseMutex(mailbox->mutex);
    CloseOwned(&mailbox->mutex);
    SetLastError(lastError);
}

/* QEL_NOT_ANSWERED when another client kept the mailbox for the whole time bound. */
static QelResult OpenMailbox(const QelInstance *instance, const char *name, DWORD timeoutMs, Mailbox *mailbox)
{
    char path[QEL_CLIENT_PATH_SIZE];
    DWORD waited;
    mailbox->key = NULL;
    mailbox->mutex = NULL;
    if (name == NULL || lstrlenA(name) >= (int)QEL_STORE_NAME_SIZE ||
        !FormatName(path, QEL_MAILBOX_MUTEX_FORMAT, instance->printerName))
        return QEL_BAD_ARGUMENT;
    mailbox->mutex = CreateMutexA(NULL, FALSE, path);
    if (mailbox->mutex == NULL)
        return QEL_SYSTEM;
    /* A client that died holding the mailbox leaves it abandoned, not locked for ever. */
    waited = WaitForSingleObject(mailbox->mutex, timeoutMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseOwned(&mailbox->mutex);
        return QEL_NOT_ANSWERED;
    }
    QelFormatDriverDataPath(path, instance->printerName); /* the name fitted the mutex's */
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &mailbox->key) != ERROR_SUCCESS) {
        mailbox->key = NULL;
        CloseMailbox(mailbox);
        return QEL_SYSTEM;
    }
    return QEL_OK;
}

static BOOL SetMailboxRequest(const Mailbox *mailbox, const char *name, DWORD size)
{
    return RegSetValueExA(mailbox->key, QEL_VALUE_STORE_NAME, 0, REG_SZ, (const BYTE *)name,
                          (DWORD)lstrlenA(name) + 1) == ERROR_SUCCESS &&
           RegSetValueExA(mailbox->key, QEL_VALUE_STORE_SIZE, 0, REG_DWORD, (const BYTE *)&size, sizeof(size)) ==
               ERROR_SUCCESS;
}

QelResult QelStoreData(const QelInstance *instance, const char *name, const void *data, DWORD size, DWORD timeoutMs,
                       DWORD_PTR *raw)
{
    Mailbox mailbox;
    QelResult result;
    if (size > QEL_STORE_DATA_SIZE || (data == NULL && size != 0))
        return QEL_BAD_ARGUMENT;
    result = OpenMailbox(instance, name, timeoutMs, &mailbox);
    if (result != QEL_OK)
        return result;
    if (!SetMailboxRequest(&mailbox, name, size) ||
        RegSetValueExA(mailbox.key, QEL_VALUE_STORE_DATA, 0, REG_BINARY, (const BYTE *)data, size) != ERROR_SUCCESS)
        result = QEL_SYSTEM;
    else
        result = AskOneOrZero(instance, WM_QELAPP32_STOREDATA, 0, 0, timeoutMs, raw);
    CloseMailbox(&mailbox);
    return result;
}

QelResult QelRetrieveData(const QelInstance *instance, const char *name, void *buffer, DWORD size, DWORD *delivered,
                          DWORD timeoutMs, DWORD_PTR *raw)
{
    Mailbox mailbox;
    QelResult result;
    DWORD count = 0, length = sizeof(count), type = 0;
    *delivered = 0;
    if (buffer == NULL || size > QEL_STORE_DATA_SIZE)
        return QEL_BAD_ARGUMENT;
    result = OpenMailbox(instance, name, timeoutMs, &mailbox);
    if (result != QEL_OK)
        return result;
    /* A refused retrieve writes nothing: old results must not pass for new ones. */
    RegDeleteValueA(mailbox.key, QEL_VALUE_STORE_RETRIEVED);
    RegDeleteValueA(mailbox.key, QEL_VALUE_STORE_DATA);
    if (!SetMailboxRequest(&mailbox, name, size))
        result = QEL_SYSTEM;
    else
        result = AskOneOrZero(instance, WM_QELAPP32_RETRIEVEDATA, 0, 0, timeoutMs, raw);
    if (result == QEL_OK && (RegQueryValueExA(mailbox.key, QEL_VALUE_STORE_RETRIEVED, NULL, &type, (BYTE *)&count,
                                              &length) != ERROR_SUCCESS ||
                             count > size))
        result = QEL_SYSTEM;
    length = count;
    if (result == QEL_OK && count > 0 &&
        RegQueryValueExA(mailbox.key, QEL_VALUE_STORE_DATA, NULL, &type, (BYTE *)buffer, &length) != ERROR_SUCCESS)
        result = QEL_SYSTEM;
    if (result == QEL_OK)
        *delivered = count;
    CloseMailbox(&mailbox);
    return result;
}

/* ---- A packet and its reply ---- */

QelPacketKind QelClassifyPacket(const void *bytes, DWORD length)
{
    const BYTE *packet = (const BYTE *)bytes;
    DWORD type;
    if (packet == NULL || length < QEL_PACKET_HEADER_SIZE + 2 || packet[0] != QEL_PACKET_START ||
        ((DWORD)packet[1] << 8 | packet[2]) != length - QEL_PACKET_HEADER_SIZE)
        return QEL_PACKET_REPLY;
    type = (DWORD)packet[3] << 8 | packet[4];
    if (type == QEL_STATUS_PACKET_TYPE && length == QEL_STATUS_PACKET_SIZE)
        return QEL_PACKET_STATUS;
    if (type == QEL_VALUE_PACKET_TYPE && length == QEL_VALUE_PACKET_SIZE)
        return QEL_PACKET_VALUE;
    if (type == QEL_ALERT_DATA_PACKET_TYPE)
        return QEL_PACKET_ALERT_DATA;
    return QEL_PACKET_REPLY;
}

/* TRUE when the stop event came during the pause. */
static BOOL PauseUnlessStopped(HANDLE stop, DWORD pauseMs)
{
    if (stop != NULL)
        return WaitForSingleObject(stop, pauseMs) == WAIT_OBJECT_0;
    Sleep(pauseMs);
    return FALSE;
}

QelResult QelWriteAndReadReply(const QelInstance *instance, WORD printerHandle, const void *packet, DWORD length,
                               void *reply, DWORD replySize, DWORD *replyLength, const QelReplyWait *wait,
                               DWORD_PTR *raw)
{
    BYTE message[QEL_MAX_MESSAGE_LENGTH];
    const DWORD start = GetTickCount();
    const DWORD pollMs = wait->pollMs != 0 ? wait->pollMs : QEL_REPLY_POLL_MS;
    DWORD elapsed, taken = 0;
    QelPacketKind kind;
    QelResult result;
    void *remote;
    *replyLength = 0;
    if (reply == NULL && replySize != 0)
        return QEL_BAD_ARGUMENT;
    /* One buffer for every read of the poll: placing one costs as much as the read itself. */
    remote = PlaceBuffer(instance, sizeof(message), NULL, 0);
    if (remote == NULL)
        return QEL_NO_BUFFER;
    result = QelWrite(instance, printerHandle, packet, length,
                      wait->writeTimeoutMs != 0 ? wait->writeTimeoutMs : wait->timeoutMs, raw);
    while (result == QEL_OK) {
        elapsed = GetTickCount() - start;
        if (elapsed >= wait->timeoutMs)
            result = QEL_NO_REPLY;
        else
            result = ReadPlaced(instance, remote, message, sizeof(message), &taken, wait->timeoutMs - elapsed, raw);
        taken = taken < sizeof(message) ? taken : sizeof(message);
        kind = QelClassifyPacket(message, taken);
        if (result != QEL_OK || (taken > 0 && kind == QEL_PACKET_REPLY))
            break;
        if (taken > 0 && wait->sink != NULL)
            wait->sink(wait->sinkContext, kind, message, taken);
        /* Only an empty stream is worth a pause; what came first is asked after at once. */
        if (taken == 0 && PauseUnlessStopped(wait->stop, pollMs))
            result = QEL_NO_REPLY;
    }
    FreeBuffer(instance, remote);
    if (result == QEL_OK) {
        *replyLength = taken;
        CopyMemory(reply, message, taken < replySize ? taken : replySize);
    }
    return result;
}
