// qelctl: a command-line client of the qelapp32 instance that serves a printer.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "command_table.h"
#include "console_break.h"
#include "exit_codes.h"
#include "help.h"
#include "output.h"

namespace {

int FailUsage(Output &out, const std::string &message)
{
    out.Fail(kExitUsage, message + " (qelctl --help for usage)");
    return out.Finish(kExitUsage);
}

// "help", "help COMMAND" and "exit-codes" need no printer.
int RunHelpTopic(const Invocation &invocation, Output &out)
{
    const auto &words = invocation.positionals;
    if (words[0] == "exit-codes") {
        PrintExitCodes();
        return kExitOk;
    }
    if (words.size() == 1) {
        PrintGeneralHelp();
        return kExitOk;
    }
    const CommandEntry *command = FindCommand(words[1]);
    if (command == nullptr || words.size() > 2)
        return FailUsage(out, "help: unknown command \"" + words[1] + "\"");
    PrintCommandHelp(*command);
    return kExitOk;
}

bool IsHelpTopic(const std::string &word)
{
    return word == "help" || word == "exit-codes";
}

int CheckCommandLine(const Invocation &invocation, const CommandEntry &command, size_t argCount, Output &out)
{
    for (const auto &option : invocation.options) {
        if (!AcceptsOption(command, option.first))
            return FailUsage(out, std::string(command.name) + " does not take " + option.first);
    }
    const int args = static_cast<int>(argCount);
    if (args < command.minArgs || args > command.maxArgs)
        return FailUsage(out, UsageLine(command));
    return kExitOk;
}

bool Runs(const CommandEntry *command)
{
    return command != nullptr && command->handler != nullptr;
}

// The command, the printer and where the command's own arguments begin. PRINTER COMMAND
// is read first, so that a printer may bear a command's name; then COMMAND PRINTER for
// the commands that take their printer after their name, and COMMAND for those that
// take none.
struct Resolved {
    const CommandEntry *command = nullptr;
    std::string commandName;
    std::string printer;
    size_t argsFrom = 0;
    bool missingPrinter = false;
};

Resolved ResolveCommand(const std::vector<std::string> &words)
{
    Resolved resolved;
    if (words.size() >= 2) {
        const CommandEntry *second = FindCommand(words[1]);
        if (Runs(second) && second->syntax != Syntax::NoPrinter)
            return {second, words[1], words[0], 2, false};
    }
    if (!words.empty()) {
        const CommandEntry *first = FindCommand(words[0]);
        if (Runs(first) && first->syntax == Syntax::NoPrinter)
            return {first, words[0], std::string(), 1, false};
        if (Runs(first) && first->syntax == Syntax::PrinterAfter) {
            if (words.size() >= 2)
                return {first, words[0], words[1], 2, false};
            return {first, words[0], std::string(), 1, true};
        }
    }
    if (words.size() >= 2) {
        resolved.printer = words[0];
        resolved.commandName = words[1];
    }
    return resolved;
}

} // namespace

int main(int argc, char **argv)
{
    CatchConsoleBreak();
    Invocation invocation;
    std::string error;
    const bool parsed = ParseInvocation(argc, argv, &invocation, &error);
    const bool json = HasOption(invocation, "--json");
    const auto &words = invocation.positionals;
    const Resolved resolved = ResolveCommand(words);
    Output out(json, resolved.commandName, resolved.printer);

    if (!parsed)
        return FailUsage(out, error);
    if (words.empty() && HasOption(invocation, "--help")) {
        PrintGeneralHelp();
        return kExitOk;
    }
    if (!words.empty() && IsHelpTopic(words[0]))
        return RunHelpTopic(invocation, out);
    if (words.size() == 1 && HasOption(invocation, "--help") && FindCommand(words[0]) != nullptr) {
        PrintCommandHelp(*FindCommand(words[0]));
        return kExitOk;
    }
    if (resolved.missingPrinter)
        return FailUsage(out, "missing PRINTER: " + UsageLine(*resolved.command));
    if (resolved.command == nullptr) {
        const CommandEntry *second = words.size() >= 2 ? FindCommand(words[1]) : nullptr;
        if (Runs(second) && second->syntax == Syntax::NoPrinter)
            return FailUsage(out, std::string(second->name) + " takes no printer: " + UsageLine(*second));
        if (words.size() < 2)
            return FailUsage(out, words.empty() ? "missing PRINTER and COMMAND" : "missing COMMAND");
        return FailUsage(out, "unknown command \"" + resolved.commandName + "\"");
    }
    const CommandEntry &command = *resolved.command;
    if (HasOption(invocation, "--help")) {
        PrintCommandHelp(command);
        return kExitOk;
    }
    if (const int code = CheckCommandLine(invocation, command, words.size() - resolved.argsFrom, out))
        return code;

    DWORD answerTimeoutMs = command.answerTimeoutMs;
    if (const std::string *given = OptionValue(invocation, "--answer-timeout")) {
        if (!ParseNumber(*given, &answerTimeoutMs) || answerTimeoutMs == 0)
            return FailUsage(out, "--answer-timeout needs a number of milliseconds above 0");
    }
    CommandContext context{
        invocation,
        std::vector<std::string>(words.begin() + static_cast<std::ptrdiff_t>(resolved.argsFrom), words.end()),
        resolved.printer,
        out,
        answerTimeoutMs,
        resolved.commandName};
    return out.Finish(command.handler(context));
}
