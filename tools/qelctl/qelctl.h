// What qelctl's commands share: the command line, the output (text or --json), the
// failures they end with, the instance and its printer's registry values, the packets.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exit_codes.h"
#include "qelapp32/qelclient.h"

// --- the command line: qelctl [options] PRINTER COMMAND [args] [options] -----------------

struct Invocation {
    std::vector<std::string> positionals;                     // PRINTER, COMMAND, then the command's own arguments
    std::vector<std::pair<std::string, std::string>> options; // name with "--", value ("" for a flag)
};

// Options may stand anywhere; "--" ends them. Fails only for an option that needs a value and has none.
bool ParseInvocation(int argc, char **argv, Invocation *invocation, std::string *error);
// The last value given for the option, or nullptr.
const std::string *OptionValue(const Invocation &invocation, const char *name);
// Whether a blank-separated list holds the word.
bool ListContains(const char *list, const std::string &word);
// Decimal, or hexadecimal with 0x; the whole text must be the number.
bool ParseNumber(const std::string &text, DWORD *value);

// --- the output -----------------------------------------------------------------------

std::string JsonQuote(const std::string &text);
std::string JsonArray(const std::vector<std::string> &items); // items already JSON

// A JSON object built field by field, in the order the fields are added.
class JsonObject {
public:
    void AddRaw(const char *key, const std::string &json); // value already JSON
    void Add(const char *key, const std::string &value) { AddRaw(key, JsonQuote(value)); }
    void Add(const char *key, const char *value) { AddRaw(key, value != nullptr ? JsonQuote(value) : "null"); }
    template <typename Number>
    void Add(const char *key, Number value)
    {
        AddRaw(key, std::to_string(value));
    }
    template <typename Value>
    void Add(const char *key, const std::optional<Value> &value)
    {
        if (value)
            Add(key, *value);
        else
            AddRaw(key, "null");
    }
    void AddBool(const char *key, bool value) { AddRaw(key, value ? "true" : "false"); }
    // Adds the other object's fields after these.
    void Merge(const JsonObject &other)
    {
        fields_ += (fields_.empty() || other.fields_.empty() ? "" : ",") + other.fields_;
    }
    std::string Text() const { return "{" + fields_ + "}"; }

private:
    std::string fields_;
};

// What a command tells its user: readable lines on stdout as they happen, or, with
// --json, one JSON object on stdout when the command ends. Errors always go to stderr.
class Output {
public:
    Output(bool json, const std::string &command, const std::string &printer)
        : json_(json), command_(command), printer_(printer)
    {
    }
    // A line for people; printed at once (and flushed) unless --json.
    void Line(const std::string &text);
    // The command's own fields for --json.
    JsonObject &Fields() { return fields_; }
    // A command whose --json output is not the usual object (list prints one array).
    void SetDocument(const std::string &json) { document_ = json; }
    // Reports the failure, if any, on stderr; prints the JSON document (with --json); answers
    // the exit code to return.
    int Finish(int exitCode, const std::string &error = "");

private:
    bool json_;
    std::string command_, printer_, document_;
    JsonObject fields_;
};

// How a command ends early: thrown, and reported once by main through Output::Finish, so
// every guard the command held is released on the way out.
struct Failure {
    int exitCode;
    std::string message;
};
[[noreturn]] void Fail(int exitCode, const std::string &message);

std::string Hex32(DWORD value);             // "0x00000098"
std::string FormatSeconds(DWORD elapsedMs); // "2.5 s"
// The answers of 1128: "ready", "error", "attention", or nullptr; and "ready (0x98)".
const char *DescribeStatusByte(DWORD answer);
std::string FormatStatusByte(DWORD answer);

// For the commands that print what arrives as it arrives (alerts, log): prints
// "[HH:MM:SS.mmm] line" and answers the JSON entry {"time": ..., key: json}.
std::string ReportTimed(Output &out, const std::string &line, const char *key, const std::string &json);
// A --count or --timeout of 0: no limit.
constexpr DWORD kUnlimited = 0;

// Ctrl+C (and Ctrl+Break, closing the console) sets a manual-reset event that the commands
// which run until stopped wait on, instead of killing qelctl before it has freed what it
// placed in the instance or detached from it.
void CatchConsoleBreak();
HANDLE ConsoleBreakEvent();
bool IsConsoleBreakRequested();

// --- the instance and the printer's registry values -----------------------------------

// The client library's view of one instance; the process it opened is closed when this goes.
class Instance {
public:
    Instance() : client_() {}
    // The instance serving the printer, or a failure (no instance).
    explicit Instance(const std::string &printer);
    // A window found by other means (list, check, wait-ready): asked only by messages without buffers.
    Instance(const std::string &printer, HWND window);
    ~Instance() { QelCloseInstance(&client_); }
    Instance(const Instance &) = delete;
    Instance &operator=(const Instance &) = delete;

    // Finds the printer's instance; false with the reason ("QelApp32Hwnd" missing or 0,
    // or a published window that is gone) in *error.
    bool Locate(const std::string &printer, std::string *error);
    QelInstance *Client() { return &client_; }
    const QelInstance *Client() const { return &client_; }
    DWORD ProcessId() const { return client_.processId; }
    // Whether it answers 1137 (always 1) in time.
    bool AnswersNoop(DWORD timeoutMs) const { return QelNoop(&client_, timeoutMs, nullptr) == QEL_OK; }

private:
    QelInstance client_;
};

