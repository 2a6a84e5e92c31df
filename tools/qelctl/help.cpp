#include "help.h"

#include <cstdio>

#include "exit_codes.h"

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

} // namespace

void PrintGeneralHelp()
{
    std::fputs(kIntroduction, stdout);
    std::puts("\ncommands:");
    for (const CommandEntry *command = CommandsBegin(); command != CommandsEnd(); ++command)
        std::printf("  %-16s %s\n", command->name, command->summary);
    std::puts("");
    std::fputs(kGlobalOptionsHelp, stdout);
    std::puts("");
    PrintExitCodes();
}

std::string UsageLine(const CommandEntry &command)
{
    const std::string printer = command.syntax == Syntax::PrinterFirst ? "PRINTER " : "";
    return "usage: qelctl " + printer + command.usage;
}

void PrintCommandHelp(const CommandEntry &command)
{
    std::printf("%s\n\n%s\n", UsageLine(command).c_str(), command.summary);
    if (command.help[0] != '\0')
        std::printf("\n%s\n", command.help);
    std::puts("");
    std::fputs(kGlobalOptionsHelp, stdout);
}

void PrintExitCodes()
{
    std::puts("exit codes:");
    for (const ExitCodeInfo &info : kExitCodes)
        std::printf("  %2d  %s\n", info.code, info.meaning);
}
