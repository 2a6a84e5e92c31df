#include "command_support.h"

#include <cstdio>

#include "exit_codes.h"
#include "packet_decoding.h"
#include "qelapp32/client.h"

int ConnectToInstance(CommandContext &context, Instance *instance)
{
    std::string error;
    const int code = LocateInstance(context.printer, instance, &error);
    if (code != kExitOk)
        return context.out.Fail(code, error);
    return kExitOk;
}

int AskInstance(CommandContext &context, const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam,
                DWORD *answer)
{
    DWORD_PTR raw = 0;
    const QelResult result = QelSend(instance.Client(), message, wParam, lParam, context.answerTimeoutMs, &raw);
    *answer = QEL_ANSWER(raw);
    return CheckDelivered(context, result, message);
}

int CheckDelivered(CommandContext &context, QelResult result, UINT message)
{
    const std::string error = " (error " + std::to_string(GetLastError()) + ")";
    switch (result) {
    case QEL_OK:
    case QEL_REFUSED: return kExitOk;
    case QEL_NO_BUFFER: return context.out.Fail(kExitSystem, "cannot place a buffer in the instance's process" + error);
    case QEL_BAD_ARGUMENT:
        return context.out.Fail(kExitUsage, "the request is out of bounds for message " + std::to_string(message));
    case QEL_SYSTEM:
        return context.out.Fail(kExitSystem,
                                "a Windows call for message " + std::to_string(message) + " failed" + error);
    default: break;
    }
    return context.out.Fail(kExitNotAnswering, "the instance for \"" + context.printer + "\" did not answer message " +
                                                   std::to_string(message) + " within " +
                                                   std::to_string(context.answerTimeoutMs) + " ms");
}

int ResolvePrinterHandle(CommandContext &context, const Instance &instance, WORD *handle)
{
    if (const std::string *given = OptionValue(context.invocation, "--handle")) {
        DWORD value = 0;
        if (!ParseNumber(*given, &value) || value > 0xFFFF)
            return context.out.Fail(kExitUsage, "--handle needs a number from 0 to 65535, not \"" + *given + "\"");
        *handle = static_cast<WORD>(value);
        return kExitOk;
    }
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, WM_QELAPP32_ENUMPRINTER, 0, 0, &answer))
        return code;
    if (answer == QEL_FAILURE)
        return context.out.Fail(kExitRefused, "the instance found no printer (1124 failed); pass --handle H");
    *handle = QEL_PRINTER_HANDLE_OF(answer);
    context.out.Fields().Add("printerHandle", static_cast<unsigned>(*handle));
    return kExitOk;
}

int ReadMillisecondsOption(CommandContext &context, const char *name, DWORD defaultValue, DWORD *value)
{
    return ReadCountOption(context, name, defaultValue, 0x7FFFFFFF, value);
}

int ReadCountOption(CommandContext &context, const char *name, DWORD defaultValue, DWORD maximum, DWORD *value)
{
    const std::string *given = OptionValue(context.invocation, name);
    if (given == nullptr) {
        *value = defaultValue;
        return kExitOk;
    }
    if (!ParseNumber(*given, value) || *value > maximum)
        return context.out.Fail(kExitUsage, std::string(name) + " needs a number from 0 to " + std::to_string(maximum) +
                                                ", not \"" + *given + "\"");
    return kExitOk;
}

int ParseHexArgument(CommandContext &context, const std::string &text, size_t maximum, std::string *bytes)
{
    std::string error;
    if (!ParseHexBytes(text, bytes, &error))
        return context.out.Fail(kExitBadHex, "bad hex \"" + text + "\": " + error);
    if (bytes->size() > maximum)
        return context.out.Fail(kExitUsage, std::to_string(bytes->size()) + " bytes given, at most " +
                                                std::to_string(maximum) + " allowed");
    return kExitOk;
}

int ReportOneOrZero(CommandContext &context, DWORD answer, const std::string &success, const std::string &failure)
{
    context.out.Fields().Add("answer", answer);
    if (answer == 1) {
        context.out.Line(success);
        return kExitOk;
    }
    return context.out.Fail(kExitRefused, failure + " (answer " + std::to_string(answer) + ")");
}

namespace {

struct StatusMeaning {
    DWORD answer;
    const char *meaning;
};

constexpr StatusMeaning kStatusMeanings[] = {
    {QEL_STATUS_READY, "ready"},
    {QEL_STATUS_ERROR, "error"},
    {QEL_STATUS_ATTENTION, "attention"},
};

} // namespace

const char *DescribeStatusByte(DWORD answer)
{
    for (const StatusMeaning &status : kStatusMeanings) {
        if (status.answer == answer)
            return status.meaning;
    }
    return nullptr;
}

std::string FormatStatusByte(DWORD answer)
{
    const char *meaning = DescribeStatusByte(answer);
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%02lx", static_cast<unsigned long>(answer));
    return std::string(meaning != nullptr ? meaning : "unexpected") + " (" + hex + ")";
}

std::string Hex32(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(value));
    return text;
}
