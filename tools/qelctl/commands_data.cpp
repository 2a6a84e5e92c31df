// Packets to the printer (1127) and messages from the inbound stream (1126).
#include "commands.h"

#include "exit_codes.h"
#include "inbound_reader.h"
#include "packet_decoding.h"
#include "qelapp32/client.h"
#include "remote_memory.h"

namespace {

constexpr DWORD kDefaultBidiTimeoutMs = 5000;
constexpr DWORD kDefaultPollIntervalMs = 50;

// Places the bytes in the instance and sends 1127. The queue copies them before the
// answer comes back, so the block can go as soon as SendMessage returns.
int PostPacket(CommandContext &context, const Instance &instance, WORD handle, const std::string &bytes)
{
    HandleGuard process(OpenInstanceProcess(instance));
    RemoteMemory block(process.Get(), bytes.size());
    if (!block.IsValid() || !block.Write(bytes))
        return context.out.Fail(kExitSystem, "cannot place the packet in the instance's process (error " +
                                                 std::to_string(GetLastError()) + ")");
    DWORD answer = 0;
    if (const int code =
            AskInstance(context, instance, WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(handle, static_cast<WORD>(bytes.size())),
                        block.Address(), &answer))
        return code;
    context.out.Fields().Add("written", FormatHexBytes(bytes));
    context.out.Fields().Add("length", static_cast<unsigned>(bytes.size()));
    context.out.Fields().Add("answer", answer);
    return kExitOk;
}

bool IsBuiltByInstance(const DecodedPacket &packet)
{
    return packet.kind == PacketKind::Status || packet.kind == PacketKind::Value ||
           packet.kind == PacketKind::AlertData;
}

// Replies and alert packets share one stream: the packets the instance builds itself
// from alerts are reported and passed over, the first other message is the reply.
int WaitForReply(CommandContext &context, InboundReader &reader, DWORD start, DWORD timeoutMs, DWORD intervalMs,
                 std::string *reply, JsonArray *passed)
{
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = elapsed < timeoutMs ? timeoutMs - elapsed : 0;
        if (const int code = reader.WaitForMessage(left, intervalMs, reply))
            return code;
        if (reply->empty())
            return kExitOk;
        const DecodedPacket packet = DecodePacket(*reply);
        if (!IsBuiltByInstance(packet))
            return kExitOk;
        context.out.Line("in the stream before the reply: " + DescribePacket(packet));
        passed->AddRaw(PacketJson(packet));
        reply->clear();
        if (left == 0)
            return kExitOk;
    }
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
    if (const int code = reader.Prepare())
        return code;
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
    InboundReader reader(context, instance, QEL_MAX_MESSAGE_LENGTH);
    if (const int code = reader.Prepare())
        return code;
    const DWORD start = GetTickCount();
    if (const int code = PostPacket(context, instance, handle, bytes))
        return code;
    context.out.Line("sent " + FormatHexBytes(bytes));
    std::string reply;
    JsonArray passed;
    if (const int code = WaitForReply(context, reader, start, timeoutMs, intervalMs, &reply, &passed))
        return code;
    const DWORD elapsed = GetTickCount() - start;
    context.out.Fields().Add("elapsedMs", elapsed);
    context.out.Fields().AddRaw("alertsBeforeReply", passed.Text());
    if (reply.empty())
        return context.out.Fail(kExitTimeout, "no reply within " + std::to_string(timeoutMs) + " ms");
    context.out.Line("reply after " + std::to_string(elapsed) + " ms:");
    ReportMessage(context.out, reply);
    return kExitOk;
}
