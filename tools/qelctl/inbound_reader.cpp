#include "inbound_reader.h"

#include "console_break.h"
#include "exit_codes.h"
#include "packet_decoding.h"
#include "qelapp32/client.h"

InboundReader::InboundReader(CommandContext &context, const Instance &instance, DWORD bufferSize)
    : context_(context), instance_(instance), bufferSize_(bufferSize)
{
}

int InboundReader::Take(std::string *message)
{
    message->assign(bufferSize_, '\0');
    DWORD length = 0;
    const QelResult result =
        QelRead(instance_.Client(), &(*message)[0], bufferSize_, &length, context_.answerTimeoutMs, nullptr);
    // The length is the stored one, which exceeds the buffer when the buffer was smaller
    // than the message; only what was copied counts.
    message->resize(result == QEL_OK && length < bufferSize_ ? length : result == QEL_OK ? bufferSize_ : 0);
    return CheckDelivered(context_, result, WM_QELAPP32_READ);
}

int InboundReader::WaitForMessage(DWORD timeoutMs, DWORD intervalMs, std::string *message)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (const int code = Take(message))
            return code;
        if (!message->empty())
            return kExitOk;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return kExitOk;
        const DWORD pause = timeoutMs - elapsed < intervalMs ? timeoutMs - elapsed : intervalMs;
        if (WaitForSingleObject(ConsoleBreakEvent(), pause) == WAIT_OBJECT_0)
            return kExitOk;
    }
}

void ReportMessage(Output &out, const std::string &message)
{
    const DecodedPacket packet = DecodePacket(message);
    out.Line("message of " + std::to_string(message.size()) + " bytes: " + FormatHexBytes(message));
    for (const std::string &line : DescribeFrame(packet))
        out.Line("  " + line);
    out.Line("  decoded: " + DescribePacket(packet));
    out.Fields().AddRaw("message", PacketJson(packet));
}
