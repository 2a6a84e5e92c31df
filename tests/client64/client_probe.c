/* client_probe [--start PROGRAM] PRINTER STEP...: starts the service for the printer first
 * (QelStartInstance) when asked, then runs each step through the client library and prints one
 * line per step, "<step>:[ what it gave] <result> raw=<the answer as received, 16 hex
 * digits>", so a test sees exactly what a 64-bit caller received. Steps:
 *
 *   enum status deviceid read startdoc enddoc open close ping capture noop sending
 *   write:HEX reply:HEX sendfile:NAME sendfile2:NAME store:NAME:HEX retrieve:NAME:SIZE
 *   end:APPID
 *
 * The printer handle of the channel steps is the one the last enum answered. Plain C on
 * purpose: the library must serve C clients. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qelapp32/qelclient.h"

#define TIMEOUT_MS 20000u

static const char *const kResultNames[] = {"ok",      "refused",   "not-answered", "no-instance", "no-buffer",
                                           "bad-arg", "cancelled", "ended",        "system",      "no-reply"};
static const char *const kKindNames[] = {"reply", "status", "value", "alert"};

static void PrintHex(const BYTE *bytes, DWORD length)
{
    DWORD i;
    for (i = 0; i < length; ++i)
        printf("%02x", bytes[i]);
}

static DWORD ParseHex(const char *text, BYTE *bytes, DWORD size)
{
    DWORD length = 0;
    unsigned value;
    while (length < size && sscanf(text + 2 * length, "%2x", &value) == 1)
        bytes[length++] = (BYTE)value;
    return length;
}

static void PrintMet(void *context, QelPacketKind kind, const BYTE *bytes, DWORD length)
{
    (void)context;
    printf(" met-%s=", kKindNames[kind]);
    PrintHex(bytes, length);
}

/* The text after "name:", or NULL when the step is not that one. */
static const char *Argument(const char *step, const char *name)
{
    const size_t length = strlen(name);
    return strncmp(step, name, length) == 0 && step[length] == ':' ? step + length + 1 : NULL;
}