// What "QelApp32Hwnd" says about a printer.
enum class Publication { Missing, Zero, Stale, Window };
struct PublishedWindow {
    Publication state = Publication::Missing;
    DWORD value = 0;
    HWND window = nullptr; // set for Publication::Window
};
PublishedWindow ReadPublishedWindow(const std::string &printer);
// The window a second start would find and give way to: the published one, else one of
// the instance's class and title.
HWND FindServingWindow(const std::string &printer);

std::string PrinterKeyPath(const std::string &printer);
std::string DriverDataKeyPath(const std::string &printer);
bool KeyExists(const std::string &path);                                                     // under HKEY_LOCAL_MACHINE
std::optional<std::string> ReadRegistryValue(const std::string &keyPath, const char *value); // its bytes
bool IsFile(const std::string &path);
std::optional<DWORD> ReadDriverDword(const std::string &printer, const char *value);
std::optional<std::string> ReadPrinterString(const std::string &printer, const char *value);
// Every printer under the printers key, in the order people sort names.
std::vector<std::string> ListPrinterNames();
// "USB" for a name that begins with it, "network" for a UNC path, "redirected" for a local
// name mapped to a remote printer, "other": as the instance tells them apart.
const char *ClassifyPort(const std::string &port);

// The service program: the qelapp32.exe beside qelctl.exe (for the 64-bit qelctl in
// bin64\, the one in bin\ beside it), or the one named with --exe.
struct ServiceProgram {
    std::string path, directory;
    std::string commandPath; // as it goes on a command line: quoted when it holds a blank
    bool exists = false;
};
constexpr char kServiceProgramName[] = "qelapp32.exe";
ServiceProgram FindServiceProgram(const Invocation &invocation);

// --- packets: byte strings, and what the inbound stream (1126) carries -----------------

// Pairs of hex digits, optionally separated by blanks, ':', '-' or ','; "0x" in front is
// allowed. Fails on anything else, on an odd digit count and on an empty string.
bool ParseHexBytes(const std::string &text, std::string *bytes, std::string *error);
std::string FormatHexBytes(const std::string &bytes);  // "a5 00 05 00 ff"
std::string FormatPrintable(const std::string &bytes); // printable ASCII, '.' for the rest
// One line: "status S5=40 S6=00 S7=00 (status bits 8 (error))".
std::string DescribePacket(const std::string &bytes);
std::string PacketJson(const std::string &bytes);
// Prints a message taken from the stream (its bytes, frame and meaning) and adds it to
// the JSON fields under "message".
void ReportMessage(Output &out, const std::string &message);

// --- the commands ---------------------------------------------------------------------

struct CommandContext {
    const Invocation &invocation;
    std::vector<std::string> args; // the command's own arguments, after COMMAND
    std::string printer;
    Output &out;
    DWORD answerTimeoutMs; // how long SendMessageTimeoutA waits for an answer
    std::string command;

    bool Has(const char *option) const { return OptionValue(invocation, option) != nullptr; }
    // The option's number, or defaultValue when it is not given; fails (usage) above maximum.
    DWORD Number(const char *option, DWORD defaultValue, DWORD maximum = 0x7FFFFFFF) const;
    // The byte string of a HEX argument, at most maximum bytes.
    std::string HexArgument(const std::string &text, size_t maximum) const;
    // The low 32 bits of the answer, or a failure when it was not delivered.
    DWORD Ask(const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam) const;
    // The oldest message of the inbound stream (1126), at most size bytes; empty when none waited.
    std::string Read(const Instance &instance, DWORD size) const;
    // A failure unless the library delivered the message and it was answered (success or refusal).
    void CheckDelivered(QelResult result, UINT message) const;
    // --handle H, or else the handle that 1124 answers (as a client would learn it).
    WORD PrinterHandle(const Instance &instance) const;
    // For the messages that answer 1 or 0: reports which, and fails (refused) on anything but 1.
    void ReportOneOrZero(DWORD answer, const std::string &success, const std::string &failure) const;
};

using CommandHandler = int(CommandContext &context);

// 1128 may wait up to 15 s.
constexpr DWORD kAnswerMs = 20000;

// Where the printer stands: qelctl PRINTER status; qelctl start PRINTER (or qelctl
// PRINTER start); qelctl list.
enum class Syntax { PrinterFirst, PrinterAfter, NoPrinter };

struct CommandEntry {
    const char *name;
    const char *usage;   // after "qelctl PRINTER " (PrinterFirst) or "qelctl " (the others)
    const char *summary; // one line for the general help
    const char *help;    // the rest of "qelctl help COMMAND"
    CommandHandler *handler;
    const char *options = ""; // the options it accepts besides the global ones, blank-separated
    int minArgs = 0;
    int maxArgs = 0;
    DWORD answerTimeoutMs = kAnswerMs; // how long to wait for the instance's answer to one message
    Syntax syntax = Syntax::PrinterFirst;
};

const CommandEntry *FindCommand(const std::string &name);
std::vector<const CommandEntry *> AllCommands();
bool AcceptsOption(const CommandEntry &command, const std::string &option);

// The commands' handlers, in commands_*.cpp: RunMessage runs every command that sends one
// message and decodes its answer (enum, status, ping...).
CommandHandler RunMessage, RunWrite, RunRead, RunBidi, RunSendFile, RunStore, RunRetrieve, RunInfo, RunWaitReady,
    RunStart, RunStop, RunAlerts, RunLog, RunList, RunCheck;
