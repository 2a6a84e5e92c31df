// list: every printer under the printers key, with its port and the instance that
// serves it. The instances are asked side by side, each within the answer timeout, so
// a few hung ones cost that timeout once, not once each.
#include "commands.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "exit_codes.h"
#include "port_kind.h"
#include "printer_values.h"
#include "qelapp32/client.h"

namespace {

constexpr size_t kMostAskedAtOnce = 32;
// 1128 in "when due" mode waits only on an instance's very first refresh, up to 5 s.
constexpr DWORD kStatusAnswerMs = 6000;

struct PrinterRow {
    std::string name;
    std::optional<std::string> port;
    const char *portKind = nullptr;
    PublishedWindow published;
    bool answers = false;
    std::optional<DWORD> appId;
    std::optional<DWORD> status;
};

void InspectPrinter(PrinterRow &row, DWORD answerTimeoutMs, bool askStatus)
{
    row.port = ReadPrinterString(row.name, QEL_VALUE_PORT);
    if (row.port)
        row.portKind = ClassifyPort(*row.port);
    row.appId = ReadDriverDword(row.name, QEL_VALUE_APPID);
    row.published = ReadPublishedWindow(row.name);
    if (row.published.state != Publication::Window)
        return;
    const Instance instance(row.name, row.published.window);
    DWORD answer = 0;
    row.answers = SendToInstance(instance, WM_QELAPP32_NOOP, 0, 0, answerTimeoutMs, &answer) && answer == 1;
    if (row.answers && askStatus &&
        SendToInstance(instance, WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_NO_WAIT, kStatusAnswerMs, &answer))
        row.status = answer;
}

void InspectAll(std::vector<PrinterRow> &rows, DWORD answerTimeoutMs, bool askStatus)
{
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t index = next++; index < rows.size(); index = next++)
            InspectPrinter(rows[index], answerTimeoutMs, askStatus);
    };
    std::vector<std::thread> workers;
    const size_t count = std::min(rows.size(), kMostAskedAtOnce);
    for (size_t i = 0; i < count; ++i)
        workers.emplace_back(work);
    for (std::thread &worker : workers)
        worker.join();
}

std::string WindowText(const PrinterRow &row)
{
    switch (row.published.state) {
    case Publication::Missing:
    case Publication::Zero: return "none";
    case Publication::Stale: return "stale " + Hex32(row.published.value);
    case Publication::Window: break;
    }
    return Hex32(row.published.value);
}

const char *WindowState(const PrinterRow &row)
{
    switch (row.published.state) {
    case Publication::Missing:
    case Publication::Zero: return "none";
    case Publication::Stale: return "stale";
    case Publication::Window: break;
    }
    return "alive";
}

std::string AnswersText(const PrinterRow &row)
{
    if (row.published.state != Publication::Window)
        return "-";
    return row.answers ? "yes" : "no";
}

std::string AppIdText(const PrinterRow &row)
{
    return row.appId ? std::to_string(static_cast<LONG>(*row.appId)) : "-";
}

std::string StatusText(const PrinterRow &row, bool askStatus)
{
    if (!row.answers)
        return "-";
    if (!askStatus)
        return "not asked";
    return row.status ? FormatStatusByte(*row.status) : "no answer";
}

std::string RowJson(const PrinterRow &row)
{
    JsonObject object;
    object.Add("printer", row.name);
    if (row.port) {
        object.Add("port", *row.port);
        object.Add("portKind", row.portKind);
    } else {
        object.AddNull("port");
        object.AddNull("portKind");
    }
    object.Add("window", WindowState(row));
    if (row.published.state == Publication::Missing)
        object.AddNull("hwnd");
    else
        object.Add("hwnd", row.published.value);
    if (row.published.state == Publication::Window)
        object.AddBool("answers", row.answers);
    else
        object.AddNull("answers");
    if (row.appId)
        object.AddSigned("appId", static_cast<LONG>(*row.appId));
    else
        object.AddNull("appId");
    if (row.status) {
        object.Add("status", *row.status);
        const char *meaning = DescribeStatusByte(*row.status);
        if (meaning != nullptr)
            object.Add("meaning", meaning);
        else
            object.AddNull("meaning");
    } else {
        object.AddNull("status");
        object.AddNull("meaning");
    }
    return object.Text();
}

std::string PadTo(std::string text, size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

void PrintTable(CommandContext &context, const std::vector<PrinterRow> &rows, bool askStatus)
{
    std::vector<std::vector<std::string>> table = {
        {"PRINTER", "PORT", "KIND", "WINDOW", "ANSWERS", "APP ID", "STATUS"}};
    for (const PrinterRow &row : rows)
        table.push_back({row.name, row.port ? *row.port : "(no Port)", row.portKind ? row.portKind : "-",
                         WindowText(row), AnswersText(row), AppIdText(row), StatusText(row, askStatus)});
    std::vector<size_t> widths(table[0].size(), 0);
    for (const auto &line : table) {
        for (size_t column = 0; column < line.size(); ++column)
            widths[column] = std::max(widths[column], line[column].size());
    }
    for (const auto &line : table) {
        std::string text;
        for (size_t column = 0; column + 1 < line.size(); ++column)
            text += PadTo(line[column], widths[column] + 2);
        context.out.Line(text + line.back());
    }
}

} // namespace

int RunList(CommandContext &context)
{
    const bool askStatus = !HasOption(context.invocation, "--no-status");
    std::vector<PrinterRow> rows;
    for (const std::string &name : ListPrinterNames()) {
        rows.emplace_back();
        rows.back().name = name;
    }
    InspectAll(rows, context.answerTimeoutMs, askStatus);

    JsonArray array;
    for (const PrinterRow &row : rows)
        array.AddRaw(RowJson(row));
    context.out.SetDocument(array.Text());
    if (rows.empty()) {
        context.out.Line("no printers under HKLM\\" + PrinterKeyPath(""));
        return kExitOk;
    }
    PrintTable(context, rows, askStatus);
    return kExitOk;
}
