// alerts: have the printer's alerts captured (1136) and print every packet that
// arrives in the inbound stream (1126), decoded, as it arrives.
#include "commands.h"

#include "console_break.h"
#include "exit_codes.h"
#include "inbound_reader.h"
#include "packet_decoding.h"
#include "qelapp32/client.h"

namespace {

constexpr DWORD kDefaultPollIntervalMs = 100;
constexpr DWORD kUnlimited = 0;

struct AlertWatch {
    DWORD count = kUnlimited;     // stop after this many packets
    DWORD timeoutMs = kUnlimited; // stop after this long
    DWORD intervalMs = kDefaultPollIntervalMs;
    bool follow = false; // keep waiting when the stream is empty
};

int ReadWatchOptions(CommandContext &context, AlertWatch *watch)
{
    if (const int code = ReadCountOption(context, "--count", kUnlimited, 0x7FFFFFFF, &watch->count))
        return code;
    if (const int code = ReadMillisecondsOption(context, "--timeout", kUnlimited, &watch->timeoutMs))
        return code;
    if (const int code = ReadMillisecondsOption(context, "--interval", kDefaultPollIntervalMs, &watch->intervalMs))
        return code;
    // With a count or a time limit the command waits for packets as --follow does.
    watch->follow =
        HasOption(context.invocation, "--follow") || watch->count != kUnlimited || watch->timeoutMs != kUnlimited;
    return kExitOk;
}

int CaptureAlerts(CommandContext &context, const Instance &instance)
{
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, WM_QELAPP32_CAPTUREALERTS, 0, 0, &answer))
        return code;
    if (answer != 1)
        return context.out.Fail(kExitRefused, "capture-alerts failed: TovCaptureAlerts refused (answer " +
                                                  std::to_string(answer) + ")");
    return kExitOk;
}

void ReportAlert(CommandContext &context, const std::string &message, JsonArray *packets)
{
    const DecodedPacket packet = DecodePacket(message);
    const std::string time = FormatTimestamp();
    context.out.Line("[" + time + "] " + DescribePacket(packet) + "  [" + FormatHexBytes(message) + "]");
    JsonObject entry;
    entry.Add("time", time);
    entry.AddRaw("packet", PacketJson(packet));
    packets->AddRaw(entry.Text());
}

} // namespace

int RunAlerts(CommandContext &context)
{
    AlertWatch watch;
    if (const int code = ReadWatchOptions(context, &watch))
        return code;
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    InboundReader reader(context, instance, QEL_MAX_MESSAGE_LENGTH);
    if (!HasOption(context.invocation, "--no-capture")) {
        if (const int code = CaptureAlerts(context, instance))
            return code;
    }
    if (watch.follow)
        context.out.Line("waiting for alerts (Ctrl+C to stop)");

    const DWORD start = GetTickCount();
    JsonArray packets;
    DWORD received = 0;
    int result = kExitOk;
    while (watch.count == kUnlimited || received < watch.count) {
        std::string message;
        if ((result = reader.Take(&message)) != kExitOk)
            break;
        if (!message.empty()) {
            ReportAlert(context, message, &packets);
            ++received;
            continue;
        }
        if (!watch.follow)
            break;
        const DWORD elapsed = GetTickCount() - start;
        if (watch.timeoutMs != kUnlimited && elapsed >= watch.timeoutMs) {
            if (watch.count != kUnlimited)
                result =
                    context.out.Fail(kExitTimeout, std::to_string(received) + " of " + std::to_string(watch.count) +
                                                       " packets within " + std::to_string(watch.timeoutMs) + " ms");
            break;
        }
        DWORD pause = watch.intervalMs;
        if (watch.timeoutMs != kUnlimited && watch.timeoutMs - elapsed < pause)
            pause = watch.timeoutMs - elapsed;
        if (WaitForSingleObject(ConsoleBreakEvent(), pause) == WAIT_OBJECT_0)
            break;
    }
    context.out.Fields().Add("received", received);
    context.out.Fields().AddRaw("packets", packets.Text());
    if (received == 0 && result == kExitOk)
        context.out.Line("no packets");
    return result;
}
