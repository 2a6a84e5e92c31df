// The commands that send one message to the instance, as one table over the client
// library; and those that carry data: packets (1127, 1126), the mailbox (1139, 1140)
// and files (1134, 1141).
#include <algorithm>
#include <iterator>

#include "qelctl.h"

namespace {

constexpr DWORD kDefaultDeviceIdBufferSize = 1024;
constexpr DWORD kDefaultBidiTimeoutMs = 5000;
constexpr DWORD kDefaultBidiPollMs = 50;
constexpr DWORD kDefaultSenderPollMs = 100;
constexpr DWORD kProgressEveryMs = 1000;
constexpr size_t kMaxFileNameLength = MAX_PATH - 1;
constexpr size_t kMaxItemNameLength = QEL_STORE_NAME_SIZE - 1; // the instance's buffer holds the terminator too

// How a message command makes its wParam (lParam is 0 but for status's refresh mode).
enum class Param {
    Zero,
    Handle,        // the printer handle in the high 16 bits
    HandleAndSize, // and the size of the buffer the library places, in the low 16 bits
};

struct MessageCommand;
// Sends the message and reads its answer to the user.
using Decoder = void (*)(CommandContext &context, const Instance &instance, const MessageCommand &row, WPARAM wParam,
                         LPARAM lParam);

struct MessageCommand {
    const char *command;
    UINT message;
    Param wParam;
    Decoder decode;
    const char *success; // for the answers 1 or 0
    const char *failure;
};

void DecodeOneOrZero(CommandContext &context, const Instance &instance, const MessageCommand &row, WPARAM wParam,
                     LPARAM lParam)
{
    const DWORD answer = context.Ask(instance, row.message, wParam, lParam);
    const std::string handle = " (printer handle " + std::to_string(QEL_PRINTER_HANDLE_OF(wParam)) + ")";
    context.ReportOneOrZero(answer, row.success + (row.wParam == Param::Handle ? handle : ""), row.failure);
}

void DecodeEnum(CommandContext &context, const Instance &instance, const MessageCommand &row, WPARAM, LPARAM)
{
    const DWORD answer = context.Ask(instance, row.message, 0, 0);
    context.out.Fields().Add("answer", answer);
    if (answer == QEL_FAILURE)
        Fail(kExitRefused, "enum failed: the instance found no printer on its port (answer -1)");
    const unsigned handle = QEL_PRINTER_HANDLE_OF(answer);
    const unsigned flag = LOWORD(answer);
    context.out.Fields().Add("printerHandle", handle);
    context.out.Fields().Add("flag", flag);
    context.out.Line("printer handle " + std::to_string(handle) + ", flag " + std::to_string(flag) + " (answer " +
                     Hex32(answer) + ")");
}

void DecodeStatus(CommandContext &context, const Instance &instance, const MessageCommand &row, WPARAM, LPARAM mode)
{
    const DWORD answer = context.Ask(instance, row.message, 0, mode);
    context.out.Fields().Add("answer", answer);
    context.out.Fields().Add("refreshMode", static_cast<unsigned>(mode));
    const char *meaning = DescribeStatusByte(answer);
    if (meaning == nullptr)
        Fail(kExitRefused, "unexpected status answer " + Hex32(answer));
    context.out.Fields().Add("meaning", meaning);
    context.out.Line("status: " + FormatStatusByte(answer));
}

void DecodeDeviceId(CommandContext &context, const Instance &instance, const MessageCommand &row, WPARAM wParam, LPARAM)
{
    std::string deviceId(LOWORD(wParam), '\0');
    DWORD length = 0;
    DWORD_PTR raw = 0;
    context.CheckDelivered(QelGetDeviceId(instance.Client(), QEL_PRINTER_HANDLE_OF(wParam), &deviceId[0],
                                          LOWORD(wParam), &length, context.answerTimeoutMs, &raw),
                           row.message);
    const DWORD answer = QEL_ANSWER(raw);
    context.out.Fields().Add("answer", answer);
    if (answer == QEL_FAILURE)
        Fail(kExitRefused, "deviceid failed: the library could not read the device ID (answer -1)");
    if (answer == 0)
        Fail(kExitRefused, "deviceid: the printer gave an empty device ID; the instance will enumerate it again and "
                           "reports an error status until then");
    deviceId.resize(std::min<size_t>({static_cast<size_t>(length), deviceId.size(), deviceId.find('\0')}));
    context.out.Fields().Add("length", answer);
    context.out.Fields().Add("deviceId", deviceId);
    context.out.Line("device ID (" + std::to_string(answer) + " bytes): " + FormatPrintable(deviceId));
}

constexpr MessageCommand kMessageCommands[] = {
    {"enum", WM_QELAPP32_ENUMPRINTER, Param::Zero, DecodeEnum, "", ""},
    {"status", WM_QELAPP32_GETSTATUS, Param::Zero, DecodeStatus, "", ""},
    {"deviceid", WM_QELAPP32_GETDEVICEID, Param::HandleAndSize, DecodeDeviceId, "", ""},
    {"open", WM_QELAPP32_OPEN, Param::Zero, DecodeOneOrZero, "printer channel opened",
     "open failed: TovOpen refused (see qelctl PRINTER log)"},
    {"close", WM_QELAPP32_CLOSE, Param::Zero, DecodeOneOrZero, "printer channel closed",
     "close failed: TovClose refused (see qelctl PRINTER log)"},
    {"ping", WM_QELAPP32_PING, Param::Zero, DecodeOneOrZero, "the library answered the ping",
     "ping failed: TovPing refused (see qelctl PRINTER log)"},
    {"noop", WM_QELAPP32_NOOP, Param::Zero, DecodeOneOrZero, "the instance answers", "noop: unexpected answer"},
    {"startdoc", WM_QELAPP32_STARTDOC, Param::Handle, DecodeOneOrZero, "document started",
     "startdoc failed: a mode reset or TovStartDoc failed (see qelctl PRINTER log)"},
    {"enddoc", WM_QELAPP32_ENDDOC, Param::Handle, DecodeOneOrZero, "end of document queued after the packets before it",
     "enddoc: unexpected answer"},
    {"capture-alerts", WM_QELAPP32_CAPTUREALERTS, Param::Zero, DecodeOneOrZero,
     "alerts captured: they arrive among the replies (qelctl PRINTER alerts)",
     "capture-alerts failed: TovCaptureAlerts refused (see qelctl PRINTER log)"},
};

// 1128's lParam: refresh when due and wait, always refresh, or do not wait.
LPARAM ChooseRefreshMode(const CommandContext &context)
{
    if (context.Has("--refresh") && context.Has("--nowait"))
        Fail(kExitUsage, "status takes --refresh or --nowait, not both");
    return context.Has("--refresh")  ? QEL_REFRESH_FORCED
           : context.Has("--nowait") ? QEL_REFRESH_NO_WAIT
                                     : QEL_REFRESH_IF_DUE;
}

// The instance-built packets met before the reply are reported and passed over.
struct PassedPackets {
    Output &out;
    std::vector<std::string> json;
};

void ReportPassedPacket(void *context, QelPacketKind, const BYTE *bytes, DWORD length)
{
    PassedPackets &passed = *static_cast<PassedPackets *>(context);
    const std::string packet(reinterpret_cast<const char *>(bytes), length);
    passed.out.Line("in the stream before the reply: " + DescribePacket(packet));
    passed.json.push_back(PacketJson(packet));
}

void AddWrittenFields(CommandContext &context, const std::string &bytes)
{
    context.out.Fields().Add("written", FormatHexBytes(bytes));
    context.out.Fields().Add("length", static_cast<unsigned>(bytes.size()));
}

bool AskWhetherSending(CommandContext &context, const Instance &instance, UINT message)
{
    BOOL sending = FALSE;
    context.CheckDelivered(QelIsSendingFile(instance.Client(), message, &sending, context.answerTimeoutMs, nullptr),
                           message);
    return sending != FALSE;
}

// Polls until the sender has ended; false on timeout or Ctrl+C.
bool WaitForSender(CommandContext &context, const Instance &instance, UINT message, DWORD start, DWORD timeoutMs,
                   DWORD pollMs)
{
    for (DWORD lastReport = 0;;) {
        const bool running = AskWhetherSending(context, instance, message);
        const DWORD elapsed = GetTickCount() - start;
        if (!running)
            return true;
        if (elapsed - lastReport >= kProgressEveryMs) {
            context.out.Line("sending... " + FormatSeconds(elapsed));
            lastReport = elapsed;
        }
        if ((timeoutMs != kUnlimited && elapsed >= timeoutMs) ||
            WaitForSingleObject(ConsoleBreakEvent(), pollMs) == WAIT_OBJECT_0)
            return false;
    }
}

// A name the instance copies into its own buffer of maximum characters.
const std::string &CheckName(const std::string &name, const char *what, size_t maximum)
{
    if (name.empty() || name.size() > maximum)
        Fail(kExitUsage,
             std::string("the ") + what + " name must have 1 to " + std::to_string(maximum) + " characters");
    return name;
}

// The mailbox values could not be written (or, after a retrieve, read).
[[noreturn]] void FailMailbox(const CommandContext &context)
{
    Fail(kExitSystem, "cannot use the store values under HKLM\\" + DriverDataKeyPath(context.printer) + " (error " +
                          std::to_string(GetLastError()) + ")");
}

} // namespace

