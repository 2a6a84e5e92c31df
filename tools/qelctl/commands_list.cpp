// list: every printer under the printers key, with its port and the instance that
// serves it. The instances are asked side by side, each within the answer timeout, so
// a few hung ones cost that timeout once, not once each.
#include <algorithm>
#include <atomic>
#include <thread>

#include "qelctl.h"

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
    row.portKind = row.port ? ClassifyPort(*row.port) : nullptr;
    row.appId = ReadDriverDword(row.name, QEL_VALUE_APPID);
    row.published = ReadPublishedWindow(row.name);
    if (row.published.state != Publication::Window)
        return;
    const Instance instance(row.name, row.published.window);
    row.answers = instance.AnswersNoop(answerTimeoutMs);
    DWORD answer = 0;
    if (row.answers && askStatus &&
        QelGetStatus(instance.Client(), QEL_REFRESH_NO_WAIT, &answer, kStatusAnswerMs, nullptr) == QEL_OK)
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
    for (size_t i = 0; i < std::min(rows.size(), kMostAskedAtOnce); ++i)
        workers.emplace_back(work);
    for (std::thread &worker : workers)
        worker.join();
}

std::string RowJson(const PrinterRow &row)
{
    const bool alive = row.published.state == Publication::Window;
    const bool hasValue = row.published.state != Publication::Missing;
    const auto optionalIf = [](bool present, auto value) { return present ? std::optional(value) : std::nullopt; };
    JsonObject object;
    object.Add("printer", row.name);
    object.Add("port", row.port);
    object.Add("portKind", row.portKind);
    object.Add("window", row.published.state == Publication::Stale    ? "stale"
                         : row.published.state == Publication::Window ? "alive"
                                                                      : "none");
    object.Add("hwnd", optionalIf(hasValue, row.published.value));
    object.AddRaw("answers", alive ? (row.answers ? "true" : "false") : "null");
    object.Add("appId", optionalIf(row.appId.has_value(), static_cast<LONG>(row.appId.value_or(0))));
    object.Add("status", row.status);
    object.Add("meaning", row.status ? DescribeStatusByte(*row.status) : nullptr);
    return object.Text();
}

std::vector<std::string> RowColumns(const PrinterRow &row, bool askStatus)
{
    const Publication state = row.published.state;
    const std::string window = state == Publication::Stale    ? "stale " + Hex32(row.published.value)
                               : state == Publication::Window ? Hex32(row.published.value)
                                                              : "none";
    const bool alive = row.published.state == Publication::Window;
    const std::string status = !row.answers ? "-"
                               : !askStatus ? "not asked"
                               : row.status ? FormatStatusByte(*row.status)
                                            : "no answer";
    return {row.name,
            row.port ? *row.port : "(no Port)",
            row.portKind ? row.portKind : "-",
            window,
            alive ? (row.answers ? "yes" : "no") : "-",
            row.appId ? std::to_string(static_cast<LONG>(*row.appId)) : "-",
            status};
}

void PrintTable(CommandContext &context, const std::vector<PrinterRow> &rows, bool askStatus)
{
    std::vector<std::vector<std::string>> table = {
        {"PRINTER", "PORT", "KIND", "WINDOW", "ANSWERS", "APP ID", "STATUS"}};
    for (const PrinterRow &row : rows)
        table.push_back(RowColumns(row, askStatus));
    std::vector<size_t> widths(table[0].size(), 0);
    for (const auto &line : table) {
        for (size_t column = 0; column < line.size(); ++column)
            widths[column] = std::max(widths[column], line[column].size());
    }
    for (const auto &line : table) {
        std::string text;
        for (size_t column = 0; column + 1 < line.size(); ++column)
            text += line[column] + std::string(widths[column] + 2 - line[column].size(), ' ');
        context.out.Line(text + line.back());
    }
}

} // namespace

int RunList(CommandContext &context)
{
    const bool askStatus = !context.Has("--no-status");
    std::vector<PrinterRow> rows;
    for (const std::string &name : ListPrinterNames())
        rows.push_back({name, std::nullopt, nullptr, {}, false, std::nullopt, std::nullopt});
    InspectAll(rows, context.answerTimeoutMs, askStatus);
    std::vector<std::string> json;
    for (const PrinterRow &row : rows)
        json.push_back(RowJson(row));
    context.out.SetDocument(JsonArray(json));
    if (rows.empty())
        context.out.Line("no printers under HKLM\\" + PrinterKeyPath(""));
    else
        PrintTable(context, rows, askStatus);
    return kExitOk;
}