static QelResult RunStep(QelInstance *instance, const char *step, WORD *handle, DWORD_PTR *raw)
{
    BYTE bytes[QEL_MAX_MESSAGE_LENGTH];
    char name[QEL_STORE_NAME_SIZE + 8];
    DWORD length = 0, value = 0;
    WORD flag = 0;
    BOOL running = FALSE;
    QelResult result;
    const char *argument;
    if (strcmp(step, "enum") == 0) {
        result = QelEnumPrinter(instance, handle, &flag, TIMEOUT_MS, raw);
        printf(" handle=%u flag=%u", *handle, flag);
    } else if (strcmp(step, "status") == 0) {
        result = QelGetStatus(instance, QEL_REFRESH_FORCED, &value, TIMEOUT_MS, raw);
        printf(" status=0x%lx", (unsigned long)value);
    } else if (strcmp(step, "deviceid") == 0) {
        result = QelGetDeviceId(instance, *handle, (char *)bytes, sizeof(bytes), &length, TIMEOUT_MS, raw);
        printf(" id=%.*s", (int)length, (const char *)bytes);
    } else if (strcmp(step, "read") == 0) {
        result = QelRead(instance, bytes, sizeof(bytes), &length, TIMEOUT_MS, raw);
        printf(" bytes=");
        PrintHex(bytes, length);
    } else if ((argument = Argument(step, "write")) != NULL) {
        result = QelWrite(instance, *handle, bytes, ParseHex(argument, bytes, sizeof(bytes)), TIMEOUT_MS, raw);
    } else if ((argument = Argument(step, "reply")) != NULL) {
        BYTE reply[QEL_MAX_MESSAGE_LENGTH];
        QelReplyWait wait = {TIMEOUT_MS, 0, 0, NULL, PrintMet, NULL};
        result = QelWriteAndReadReply(instance, *handle, bytes, ParseHex(argument, bytes, sizeof(bytes)), reply,
                                      sizeof(reply), &length, &wait, raw);
        printf(" reply=");
        PrintHex(reply, length);
    } else if (strcmp(step, "startdoc") == 0) {
        result = QelStartDoc(instance, *handle, TIMEOUT_MS, raw);
    } else if (strcmp(step, "enddoc") == 0) {
        result = QelEndDoc(instance, *handle, TIMEOUT_MS, raw);
    } else if (strcmp(step, "open") == 0) {
        result = QelOpen(instance, TIMEOUT_MS, raw);
    } else if (strcmp(step, "close") == 0) {
        result = QelClose(instance, TIMEOUT_MS, raw);
    } else if (strcmp(step, "ping") == 0) {
        result = QelPing(instance, TIMEOUT_MS, raw);
    } else if (strcmp(step, "capture") == 0) {
        result = QelCaptureAlerts(instance, TIMEOUT_MS, raw);
    } else if (strcmp(step, "noop") == 0) {
        result = QelNoop(instance, TIMEOUT_MS, raw);
    } else if (strcmp(step, "sending") == 0) {
        result = QelIsSendingFile(instance, WM_QELAPP32_SENDFILE, &running, TIMEOUT_MS, raw);
        printf(" running=%d", running ? 1 : 0);
    } else if ((argument = Argument(step, "sendfile")) != NULL) {
        result = QelSendFile(instance, WM_QELAPP32_SENDFILE, argument, TIMEOUT_MS, raw);
    } else if ((argument = Argument(step, "sendfile2")) != NULL) {
        result = QelSendFile(instance, WM_QELAPP32_SENDFILE2, argument, TIMEOUT_MS, raw);
    } else if ((argument = Argument(step, "store")) != NULL && strchr(argument, ':') != NULL) {
        lstrcpynA(name, argument, (int)(strchr(argument, ':') - argument) + 1);
        length = ParseHex(strchr(argument, ':') + 1, bytes, QEL_STORE_DATA_SIZE);
        result = QelStoreData(instance, name, bytes, length, TIMEOUT_MS, raw);
    } else if ((argument = Argument(step, "retrieve")) != NULL && strchr(argument, ':') != NULL) {
        lstrcpynA(name, argument, (int)(strchr(argument, ':') - argument) + 1);
        result =
            QelRetrieveData(instance, name, bytes, (DWORD)atoi(strchr(argument, ':') + 1), &length, TIMEOUT_MS, raw);
        printf(" data=");
        PrintHex(bytes, length);
    } else if ((argument = Argument(step, "end")) != NULL) {
        result = QelEndInstance(instance, (WORD)atoi(argument), *handle, TIMEOUT_MS, raw);
    } else {
        result = QEL_BAD_ARGUMENT;
    }
    return result;
}

int main(int argc, char **argv)
{
    QelInstance instance;
    WORD handle = 0;
    int first = 1, i;
    if (argc > 3 && strcmp(argv[1], "--start") == 0) {
        first = 3;
        printf("start: %s\n", kResultNames[QelStartInstance(argv[2], argv[3], TIMEOUT_MS, &instance)]);
    } else if (argc < 2) {
        fprintf(stderr, "usage: client_probe [--start PROGRAM] PRINTER STEP...\n");
        return 2;
    } else if (QelOpenInstance(argv[1], &instance) != QEL_OK) {
        printf("open: no instance\n");
        return 3;
    }
    for (i = first + 1; i < argc; ++i) {
        DWORD_PTR raw = 0xBADBAD;
        QelResult result;
        printf("%s:", argv[i]);
        result = RunStep(&instance, argv[i], &handle, &raw);
        /* Both halves of the answer as it arrived, so a sign extension shows. */
        printf(" %s raw=%08lx%08lx\n", kResultNames[result], (unsigned long)((ULONGLONG)raw >> 32),
               (unsigned long)(raw & 0xFFFFFFFFu));
    }
    QelCloseInstance(&instance);
    return 0;
}