int RunMessage(CommandContext &context)
{
    const MessageCommand &row =
        *std::find_if(std::begin(kMessageCommands), std::end(kMessageCommands),
                      [&](const MessageCommand &command) { return context.command == command.command; });
    // The options are checked before the instance is looked for.
    const DWORD size =
        row.wParam == Param::HandleAndSize ? context.Number("--size", kDefaultDeviceIdBufferSize, 0xFFFF) : 0;
    const LPARAM lParam = row.message == WM_QELAPP32_GETSTATUS ? ChooseRefreshMode(context) : 0;
    const Instance instance(context.printer);
    const WORD handle = row.wParam == Param::Zero ? 0 : context.PrinterHandle(instance);
    row.decode(context, instance, row, QEL_MAKE_WPARAM(handle, size), lParam);
    return kExitOk;
}

int RunWrite(CommandContext &context)
{
    const std::string bytes = context.HexArgument(context.args[0], QEL_MAX_MESSAGE_LENGTH);
    const Instance instance(context.printer);
    const WORD handle = context.PrinterHandle(instance);
    // The library places the bytes in the instance and frees them once the queue has copied them.
    DWORD_PTR raw = 0;
    context.CheckDelivered(QelWrite(instance.Client(), handle, bytes.data(), static_cast<DWORD>(bytes.size()),
                                    context.answerTimeoutMs, &raw),
                           WM_QELAPP32_WRITE);
    AddWrittenFields(context, bytes);
    context.out.Fields().Add("answer", QEL_ANSWER(raw));
    context.out.Line("queued " + std::to_string(bytes.size()) + " bytes for the printer (printer handle " +
                     std::to_string(handle) + "); the reply comes through: qelctl PRINTER read");
    return kExitOk;
}

