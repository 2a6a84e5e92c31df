// alerts: have the printer's alerts captured (1136) and print every packet that
// arrives in the inbound stream (1126), decoded, as it arrives.
#include <algorithm>

#include "qelctl.h"

constexpr DWORD kDefaultPollMs = 100;

int RunAlerts(CommandContext &context)
{
    const DWORD count = context.Number("--count", kUnlimited);       // stop after this many packets
    const DWORD timeoutMs = context.Number("--timeout", kUnlimited); // stop after this long
    const DWORD pollMs = context.Number("--interval", kDefaultPollMs);
    // With a count or a time limit the command waits for packets as --follow does.
    const bool follow = context.Has("--follow") || count != kUnlimited || timeoutMs != kUnlimited;
    const Instance instance(context.printer);
    if (!context.Has("--no-capture")) {
        const DWORD answer = context.Ask(instance, WM_QELAPP32_CAPTUREALERTS, 0, 0);
        if (answer != 1)
            Fail(kExitRefused,
                 "capture-alerts failed: TovCaptureAlerts refused (answer " + std::to_string(answer) + ")");
    }
    if (follow)
        context.out.Line("waiting for alerts (Ctrl+C to stop)");

    const DWORD start = GetTickCount();
    std::vector<std::string> packets;
    bool timedOut = false;
    while (count == kUnlimited || packets.size() < count) {
        const std::string message = context.Read(instance, QEL_MAX_MESSAGE_LENGTH);
        if (!message.empty()) {
            packets.push_back(ReportTimed(context.out, DescribePacket(message) + "  [" + FormatHexBytes(message) + "]",
                                          "packet", PacketJson(message)));
            continue;
        }
        const DWORD elapsed = GetTickCount() - start;
        timedOut = timeoutMs != kUnlimited && elapsed >= timeoutMs;
        const DWORD pause = timeoutMs != kUnlimited ? std::min(pollMs, timeoutMs - elapsed) : pollMs;
        if (!follow || timedOut || WaitForSingleObject(ConsoleBreakEvent(), pause) == WAIT_OBJECT_0)
            break;
    }
    context.out.Fields().Add("received", static_cast<unsigned>(packets.size()));
    context.out.Fields().AddRaw("packets", JsonArray(packets));
    if (timedOut && count != kUnlimited)
        Fail(kExitTimeout, std::to_string(packets.size()) + " of " + std::to_string(count) + " packets within " +
                               std::to_string(timeoutMs) + " ms");
    if (packets.empty())
        context.out.Line("no packets");
    return kExitOk;
}
