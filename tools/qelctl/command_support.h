// What every command needs: its context, the instance, a question to it, and the
// options most commands share.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "arguments.h"
#include "core/owned.h"
#include "instance.h"
#include "output.h"

struct CommandContext {
    const Invocation &invocation;
    std::vector<std::string> args; // the command's own arguments, after COMMAND
    std::string printer;
    Output &out;
    DWORD answerTimeoutMs; // how long SendMessageTimeoutA waits for an answer
};

using CommandHandler = int (*)(CommandContext &context);

// Each answers kExitOk, or the exit code of a failure already reported through out.
int ConnectToInstance(CommandContext &context, Instance *instance);
int AskInstance(CommandContext &context, const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam,
                DWORD *answer);
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

// An event name as the instance builds it: formatted with the printer name, cut at
// 259 characters.
std::string FormatEventName(const char *format, const std::string &printer);

// The printer's init and init-cancel events, created here, or opened when the instance
// made them first: created before an instance starts, it opens ours and cannot signal
// before anyone listens.
struct InitEvents {
    HandleGuard ready;
    HandleGuard cancelled;
};
// False (with GetLastError) when either cannot be had.
bool CreateInitEvents(const std::string &printer, InitEvents *events);
