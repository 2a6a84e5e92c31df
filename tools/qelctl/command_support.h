// What every command needs: its context, the instance, a question to it, and the
// options most commands share.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "arguments.h"
#include "instance.h"
#include "output.h"

struct CommandContext {
    const Invocation &invocation;
    std::vector<std::string> args; // the command's own arguments, after COMMAND
    std::string printer;
    Output &out;
    DWORD answerTimeoutMs; // how long SendMessageTimeoutA waits for an answer
    std::string command;   // the command's name
};

using CommandHandler = int (*)(CommandContext &context);

// Each answers kExitOk, or the exit code of a failure already reported through out.
int ConnectToInstance(CommandContext &context, Instance *instance);
int AskInstance(CommandContext &context, const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam,
                DWORD *answer);
// For a client-library call about message: kExitOk when it was delivered and answered
// (success or refusal; the caller decodes which), else the failure, reported.
int CheckDelivered(CommandContext &context, QelResult result, UINT message);
// --handle H, or else the handle that 1124 answers (as a client would learn it).
int ResolvePrinterHandle(CommandContext &context, const Instance &instance, WORD *handle);
int ReadMillisecondsOption(CommandContext &context, const char *name, DWORD defaultValue, DWORD *value);
int ReadCountOption(CommandContext &context, const char *name, DWORD defaultValue, DWORD maximum, DWORD *value);
int ParseHexArgument(CommandContext &context, const std::string &text, size_t maximum, std::string *bytes);

// For the messages that answer 1 or 0: reports which, and answers kExitOk or kExitRefused.
int ReportOneOrZero(CommandContext &context, DWORD answer, const std::string &success, const std::string &failure);

std::string Hex32(DWORD value); // "0x00000098"

// The answers of 1128: "ready", "error", "attention", or nullptr for anything else.
const char *DescribeStatusByte(DWORD answer);
// "ready (0x98)", or "unexpected (0x...)".
std::string FormatStatusByte(DWORD answer);

// The printer's init and init-cancel events, created through the client library (or
// opened when the instance made them first: created before an instance starts, it opens
// ours and cannot signal before anyone listens); closed when this goes.
class StartEvents {
public:
    explicit StartEvents(const std::string &printer) : events_()
    {
        valid_ = QelCreateStartEvents(printer.c_str(), &events_) == QEL_OK;
    }
    ~StartEvents() { QelCloseStartEvents(&events_); }
    StartEvents(const StartEvents &) = delete;
    StartEvents &operator=(const StartEvents &) = delete;

    bool IsValid() const { return valid_; }
    const QelStartEvents *Get() const { return &events_; }

private:
    QelStartEvents events_;
    bool valid_ = false;
};
