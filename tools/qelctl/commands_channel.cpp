// The commands that send one message and decode its answer.
#include "commands.h"

#include <algorithm>
#include <iterator>

#include "exit_codes.h"
#include "packet_decoding.h"
#include "qelapp32/client.h"

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

// The requests that answer 1 when they did what was asked and 0 when they did not.
struct OneOrZeroRequest {
    const char *command;
    UINT message;
    bool takesHandle; // the printer handle in the high 16 bits of wParam
    const char *success;
    const char *failure;
};

constexpr OneOrZeroRequest kOneOrZeroRequests[] = {
    {"open", WM_QELAPP32_OPEN, false, "printer channel opened",
     "open failed: TovOpen refused (see qelctl PRINTER log)"},
    {"close", WM_QELAPP32_CLOSE, false, "printer channel closed",
     "close failed: TovClose refused (see qelctl PRINTER log)"},
    {"ping", WM_QELAPP32_PING, false, "the library answered the ping",
     "ping failed: TovPing refused (see qelctl PRINTER log)"},
    {"noop", WM_QELAPP32_NOOP, false, "the instance answers", "noop: unexpected answer"},
    {"startdoc", WM_QELAPP32_STARTDOC, true, "document started",
     "startdoc failed: a mode reset or TovStartDoc failed (see qelctl PRINTER log)"},
    {"enddoc", WM_QELAPP32_ENDDOC, true, "end of document queued after the packets before it",
     "enddoc: unexpected answer"},
    {"capture-alerts", WM_QELAPP32_CAPTUREALERTS, false,
     "alerts captured: they arrive among the replies (qelctl PRINTER alerts)",
     "capture-alerts failed: TovCaptureAlerts refused (see qelctl PRINTER log)"},
};

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
    std::string deviceId(size, '\0');
    DWORD length = 0;
    DWORD_PTR raw = 0;
    const QelResult result =
        QelGetDeviceId(instance.Client(), handle, &deviceId[0], size, &length, context.answerTimeoutMs, &raw);
    if (const int code = CheckDelivered(context, result, WM_QELAPP32_GETDEVICEID))
        return code;
    const DWORD answer = QEL_ANSWER(raw);
    context.out.Fields().Add("answer", answer);
    if (answer == QEL_FAILURE)
        return context.out.Fail(kExitRefused, "deviceid failed: the library could not read the device ID (answer -1)");
    if (answer == 0)
        return context.out.Fail(kExitRefused, "deviceid: the printer gave an empty device ID; the instance will "
                                              "enumerate it again and reports an error status until then");
    deviceId = CutAtTerminator(deviceId.substr(0, length));
    context.out.Fields().Add("length", answer);
    context.out.Fields().Add("deviceId", deviceId);
    context.out.Line("device ID (" + std::to_string(answer) + " bytes): " + FormatPrintable(deviceId));
    return kExitOk;
}

int RunOneOrZero(CommandContext &context)
{
    const OneOrZeroRequest *request =
        std::find_if(std::begin(kOneOrZeroRequests), std::end(kOneOrZeroRequests),
                     [&](const OneOrZeroRequest &row) { return context.command == row.command; });
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    WORD handle = 0;
    if (request->takesHandle) {
        if (const int code = ResolvePrinterHandle(context, instance, &handle))
            return code;
    }
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, request->message, QEL_MAKE_WPARAM(handle, 0), 0, &answer))
        return code;
    const std::string success = request->takesHandle
                                    ? std::string(request->success) + " (printer handle " + std::to_string(handle) + ")"
                                    : request->success;
    return ReportOneOrZero(context, answer, success, request->failure);
}
