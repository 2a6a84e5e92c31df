// The command line, the output, and what every command asks of the instance.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qelctl.h"

namespace {

// Options followed by a value; every other "--name" is a flag.
constexpr char kValueOptions[] = "--handle --timeout --count --text --size --interval --answer-timeout --exe";

void PrintLine(const std::string &text)
{
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// Local time, HH:MM:SS.mmm.
std::string FormatTimestamp()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof(text), "%02u:%02u:%02u.%03u", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

HANDLE g_breakEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD)
{
    SetEvent(g_breakEvent);
    return TRUE; // handled: the command ends on its own
}

} // namespace

bool ParseInvocation(int argc, char **argv, Invocation *invocation, std::string *error)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        const bool isOption = word == "-h" || word.compare(0, 2, "--") == 0;
        if (optionsEnded || !isOption) {
            invocation->positionals.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "-h")
            word = "--help";
        std::string value;
        const size_t equals = word.find('=');
        if (equals != std::string::npos) {
            value = word.substr(equals + 1);
            word.resize(equals);
        } else if (ListContains(kValueOptions, word)) {
            if (i + 1 >= argc) {
                *error = "option " + word + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        invocation->options.emplace_back(word, value);
    }
    return true;
}

bool ListContains(const char *list, const std::string &word)
{
    return !word.empty() && (" " + std::string(list) + " ").find(" " + word + " ") != std::string::npos;
}

const std::string *OptionValue(const Invocation &invocation, const char *name)
{
    const std::string *found = nullptr;
    for (const auto &option : invocation.options) {
        if (option.first == name)
            found = &option.second;
    }
    return found;
}

bool ParseNumber(const std::string &text, DWORD *value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char *end = nullptr;
    errno = 0;
    const unsigned long long number = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || number > 0xFFFFFFFFull)
        return false;
    *value = static_cast<DWORD>(number);
    return true;
}

std::string JsonQuote(const std::string &text)
{
    constexpr char kNamed[] = "\"\\\n\r\t", kLetters[] = "\"\\nrt";
    std::string quoted = "\"";
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const char *named = c != '\0' ? std::strchr(kNamed, c) : nullptr;
        char code[8];
        // Control characters and bytes outside ASCII are escaped, so the output is valid
        // whatever the code page of the text.
        std::snprintf(code, sizeof(code), "\\u%04x", byte);
        quoted += named != nullptr              ? std::string{'\\', kLetters[named - kNamed]}
                  : byte < 0x20 || byte >= 0x7F ? std::string(code)
                                                : std::string(1, c);
    }
    return quoted + "\"";
}

std::string JsonArray(const std::vector<std::string> &items)
{
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : ",") + item;
    return "[" + text + "]";
}

void JsonObject::AddRaw(const char *key, const std::string &json)
{
    fields_ += (fields_.empty() ? "" : ",") + JsonQuote(key) + ":" + json;
}

void Output::Line(const std::string &text)
{
    if (!json_)
        PrintLine(text);
}

int Output::Finish(int exitCode, const std::string &error)
{
    if (!error.empty()) {
        std::fprintf(stderr, "qelctl: %s\n", error.c_str());
        std::fflush(stderr);
    }
    if (!json_)
        return exitCode;
    if (!document_.empty()) {
        PrintLine(document_);
        return exitCode;
    }
    // The common fields first, then the command's own.
    JsonObject object;
    object.Add("command", command_);
    if (!printer_.empty())
        object.Add("printer", printer_);
    object.AddBool("ok", exitCode == 0);
    object.Add("exitCode", exitCode);
    if (!error.empty())
        object.Add("error", error);
    object.Merge(fields_);
    PrintLine(object.Text());
    return exitCode;
}

void Fail(int exitCode, const std::string &message)
{
    throw Failure{exitCode, message};
}

std::string Hex32(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(value));
    return text;
}

std::string ReportTimed(Output &out, const std::string &line, const char *key, const std::string &json)
{
    const std::string time = FormatTimestamp();
    out.Line("[" + time + "] " + line);
    JsonObject entry;
    entry.Add("time", time);
    entry.AddRaw(key, json);
    return entry.Text();
}

std::string FormatSeconds(DWORD elapsedMs)
{
    return std::to_string(elapsedMs / 1000) + "." + std::to_string(elapsedMs % 1000 / 100) + " s";
}

