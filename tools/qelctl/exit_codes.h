// qelctl's exit codes: one per kind of outcome, so scripts can tell them apart.
#pragma once

enum ExitCode {
    kExitOk,            // done; the instance answered success
    kExitRefused,       // the instance answered that the request failed
    kExitUsage,         // bad arguments
    kExitCancelled,     // wait-ready, start: start-up was cancelled (init-cancel event)
    kExitTimeout,       // a wait or poll ran out of time
    kExitNoInstance,    // no instance serves the printer ("QelApp32Hwnd" missing, 0 or stale)
    kExitNotAnswering,  // the instance's window did not answer in time
    kExitBadHex,        // a byte string was not hexadecimal
    kExitSystem,        // a Windows call in qelctl failed (process memory, registry, debugger)
    kExitAlreadyServed, // start: an instance already serves the printer
    kExitInstanceEnded, // start --wait: the instance ended before it was ready
    kExitCheckFailed,   // check: at least one point failed
};

// What qelctl help says of each, in the order of their numbers.
constexpr const char *kExitMeanings[] = {
    "success",
    "the instance answered that the request failed",
    "bad arguments",
    "wait-ready, start --wait: the instance cancelled its start-up",
    "timed out (wait-ready, start --wait, bidi, alerts --count, sendfile --wait, stop)",
    "no instance serves that printer (QelApp32Hwnd missing, 0 or stale)",
    "the instance did not answer in time",
    "a byte string is not valid hexadecimal",
    "a Windows call in qelctl failed (memory, registry, debugger, starting a process)",
    "start: an instance already serves that printer",
    "start --wait: the instance ended before it was ready",
    "check: at least one point failed",
};