int RunRead(CommandContext &context)
{
    const DWORD size = context.Number("--size", QEL_MAX_MESSAGE_LENGTH, 0xFFFF);
    if (size == 0)
        Fail(kExitUsage, "--size needs at least 1 byte");
    const Instance instance(context.printer);
    const std::string message = context.Read(instance, size);
    context.out.Fields().Add("length", static_cast<unsigned>(message.size()));
    if (message.empty())
        context.out.Line("no message waiting");
    else
        ReportMessage(context.out, message);
    return kExitOk;
}

int RunBidi(CommandContext &context)
{
    const std::string bytes = context.HexArgument(context.args[0], QEL_MAX_MESSAGE_LENGTH);
    const DWORD timeoutMs = context.Number("--timeout", kDefaultBidiTimeoutMs);
    const DWORD pollMs = context.Number("--interval", kDefaultBidiPollMs);
    const Instance instance(context.printer);
    const WORD handle = context.PrinterHandle(instance);
    const DWORD start = GetTickCount();
    context.out.Line("sent " + FormatHexBytes(bytes));
    PassedPackets passed{context.out, {}};
    const QelReplyWait wait = {timeoutMs,           context.answerTimeoutMs, pollMs,
                               ConsoleBreakEvent(), ReportPassedPacket,      &passed};
    std::string reply(QEL_MAX_MESSAGE_LENGTH, '\0');
    DWORD length = 0;
    const QelResult result =
        QelWriteAndReadReply(instance.Client(), handle, bytes.data(), static_cast<DWORD>(bytes.size()), &reply[0],
                             static_cast<DWORD>(reply.size()), &length, &wait, nullptr);
    if (result != QEL_NO_REPLY)
        context.CheckDelivered(result, WM_QELAPP32_READ);
    reply.resize(std::min<size_t>(length, reply.size()));
    const DWORD elapsed = GetTickCount() - start;
    AddWrittenFields(context, bytes);
    context.out.Fields().Add("elapsedMs", elapsed);
    context.out.Fields().AddRaw("alertsBeforeReply", JsonArray(passed.json));
    if (reply.empty())
        Fail(kExitTimeout, "no reply within " + std::to_string(timeoutMs) + " ms");
    context.out.Line("reply after " + std::to_string(elapsed) + " ms:");
    ReportMessage(context.out, reply);
    return kExitOk;
}