const char *DescribeStatusByte(DWORD answer)
{
    return answer == QEL_STATUS_READY       ? "ready"
           : answer == QEL_STATUS_ERROR     ? "error"
           : answer == QEL_STATUS_ATTENTION ? "attention"
                                            : nullptr;
}

std::string FormatStatusByte(DWORD answer)
{
    const char *meaning = DescribeStatusByte(answer);
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%02lx", static_cast<unsigned long>(answer));
    return std::string(meaning != nullptr ? meaning : "unexpected") + " (" + hex + ")";
}

void CatchConsoleBreak()
{
    g_breakEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

HANDLE ConsoleBreakEvent()
{
    return g_breakEvent;
}

bool IsConsoleBreakRequested()
{
    return WaitForSingleObject(g_breakEvent, 0) == WAIT_OBJECT_0;
}

DWORD CommandContext::Number(const char *option, DWORD defaultValue, DWORD maximum) const
{
    const std::string *given = OptionValue(invocation, option);
    DWORD value = defaultValue;
    if (given != nullptr && (!ParseNumber(*given, &value) || value > maximum))
        Fail(kExitUsage,
             std::string(option) + " needs a number from 0 to " + std::to_string(maximum) + ", not \"" + *given + "\"");
    return value;
}

std::string CommandContext::HexArgument(const std::string &text, size_t maximum) const
{
    std::string bytes, error;
    if (!ParseHexBytes(text, &bytes, &error))
        Fail(kExitBadHex, "bad hex \"" + text + "\": " + error);
    if (bytes.size() > maximum)
        Fail(kExitUsage,
             std::to_string(bytes.size()) + " bytes given, at most " + std::to_string(maximum) + " allowed");
    return bytes;
}

DWORD CommandContext::Ask(const Instance &instance, UINT message, WPARAM wParam, LPARAM lParam) const
{
    DWORD_PTR raw = 0;
    CheckDelivered(QelSend(instance.Client(), message, wParam, lParam, answerTimeoutMs, &raw), message);
    return QEL_ANSWER(raw);
}

std::string CommandContext::Read(const Instance &instance, DWORD size) const
{
    std::string message(size, '\0');
    DWORD length = 0;
    const QelResult result = QelRead(instance.Client(), &message[0], size, &length, answerTimeoutMs, nullptr);
    CheckDelivered(result, WM_QELAPP32_READ);
    // The length is the stored one, which exceeds the buffer when the buffer was smaller
    // than the message; only what was copied counts.
    message.resize(result == QEL_OK && length < size ? length : result == QEL_OK ? size : 0);
    return message;
}

void CommandContext::CheckDelivered(QelResult result, UINT message) const
{
    const std::string error = " (error " + std::to_string(GetLastError()) + ")";
    switch (result) {
    case QEL_OK:
    case QEL_REFUSED: return;
    case QEL_NO_BUFFER: Fail(kExitSystem, "cannot place a buffer in the instance's process" + error);
    case QEL_BAD_ARGUMENT: Fail(kExitUsage, "the request is out of bounds for message " + std::to_string(message));
    case QEL_SYSTEM: Fail(kExitSystem, "a Windows call for message " + std::to_string(message) + " failed" + error);
    default:
        Fail(kExitNotAnswering, "the instance for \"" + printer + "\" did not answer message " +
                                    std::to_string(message) + " within " + std::to_string(answerTimeoutMs) + " ms");
    }
}

WORD CommandContext::PrinterHandle(const Instance &instance) const
{
    if (Has("--handle"))
        return static_cast<WORD>(Number("--handle", 0, 0xFFFF));
    const DWORD answer = Ask(instance, WM_QELAPP32_ENUMPRINTER, 0, 0);
    if (answer == QEL_FAILURE)
        Fail(kExitRefused, "the instance found no printer (1124 failed); pass --handle H");
    out.Fields().Add("printerHandle", static_cast<unsigned>(QEL_PRINTER_HANDLE_OF(answer)));
    return QEL_PRINTER_HANDLE_OF(answer);
}

void CommandContext::ReportOneOrZero(DWORD answer, const std::string &success, const std::string &failure) const
{
    out.Fields().Add("answer", answer);
    if (answer != 1)
        Fail(kExitRefused, failure + " (answer " + std::to_string(answer) + ")");
    out.Line(success);
}
