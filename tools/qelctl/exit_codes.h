// qelctl's exit codes: one per kind of outcome, so scripts can tell them apart.
#pragma once

constexpr int kExitOk = 0;             // done; the instance answered success
constexpr int kExitRefused = 1;        // the instance answered that the request failed
constexpr int kExitUsage = 2;          // bad arguments
constexpr int kExitCancelled = 3;      // wait-ready, start: start-up was cancelled (init-cancel event)
constexpr int kExitTimeout = 4;        // a wait or poll ran out of time
constexpr int kExitNoInstance = 5;     // no instance serves the printer ("QelApp32Hwnd" missing, 0 or stale)
constexpr int kExitNotAnswering = 6;   // the instance's window did not answer in time
constexpr int kExitBadHex = 7;         // a byte string was not hexadecimal
constexpr int kExitSystem = 8;         // a Windows call in qelctl failed (process memory, registry, debugger)
constexpr int kExitAlreadyServed = 9;  // start: an instance already serves the printer
constexpr int kExitInstanceEnded = 10; // start --wait: the instance ended before it was ready
constexpr int kExitCheckFailed = 11;   // check: at least one point failed

struct ExitCodeInfo {
    int code;
    const char *meaning;
};

constexpr ExitCodeInfo kExitCodes[] = {
    {kExitOk, "success"},
    {kExitRefused, "the instance answered that the request failed"},
    {kExitUsage, "bad arguments"},
    {kExitCancelled, "wait-ready, start --wait: the instance cancelled its start-up"},
    {kExitTimeout, "timed out (wait-ready, start --wait, bidi, alerts --count, sendfile --wait, stop)"},
    {kExitNoInstance, "no instance serves that printer (QelApp32Hwnd missing, 0 or stale)"},
    {kExitNotAnswering, "the instance did not answer in time"},
    {kExitBadHex, "a byte string is not valid hexadecimal"},
    {kExitSystem, "a Windows call in qelctl failed (memory, registry, debugger, starting a process)"},
    {kExitAlreadyServed, "start: an instance already serves that printer"},
    {kExitInstanceEnded, "start --wait: the instance ended before it was ready"},
    {kExitCheckFailed, "check: at least one point failed"},
};
