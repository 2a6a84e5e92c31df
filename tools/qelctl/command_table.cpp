// Every command: its name, how it is called, what it does, which options it takes and
// the function that runs it.
#include <array>

#include "qelctl.h"

namespace {

// 1127 and 1131 wait up to 70 s while the outbound queue is full.
constexpr DWORD kQueueAnswerMs = 75000;
// list asks every instance side by side; a hung one must not hold the others up.
constexpr DWORD kListAnswerMs = 1000;
constexpr DWORD kCheckAnswerMs = 5000;

constexpr const char *kGlobalOptions = "--json --help --answer-timeout";

constexpr std::array<CommandEntry, 26> kCommands = {{
    {"list", "list [--no-status]", "every printer, its port, and the instance that serves it",
     "One line for each printer under HKLM\\System\\CurrentControlSet\\control\\Print\\Printers: its\n"
     "\"Port\" and the port's kind (USB, network, redirected or other), whether \"QelApp32Hwnd\" names an\n"
     "instance's window (none, stale, or the window), whether that window answers 1137 within the answer\n"
     "timeout (default 1000 ms), the application ID, and the status byte (1128, refreshed only when due)\n"
     "of those that answer. --no-status leaves 1128 out: an attention status is reported only once, to\n"
     "whoever asks first. The instances are asked side by side. --json prints one array.",
     RunList, "--no-status", 0, 0, kListAnswerMs, Syntax::NoPrinter},
    {"start", "start PRINTER [--wait] [--timeout MS] [--exe PATH]", "start the instance for a printer",
     "Starts \"qelapp32.exe PRINTER\" as a port monitor does: the qelapp32.exe beside qelctl.exe (or in\n"
     "bin\\ beside the 64-bit qelctl's bin64\\), or\n"
     "PATH, with the printer name unquoted after it. It creates the init and init-cancel events first.\n"
     "With --wait it waits for them (default 30000 ms): exit 0 when the instance serves, 3 when it\n"
     "cancelled its start-up (its components are not in order), 10 when it ended before either (its\n"
     "exit code is shown), 4 on timeout. Exit 9, without starting anything, when an instance already\n"
     "serves the printer; exit 2 for a printer without a key under the printers key.",
     RunStart, "--wait --timeout --exe", 0, 0, kAnswerMs, Syntax::PrinterAfter},
    {"check", "check PRINTER [--exe PATH]", "diagnose why a printer's instance does not start or serve",
     "One line per point, OK, WARN or FAIL, with what to do: the printer's key, \"Port\" and its kind,\n"
     "PrinterDriverData, the service program (beside qelctl.exe, or PATH), the communication library\n"
     "QRMTOV.DLL (beside the service program, in the system or Windows directory, or on PATH: found,\n"
     "loads, all 24 entry points), the printer software's components in the system directory against\n"
     "the versions the service requires, a replacement pending until Windows restarts, and the instance:\n"
     "published, alive, answering (within the answer timeout, default 5000 ms). Exit 0 when nothing\n"
     "failed, 11 when a point failed.",
     RunCheck, "--exe", 0, 0, kCheckAnswerMs, Syntax::PrinterAfter},
    {"info", "info", "published registry values, and whether the instance answers",
     "Reads \"Port\" from the printer's key and \"QelApp32Hwnd\", \"QelApp32AppId\" and \"NON BIDI MODE\"\n"
     "from its PrinterDriverData key, then checks that the published window answers 1137.\n"
     "Exit 0 when it answers, 5 when no instance is published, 6 when it does not answer.",
     RunInfo},
    {"wait-ready", "wait-ready [--timeout MS]", "wait until the instance is ready (init events)",
     "Creates (or opens) the events \"PRINTER:QELAPP32_INIT_EVENT\" and \"PRINTER:QELAPP32_INIT_CANCEL_EVENT\"\n"
     "and waits for either; an instance that is already running and answers counts as ready.\n"
     "Exit 0 ready, 3 start-up cancelled (components not in order), 4 timeout. Default timeout 30000 ms.",
     RunWaitReady, "--timeout"},
    {"enum", "enum", "1124: find the printer; its handle and flag",
     "Sends 1124 (WM_QELAPP32_ENUMPRINTER). The answer carries the printer handle in its high 16 bits\n"
     "and bit 0 of the printer's flags in its low 16 bits; -1 means no printer was found (exit 1).",
     RunMessage},
    {"status", "status [--refresh|--nowait]", "1128: the emulated port status byte",
     "Sends 1128 (WM_QELAPP32_GETSTATUS) with lParam 0 (refresh when due and wait), 2 with --refresh\n"
     "(always refresh) or 1 with --nowait (do not wait, except on the very first refresh).\n"
     "Answers: 0x98 ready, 0x80 error, 0x20 attention (reported once).",
     RunMessage, "--refresh --nowait"},
    {"deviceid", "deviceid [--size N] [--handle H]", "1129: the printer's device ID string",
     "Places a buffer of N bytes (default 1024) in the instance's process and sends 1129\n"
     "(WM_QELAPP32_GETDEVICEID) with the printer handle and N in wParam. -1 is a library failure and 0 an\n"
     "empty device ID (both exit 1). Without --handle the handle comes from 1124.",
     RunMessage, "--size --handle"},
    {"open", "open", "1132: open the printer channel (TovOpen)",
     "Sends 1132 (WM_QELAPP32_OPEN); 1 means opened, 0 failed (exit 1; the instance logs why).", RunMessage},
    {"close", "close", "1133: close the printer channel (TovClose)",
     "Sends 1133 (WM_QELAPP32_CLOSE); 1 means closed, 0 failed (exit 1; the instance logs why).", RunMessage},
    {"ping", "ping", "1135: ping the library (TovPing)",
     "Sends 1135 (WM_QELAPP32_PING); 1 means the library answered, 0 failed (exit 1).", RunMessage},
    {"noop", "noop", "1137: check that the instance answers", "Sends 1137 (WM_QELAPP32_NOOP), which always answers 1.",
     RunMessage},
    {"startdoc", "startdoc [--handle H]", "1130: reset the job modes and start a document",
     "Sends 1130 (WM_QELAPP32_STARTDOC) with the printer handle in the high 16 bits of wParam;\n"
     "1 started, 0 a step failed (exit 1). Without --handle the handle comes from 1124.",
     RunMessage, "--handle"},
    {"enddoc", "enddoc [--handle H]", "1131: queue the end of the document",
     "Sends 1131 (WM_QELAPP32_ENDDOC): the end of document is queued behind the packets sent before it.\n"
     "Always answers 1. Without --handle the handle comes from 1124.",
     RunMessage, "--handle", 0, 0, kQueueAnswerMs},
    {"write", "write HEX [--handle H]", "1127: queue a packet for the printer",
     "Places the bytes (at most 1024, e.g. \"a5 00 02 10 01\") in the instance's process and sends 1127\n"
     "(WM_QELAPP32_WRITE) with the printer handle and the length in wParam. Always answers 0; the\n"
     "printer's reply arrives in the inbound stream (qelctl PRINTER read). A first byte of 1 starts and\n"
     "2 ends a document instead. Without --handle the handle comes from 1124.",
     RunWrite, "--handle", 1, 1, kQueueAnswerMs},
    {"read", "read [--size N]", "1126: take the oldest message from the inbound stream",
     "Places a buffer of N bytes (default 1024) in the instance's process and sends 1126\n"
     "(WM_QELAPP32_READ). Shows the message's frame (start byte a5, length, payload) and what it is:\n"
     "a reply, or a status, value or alert-data packet. \"no message waiting\" when the stream is empty.",
     RunRead, "--size"},
    {"bidi", "bidi HEX [--timeout MS] [--interval MS] [--handle H]", "1127 then 1126: a packet and its reply",
     "Sends the packet as write does, then reads the inbound stream every MS (default 50) until the\n"
     "printer's reply arrives; the status, value and alert packets the instance queued before it are\n"
     "shown as they come. Exit 4 when no reply arrives within the timeout (default 5000 ms).",
     RunBidi, "--timeout --interval --handle", 1, 1, kQueueAnswerMs},
    {"sendfile", "sendfile NAME [--wait] [--timeout MS] [--interval MS] [--use-1141] | sendfile --query",
     "1134: send a file from the instance's system directory",
     "Places the file name in the instance's process and sends 1134 (WM_QELAPP32_SENDFILE; 1141 with\n"
     "--use-1141). The file is looked up in the instance's system directory. --wait asks every MS\n"
     "(default 100) with lParam 0 whether the sender still runs, reports while it runs and when it ends,\n"
     "with the elapsed time; --timeout limits the wait (exit 4). --query only asks whether a sender runs.\n"
     "Answer 0 means refused: a file is still being sent, or the name is not acceptable (exit 1).",
     RunSendFile, "--wait --timeout --interval --use-1141 --query", 0, 1},
    {"capture-alerts", "capture-alerts", "1136: have the printer's alerts captured",
     "Sends 1136 (WM_QELAPP32_CAPTUREALERTS); from then on alert packets arrive in the inbound stream.\n"
     "1 captured, 0 failed (exit 1).",
     RunMessage},
    {"alerts", "alerts [--follow] [--count N] [--timeout MS] [--interval MS] [--no-capture]",
     "capture alerts and print each packet as it arrives",
     "Sends 1136 (unless --no-capture), then reads the inbound stream every MS (default 100) and prints\n"
     "each packet decoded: status packets with their flags S5 S6 S7 and the status bits they stand for,\n"
     "value packets with their value, alert-data packets with their data. Without --follow, --count or\n"
     "--timeout it prints what is waiting and stops; otherwise it runs until Ctrl+C, N packets or MS\n"
     "milliseconds. Exit 4 when --count packets did not arrive within --timeout.",
     RunAlerts, "--follow --count --timeout --interval --no-capture"},
    {"store", "store NAME (HEX | --text TEXT)", "1139: store a named data item in the printer",
     "Writes \"QelApp32StoreDataName\" (NAME, at most 35 characters), \"QelApp32StoreDataSize\" and\n"
     "\"QelApp32StoreData\" (at most 512 bytes) under the printer's PrinterDriverData key, then sends\n"
     "1139 (WM_QELAPP32_STOREDATA). 1 stored, 0 failed (exit 1).",
     RunStore, "--text", 1, 2},
    {"retrieve", "retrieve NAME SIZE", "1140: retrieve a named data item from the printer",
     "Writes \"QelApp32StoreDataName\" and \"QelApp32StoreDataSize\" (SIZE, 1 to 512), sends 1140\n"
     "(WM_QELAPP32_RETRIEVEDATA), then reads \"QelApp32StoreBytesRetrieved\" and \"QelApp32StoreData\".\n"
     "1 retrieved, 0 failed (exit 1).",
     RunRetrieve, "", 2, 2},
    {"stop", "stop [--timeout MS] [--handle H]", "1125: end the instance",
     "Creates the event \"PRINTER:QELAPP32_READY_FOR_NEXT_JOB\", sends 1125 (WM_QELAPP32_ENDJOB) with\n"
     "the application ID in wParam and the printer handle in the high 16 bits of lParam, and waits for\n"
     "the event, which the instance sets as its last act, and then for its process (default 10000 ms;\n"
     "exit 4 on timeout); the time shown covers both. Answer 0\n"
     "means a step failed (exit 1), though the instance ends all the same.",
     RunStop, "--timeout --handle"},
    {"log", "log [--timeout MS] [--all]", "print the instance's \"QELAPP32: \" lines live",
     "Attaches to the instance as a debugger and prints every \"QELAPP32: \" line it writes, with a\n"
     "timestamp, until Ctrl+C, --timeout or the instance's end; then detaches and leaves it running.\n"
     "--all prints its other debugger output too. Fails (exit 8) if another debugger is attached.",
     RunLog, "--timeout --all"},
    {"help", "help [COMMAND]", "general help, or a command's help", "", nullptr, "", 0, 1},
    {"exit-codes", "exit-codes", "list the exit codes", "", nullptr},
}};

} // namespace

const CommandEntry *FindCommand(const std::string &name)
{
    for (const CommandEntry &command : kCommands) {
        if (name == command.name)
            return &command;
    }
    return nullptr;
}

std::vector<const CommandEntry *> AllCommands()
{
    std::vector<const CommandEntry *> commands;
    for (const CommandEntry &command : kCommands)
        commands.push_back(&command);
    return commands;
}

bool AcceptsOption(const CommandEntry &command, const std::string &option)
{
    return ListContains(kGlobalOptions, option) || ListContains(command.options, option);
}