int RunSendFile(CommandContext &context)
{
    const bool query = context.Has("--query");
    if (query != context.args.empty())
        Fail(kExitUsage, query ? "sendfile --query takes no file name" : "sendfile needs a file name (or --query)");
    const DWORD timeoutMs = context.Number("--timeout", kUnlimited);
    const DWORD pollMs = context.Number("--interval", kDefaultSenderPollMs);
    const UINT message = context.Has("--use-1141") ? WM_QELAPP32_SENDFILE2 : WM_QELAPP32_SENDFILE;
    const Instance instance(context.printer);
    if (query) {
        const bool running = AskWhetherSending(context, instance, message);
        context.out.Fields().AddBool("running", running);
        context.out.Line(running ? "a file sender is running" : "no file sender is running");
        return kExitOk;
    }
    const std::string &name = CheckName(context.args[0], "file", kMaxFileNameLength);
    // The library places the name in the instance, which copies it before it answers.
    const DWORD start = GetTickCount();
    DWORD_PTR raw = 0;
    context.CheckDelivered(QelSendFile(instance.Client(), message, name.c_str(), context.answerTimeoutMs, &raw),
                           message);
    context.out.Fields().Add("file", name);
    context.out.Fields().Add("answer", QEL_ANSWER(raw));
    if (QEL_ANSWER(raw) != 1)
        Fail(kExitRefused, "sendfile refused: a file is still being sent, or the name was refused (see qelctl "
                           "PRINTER log)");
    context.out.Line("file sender started for " + name);
    if (!context.Has("--wait"))
        return kExitOk;
    const bool ended = WaitForSender(context, instance, message, start, timeoutMs, pollMs);
    const DWORD elapsedMs = GetTickCount() - start;
    const std::string elapsed = FormatSeconds(elapsedMs);
    context.out.Fields().Add("elapsedMs", elapsedMs);
    context.out.Fields().AddBool("ended", ended);
    if (!ended && IsConsoleBreakRequested())
        context.out.Line("stopped waiting after " + elapsed + "; the file sender still runs");
    else if (!ended)
        Fail(kExitTimeout, "the file sender still runs after " + elapsed);
    else
        context.out.Line("file sender ended after " + elapsed);
    return kExitOk;
}

