// qelctl: a command-line client of the qelapp32 instance that serves a printer.
#include <cstddef>
#include <cstdio>

#include "qelctl.h"

namespace {

constexpr char kIntroduction[] =
    "qelctl - talk to the qelapp32 instance that serves a printer\n"
    "\n"
    "usage: qelctl PRINTER COMMAND [ARGS] [OPTIONS]\n"
    "       qelctl list                qelctl start PRINTER      qelctl check PRINTER\n"
    "       qelctl help [COMMAND]      qelctl PRINTER COMMAND --help\n"
    "\n"
    "The instance is found through the value \"QelApp32Hwnd\" under\n"
    "HKLM\\System\\CurrentControlSet\\control\\Print\\Printers\\PRINTER\\PrinterDriverData.\n"
    "Buffers the instance reads or writes are placed in its own process.\n";

constexpr char kGlobalOptionsHelp[] =
    "options for every command:\n"
    "  --json               print one JSON object on stdout instead of text\n"
    "  --answer-timeout MS  how long to wait for the instance to answer one message\n"
    "                       (default 20000; 75000 for write, bidi and enddoc; 1000 for list,\n"
    "                       5000 for check)\n"
    "  --help               this command's help\n"
    "Numbers may be decimal or hexadecimal with 0x. HEX is pairs of hex digits, blanks allowed.\n";

void PrintExitCodes()
{
    std::puts("exit codes:");
    for (int code = kExitOk; code <= kExitCheckFailed; ++code)
        std::printf("  %2d  %s\n", code, kExitMeanings[code]);
}

void PrintGeneralHelp()
{
    std::fputs(kIntroduction, stdout);
    std::puts("\ncommands:");
    for (const CommandEntry *command : AllCommands())
        std::printf("  %-16s %s\n", command->name, command->summary);
    std::printf("\n%s\n", kGlobalOptionsHelp);
    PrintExitCodes();
}

// "usage: qelctl PRINTER status ...", or "usage: qelctl list ..." for the commands that
// do not take the printer first.
std::string UsageLine(const CommandEntry &command)
{
    return std::string("usage: qelctl ") + (command.syntax == Syntax::PrinterFirst ? "PRINTER " : "") + command.usage;
}

void PrintCommandHelp(const CommandEntry &command)
{
    std::printf("%s\n\n%s\n", UsageLine(command).c_str(), command.summary);
    if (command.help[0] != '\0')
        std::printf("\n%s\n", command.help);
    std::printf("\n%s", kGlobalOptionsHelp);
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
    const CommandEntry *first = words.empty() ? nullptr : FindCommand(words[0]);
    const CommandEntry *second = words.size() < 2 ? nullptr : FindCommand(words[1]);
    if (Runs(second) && second->syntax != Syntax::NoPrinter)
        return {second, words[1], words[0], 2, false};
    if (Runs(first) && first->syntax == Syntax::NoPrinter)
        return {first, words[0], std::string(), 1, false};
    if (Runs(first) && first->syntax == Syntax::PrinterAfter)
        return {first, words[0], words.size() >= 2 ? words[1] : std::string(), 2, words.size() < 2};
    if (words.size() >= 2)
        return {nullptr, words[1], words[0], 0, false};
    return {};
}

[[noreturn]] void FailUsage(const std::string &message)
{
    Fail(kExitUsage, message + " (qelctl --help for usage)");
}

// Fails (usage) for a command line the command does not take.
void CheckCommandLine(const Invocation &invocation, const Resolved &resolved)
{
    const CommandEntry &command = *resolved.command;
    if (resolved.missingPrinter)
        FailUsage("missing PRINTER: " + UsageLine(command));
    for (const auto &option : invocation.options) {
        if (!AcceptsOption(command, option.first))
            FailUsage(std::string(command.name) + " does not take " + option.first);
    }
    const int args = static_cast<int>(invocation.positionals.size() - resolved.argsFrom);
    if (args < command.minArgs || args > command.maxArgs)
        FailUsage(UsageLine(command));
}

// Why no command runs: a command given a printer it takes none of, missing words, an unknown one.
[[noreturn]] void FailUnresolved(const std::vector<std::string> &words, const Resolved &resolved)
{
    const CommandEntry *second = words.size() >= 2 ? FindCommand(words[1]) : nullptr;
    if (Runs(second) && second->syntax == Syntax::NoPrinter)
        FailUsage(std::string(second->name) + " takes no printer: " + UsageLine(*second));
    if (words.size() < 2)
        FailUsage(words.empty() ? "missing PRINTER and COMMAND" : "missing COMMAND");
    FailUsage("unknown command \"" + resolved.commandName + "\"");
}

// "help", "help COMMAND", "exit-codes", "--help" and "COMMAND --help" need no printer;
// false when the words ask for none of them.
bool RunHelp(const Invocation &invocation, const Resolved &resolved)
{
    const auto &words = invocation.positionals;
    const bool helpOption = OptionValue(invocation, "--help") != nullptr;
    const CommandEntry *topic = words.size() >= 2 ? FindCommand(words[1]) : nullptr;
    if (!words.empty() && words[0] == "exit-codes")
        PrintExitCodes();
    else if ((words.empty() && helpOption) || (words.size() == 1 && words[0] == "help"))
        PrintGeneralHelp();
    else if (!words.empty() && words[0] == "help" && (topic == nullptr || words.size() > 2))
        FailUsage("help: unknown command \"" + words[1] + "\"");
    else if (!words.empty() && words[0] == "help")
        PrintCommandHelp(*topic);
    else if (words.size() == 1 && helpOption && FindCommand(words[0]) != nullptr)
        PrintCommandHelp(*FindCommand(words[0]));
    else if (resolved.command != nullptr && helpOption && !resolved.missingPrinter)
        PrintCommandHelp(*resolved.command);
    else
        return false;
    return true;
}

// The command's own time bound for one answer, or --answer-timeout.
DWORD AnswerTimeout(const Invocation &invocation, const CommandEntry &command)
{
    const std::string *given = OptionValue(invocation, "--answer-timeout");
    DWORD timeoutMs = command.answerTimeoutMs;
    if (given != nullptr && (!ParseNumber(*given, &timeoutMs) || timeoutMs == 0))
        FailUsage("--answer-timeout needs a number of milliseconds above 0");
    return timeoutMs;
}

} // namespace

int main(int argc, char **argv)
{
    CatchConsoleBreak();
    Invocation invocation;
    std::string error;
    const bool parsed = ParseInvocation(argc, argv, &invocation, &error);
    const Resolved resolved = ResolveCommand(invocation.positionals);
    const auto &words = invocation.positionals;
    Output out(OptionValue(invocation, "--json") != nullptr, resolved.commandName, resolved.printer);
    try {
        if (!parsed)
            FailUsage(error);
        if (RunHelp(invocation, resolved))
            return kExitOk;
        if (resolved.command == nullptr)
            FailUnresolved(words, resolved);
        CheckCommandLine(invocation, resolved);
        CommandContext context{
            invocation,
            std::vector<std::string>(words.begin() + static_cast<std::ptrdiff_t>(resolved.argsFrom), words.end()),
            resolved.printer,
            out,
            AnswerTimeout(invocation, *resolved.command),
            resolved.commandName};
        return out.Finish(resolved.command->handler(context));
    } catch (const Failure &failure) {
        return out.Finish(failure.exitCode, failure.message);
    }
}
