// The commands that send one message and decode its answer.
#include "commands.h"

#include <cstdio>

#include "exit_codes.h"
#include "packet_decoding.h"
#include "qelapp32/client.h"
#include "remote_memory.h"

namespace {

constexpr DWORD kDefaultDeviceIdBufferSize = 1024;

LPARAM ChooseRefreshMode(const Invocation &invocation)
{
    if (HasOption(invocation, "--refresh"))
        return QEL_REFRESH_FORCED;
    if (HasOption(invocation, "--nowait"))
        return QEL_REFRESH_NO_WAIT;
    return QEL_REFRESH_IF_DUE;
}

// Sends a message without arguments that answers 1 or 0.
int AskOneOrZero(CommandContext &context, UINT message, const std::string &success, const std::string &failure)
{
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, message, 0, 0, &answer))
        return code;
    return ReportOneOrZero(context, answer, success, failure);
}

int AskWithPrinterHandle(CommandContext &context, UINT message, const std::string &success, const std::string &failure)
{
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    WORD handle = 0;
    if (const int code = ResolvePrinterHandle(context, instance, &handle))
        return code;
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, message, QEL_MAKE_WPARAM(handle, 0), 0, &answer))
        return code;
    return ReportOneOrZero(context, answer, success + " (printer handle " + std::to_string(handle) + ")", failure);
}

std::string CutAtTerminator(std::string text)
{
    const size_t end = text.find('\0');
    if (end != std::string::npos)
        text.resize(end);
    return text;
}

} // namespace

int RunEnum(CommandContext &context)
{
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, WM_QELAPP32_ENUMPRINTER, 0, 0, &answer))
        return code;
    context.out.Fields().Add("answer", answer);
    if (answer == QEL_FAILURE)
        return context.out.Fail(kExitRefused, "enum failed: the instance found no printer on its port (answer -1)");
    const unsigned handle = QEL_PRINTER_HANDLE_OF(answer);
    const unsigned flag = LOWORD(answer);
    context.out.Fields().Add("printerHandle", handle);
    context.out.Fields().Add("flag", flag);
    context.out.Line("printer handle " + std::to_string(handle) + ", flag " + std::to_string(flag) + " (answer " +
                     Hex32(answer) + ")");
    return kExitOk;
}

int RunStatus(CommandContext &context)
{
    if (HasOption(context.invocation, "--refresh") && HasOption(context.invocation, "--nowait"))
        return context.out.Fail(kExitUsage, "status takes --refresh or --nowait, not both");
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    const LPARAM mode = ChooseRefreshMode(context.invocation);
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, WM_QELAPP32_GETSTATUS, 0, mode, &answer))
        return code;
    context.out.Fields().Add("answer", answer);
    context.out.Fields().Add("refreshMode", static_cast<unsigned>(mode));
    const char *meaning = DescribeStatusByte(answer);
    if (meaning == nullptr)
        return context.out.Fail(kExitRefused, "unexpected status answer " + Hex32(answer));
    context.out.Fields().Add("meaning", meaning);
    context.out.Line("status: " + FormatStatusByte(answer));
    return kExitOk;
}

int RunDeviceId(CommandContext &context)
{
    DWORD size = 0;
    if (const int code = ReadCountOption(context, "--size", kDefaultDeviceIdBufferSize, 0xFFFF, &size))
        return code;
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    WORD handle = 0;
    if (const int code = ResolvePrinterHandle(context, instance, &handle))
        return code;
    HandleGuard process(OpenInstanceProcess(instance));
    RemoteMemory buffer(process.Get(), size);
    if (!buffer.IsValid())
        return context.out.Fail(kExitSystem, "cannot place a buffer in the instance's process (error " +
                                                 std::to_string(GetLastError()) + ")");
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, WM_QELAPP32_GETDEVICEID, QEL_MAKE_WPARAM(handle, size),
                                     buffer.Address(), &answer))
        return code;
    context.out.Fields().Add("answer", answer);
    if (answer == QEL_FAILURE)
        return context.out.Fail(kExitRefused, "deviceid failed: the library could not read the device ID (answer -1)");
    if (answer == 0)
        return context.out.Fail(kExitRefused, "deviceid: the printer gave an empty device ID; the instance will "
                                              "enumerate it again and reports an error status until then");
    const std::string deviceId = CutAtTerminator(buffer.Read(answer));
    context.out.Fields().Add("length", answer);
    context.out.Fields().Add("deviceId", deviceId);
    context.out.Line("device ID (" + std::to_string(answer) + " bytes): " + FormatPrintable(deviceId));
    return kExitOk;
}

int RunOpen(CommandContext &context)
{
    return AskOneOrZero(context, WM_QELAPP32_OPEN, "printer channel opened",
                        "open failed: TovOpen refused (see qelctl PRINTER log)");
}

int RunClose(CommandContext &context)
{
    return AskOneOrZero(context, WM_QELAPP32_CLOSE, "printer channel closed",
                        "close failed: TovClose refused (see qelctl PRINTER log)");
}

int RunPing(CommandContext &context)
{
    return AskOneOrZero(context, WM_QELAPP32_PING, "the library answered the ping",
                        "ping failed: TovPing refused (see qelctl PRINTER log)");
}

int RunNoop(CommandContext &context)
{
    return AskOneOrZero(context, WM_QELAPP32_NOOP, "the instance answers", "noop: unexpected answer");
}

int RunStartDoc(CommandContext &context)
{
    return AskWithPrinterHandle(context, WM_QELAPP32_STARTDOC, "document started",
                                "startdoc failed: a mode reset or TovStartDoc failed (see qelctl PRINTER log)");
}

int RunEndDoc(CommandContext &context)
{
    return AskWithPrinterHandle(context, WM_QELAPP32_ENDDOC, "end of document queued after the packets before it",
                                "enddoc: unexpected answer");
}

int RunCaptureAlerts(CommandContext &context)
{
    return AskOneOrZero(context, WM_QELAPP32_CAPTUREALERTS,
                        "alerts captured: they arrive among the replies (qelctl PRINTER alerts)",
                        "capture-alerts failed: TovCaptureAlerts refused (see qelctl PRINTER log)");
}