int RunStore(CommandContext &context)
{
    const std::string &name = CheckName(context.args[0], "item", kMaxItemNameLength);
    const std::string *text = OptionValue(context.invocation, "--text");
    if ((text != nullptr) == (context.args.size() == 2))
        Fail(kExitUsage, "store takes the data as HEX or as --text TEXT, exactly one of them");
    if (text != nullptr && text->size() > QEL_STORE_DATA_SIZE)
        Fail(kExitUsage, "the text has " + std::to_string(text->size()) + " bytes, at most " +
                             std::to_string(QEL_STORE_DATA_SIZE) + " allowed");
    const std::string bytes = text != nullptr ? *text : context.HexArgument(context.args[1], QEL_STORE_DATA_SIZE);
    const Instance instance(context.printer);
    // The library holds the printer's mailbox mutex from the values to the answer.
    DWORD_PTR raw = 0;
    const QelResult result = QelStoreData(instance.Client(), name.c_str(), bytes.data(),
                                          static_cast<DWORD>(bytes.size()), context.answerTimeoutMs, &raw);
    if (result == QEL_SYSTEM)
        FailMailbox(context);
    context.CheckDelivered(result, WM_QELAPP32_STOREDATA);
    context.out.Fields().Add("name", name);
    context.out.Fields().Add("size", static_cast<unsigned>(bytes.size()));
    context.out.Fields().Add("hex", FormatHexBytes(bytes));
    context.ReportOneOrZero(QEL_ANSWER(raw),
                            "stored \"" + name + "\" (" + std::to_string(bytes.size()) + " bytes) in the printer",
                            "store failed: TovStoreData refused (see qelctl PRINTER log)");
    return kExitOk;
}

int RunRetrieve(CommandContext &context)
{
    const std::string &name = CheckName(context.args[0], "item", kMaxItemNameLength);
    DWORD size = 0;
    if (!ParseNumber(context.args[1], &size) || size == 0 || size > QEL_STORE_DATA_SIZE)
        Fail(kExitUsage, "SIZE must be a number from 1 to " + std::to_string(QEL_STORE_DATA_SIZE) + ", not \"" +
                             context.args[1] + "\"");
    const Instance instance(context.printer);
    std::string bytes(size, '\0');
    DWORD delivered = 0;
    DWORD_PTR raw = 0;
    const QelResult result =
        QelRetrieveData(instance.Client(), name.c_str(), &bytes[0], size, &delivered, context.answerTimeoutMs, &raw);
    if (result == QEL_SYSTEM && QEL_ANSWER(raw) != 1)
        FailMailbox(context);
    context.CheckDelivered(result, WM_QELAPP32_RETRIEVEDATA);
    context.out.Fields().Add("name", name);
    context.out.Fields().Add("requested", size);
    context.ReportOneOrZero(QEL_ANSWER(raw), "retrieved \"" + name + "\"",
                            "retrieve failed: TovRetrieveData refused (see qelctl PRINTER log)");
    if (result == QEL_SYSTEM)
        Fail(kExitRefused,
             "the instance answered 1 but left no " QEL_VALUE_STORE_RETRIEVED " or " QEL_VALUE_STORE_DATA " value");
    bytes.resize(delivered);
    context.out.Fields().Add("retrieved", delivered);
    context.out.Fields().Add("hex", FormatHexBytes(bytes));
    context.out.Fields().Add("text", FormatPrintable(bytes));
    context.out.Line(std::to_string(delivered) + " bytes: " + FormatHexBytes(bytes));
    context.out.Line("as text: " + FormatPrintable(bytes));
    return kExitOk;
}
