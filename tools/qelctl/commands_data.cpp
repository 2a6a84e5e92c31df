// Packets to the printer (1127) and messages from the inbound stream (1126).
#include "commands.h"

#include "console_break.h"
#include "exit_codes.h"
#include "inbound_reader.h"
#include "packet_decoding.h"
#include "qelapp32/client.h"

namespace {

constexpr DWORD kDefaultBidiTimeoutMs = 5000;
constexpr DWORD kDefaultPollIntervalMs = 50;

// Sends 1127 through the library, which places the bytes in the instance and frees them
// once the queue has copied them.
int PostPacket(CommandContext &context, const Instance &instance, WORD handle, const std::string &bytes)
{
    DWORD_PTR raw = 0;
    const QelResult result = QelWrite(instance.Client(), handle, bytes.data(), static_cast<DWORD>(bytes.size()),
                                      context.answerTimeoutMs, &raw);
    if (const int code = CheckDelivered(context, result, WM_QELAPP32_WRITE))
        return code;
    context.out.Fields().Add("written", FormatHexBytes(bytes));
    context.out.Fields().Add("length", static_cast<unsigned>(bytes.size()));
    context.out.Fields().Add("answer", QEL_ANSWER(raw));
    return kExitOk;
}

// The packets the instance builds itself share the stream with the replies: each one met
// before the reply is reported and passed over.
struct PassedPackets {
    Output &out;
    JsonArray json;
};

void ReportPassedPacket(void *context, QelPacketKind, const BYTE *bytes, DWORD length)
{
    PassedPackets &passed = *static_cast<PassedPackets *>(context);
    const DecodedPacket packet = DecodePacket(std::string(reinterpret_cast<const char *>(bytes), length));
    passed.out.Line("in the stream before the reply: " + DescribePacket(packet));
    passed.json.AddRaw(PacketJson(packet));
}

int ReadPacketArgument(CommandContext &context, std::string *bytes)
{
    return ParseHexArgument(context, context.args[0], QEL_MAX_MESSAGE_LENGTH, bytes);
}

} // namespace

int RunWrite(CommandContext &context)
{
    std::string bytes;
    if (const int code = ReadPacketArgument(context, &bytes))
        return code;
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    WORD handle = 0;
    if (const int code = ResolvePrinterHandle(context, instance, &handle))
        return code;
    if (const int code = PostPacket(context, instance, handle, bytes))
        return code;
    context.out.Line("queued " + std::to_string(bytes.size()) + " bytes for the printer (printer handle " +
                     std::to_string(handle) + "); the reply comes through: qelctl PRINTER read");
    return kExitOk;
}

int RunRead(CommandContext &context)
{
    DWORD size = 0;
    if (const int code = ReadCountOption(context, "--size", QEL_MAX_MESSAGE_LENGTH, 0xFFFF, &size))
        return code;
    if (size == 0)
        return context.out.Fail(kExitUsage, "--size needs at least 1 byte");
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    InboundReader reader(context, instance, size);
    std::string message;
    if (const int code = reader.Take(&message))
        return code;
    context.out.Fields().Add("length", static_cast<unsigned>(message.size()));
    if (message.empty()) {
        context.out.Line("no message waiting");
        return kExitOk;
    }
    ReportMessage(context.out, message);
    return kExitOk;
}

int RunBidi(CommandContext &context)
{
    std::string bytes;
    if (const int code = ReadPacketArgument(context, &bytes))
        return code;
    DWORD timeoutMs = 0;
    DWORD intervalMs = 0;
    if (const int code = ReadMillisecondsOption(context, "--timeout", kDefaultBidiTimeoutMs, &timeoutMs))
        return code;
    if (const int code = ReadMillisecondsOption(context, "--interval", kDefaultPollIntervalMs, &intervalMs))
        return code;
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    WORD handle = 0;
    if (const int code = ResolvePrinterHandle(context, instance, &handle))
        return code;
    const DWORD start = GetTickCount();
    context.out.Line("sent " + FormatHexBytes(bytes));
    PassedPackets passed{context.out, {}};
    const QelReplyWait wait = {timeoutMs,           context.answerTimeoutMs, intervalMs,
                               ConsoleBreakEvent(), ReportPassedPacket,      &passed};
    std::string reply(QEL_MAX_MESSAGE_LENGTH, '\0');
    DWORD length = 0;
    DWORD_PTR raw = 0;
    const QelResult result =
        QelWriteAndReadReply(instance.Client(), handle, bytes.data(), static_cast<DWORD>(bytes.size()), &reply[0],
                             static_cast<DWORD>(reply.size()), &length, &wait, &raw);
    if (result != QEL_NO_REPLY) {
        if (const int code = CheckDelivered(context, result, WM_QELAPP32_READ))
            return code;
    }
    reply.resize(length < reply.size() ? length : reply.size());
    const DWORD elapsed = GetTickCount() - start;
    context.out.Fields().Add("written", FormatHexBytes(bytes));
    context.out.Fields().Add("length", static_cast<unsigned>(bytes.size()));
    context.out.Fields().Add("elapsedMs", elapsed);
    context.out.Fields().AddRaw("alertsBeforeReply", passed.json.Text());
    if (reply.empty())
        return context.out.Fail(kExitTimeout, "no reply within " + std::to_string(timeoutMs) + " ms");
    context.out.Line("reply after " + std::to_string(elapsed) + " ms:");
    ReportMessage(context.out, reply);
    return kExitOk;
}
