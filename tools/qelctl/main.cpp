// qelctl: a command-line client of the qelapp32 instance that serves a printer.
#include <cstdio>
#include <string>

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

int CheckCommandLine(const Invocation &invocation, const CommandEntry &command, Output &out)
{
    for (const auto &option : invocation.options) {
        if (!AcceptsOption(command, option.first))
            return FailUsage(out, std::string(command.name) + " does not take " + option.first);
    }
    const int args = static_cast<int>(invocation.positionals.size()) - 2;
    if (args < command.minArgs || args > command.maxArgs)
        return FailUsage(out, std::string("usage: qelctl PRINTER ") + command.usage);
    return kExitOk;
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
    const std::string printer = words.size() >= 2 ? words[0] : std::string();
    const std::string commandName = words.size() >= 2 ? words[1] : std::string();
    Output out(json, commandName, printer);

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
    if (words.size() < 2)
        return FailUsage(out, words.empty() ? "missing PRINTER and COMMAND" : "missing COMMAND");
    const CommandEntry *command = FindCommand(commandName);
    if (command == nullptr || command->handler == nullptr)
        return FailUsage(out, "unknown command \"" + commandName + "\"");
    if (HasOption(invocation, "--help")) {
        PrintCommandHelp(*command);
        return kExitOk;
    }
    if (const int code = CheckCommandLine(invocation, *command, out))
        return code;

    DWORD answerTimeoutMs = command->answerTimeoutMs;
    if (const std::string *given = OptionValue(invocation, "--answer-timeout")) {
        if (!ParseNumber(*given, &answerTimeoutMs) || answerTimeoutMs == 0)
            return FailUsage(out, "--answer-timeout needs a number of milliseconds above 0");
    }
    CommandContext context{invocation, std::vector<std::string>(words.begin() + 2, words.end()), printer, out,
                           answerTimeoutMs};
    return out.Finish(command->handler(context));
}
