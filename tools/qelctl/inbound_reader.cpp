#include "inbound_reader.h"

#include "console_break.h"
#include "exit_codes.h"
#include "packet_decoding.h"
#include "qelapp32/client.h"

InboundReader::InboundReader(CommandContext &context, const Instance &instance, DWORD bufferSize)
    : context_(context), instance_(instance), bufferSize_(bufferSize), process_(OpenInstanceProcess(instance)),
      block_(process_.Get(), bufferSize)
{
}

int InboundReader::Prepare()
{
    if (block_.IsValid())
        return kExitOk;
    return context_.out.Fail(kExitSystem, "cannot place a buffer in the instance's process (error " +
                                              std::to_string(GetLastError()) + ")");
}

int InboundReader::Take(std::string *message)
{
    message->clear();
    DWORD answer = 0;
    if (const int code = AskInstance(context_, instance_, WM_QELAPP32_READ, QEL_MAKE_WPARAM(0, bufferSize_),
                                     block_.Address(), &answer))
        return code;
    // The answer is the stored length, which exceeds the buffer when the buffer was
    // smaller than the message; only what was copied is read back.
    const DWORD length = LOWORD(answer);
    *message = block_.Read(length < bufferSize_ ? length : bufferSize_);
    return kExitOk;
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
