#include "report.h"

#include <cmath>
#include <cstdio>

namespace {

std::string JsonString(const std::string &text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[64];
    std::snprintf(text, sizeof(text), "%.4g", value);
    return text;
}

std::string FormatValue(double value)
{
    char text[32];
    if (std::fabs(value) >= 100 || value == 0)
        std::snprintf(text, sizeof(text), "%.0f", value);
    else if (std::fabs(value) >= 10)
        std::snprintf(text, sizeof(text), "%.1f", value);
    else
        std::snprintf(text, sizeof(text), "%.2f", value);
    return text;
}

} // namespace

void PrintTable(const std::vector<ResultRow> &rows)
{
    std::printf("\n%-46s %12s %12s %7s %-16s %-26s %s\n", "measure", "value", "floor", "ratio", " spread (reps)",
                "goal", "met");
    std::printf("%s\n", std::string(132, '-').c_str());
    for (const ResultRow &row : rows) {
        const std::string value = FormatValue(row.value) + " " + row.unit;
        const std::string floor = FormatValue(row.floor) + " " + row.unit;
        char ratio[16] = "-";
        if (row.hasRatio)
            std::snprintf(ratio, sizeof(ratio), "%.3f", row.ratio);
        char spread[32] = "";
        if (row.repetitions > 0)
            std::snprintf(spread, sizeof(spread), " %.3f-%.3f (%d)", row.spreadLow, row.spreadHigh, row.repetitions);
        std::printf("%-46s %12s %12s %7s %-16s %-26s %s\n", row.name.c_str(), value.c_str(), floor.c_str(), ratio,
                    spread, row.goal.c_str(), row.met ? "yes" : "NO");
    }
    std::printf("\n");
    for (const ResultRow &row : rows) {
        if (!row.note.empty())
            std::printf("  %s: %s\n", row.name.c_str(), row.note.c_str());
    }
    std::fflush(stdout);
}

bool WriteJson(const std::string &path, const std::vector<ResultRow> &rows)
{
    FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return false;
    std::fprintf(file, "[\n");
    for (size_t i = 0; i < rows.size(); ++i) {
        const ResultRow &row = rows[i];
        std::fprintf(file,
                     "  {\"name\": %s, \"value\": %s, \"unit\": %s, \"floor\": %s, \"ratio\": %s, \"goal\": %s, "
                     "\"met\": %s, \"spread\": %s}%s\n",
                     JsonString(row.name).c_str(), JsonNumber(row.value).c_str(), JsonString(row.unit).c_str(),
                     JsonNumber(row.floor).c_str(), row.hasRatio ? JsonNumber(row.ratio).c_str() : "null",
                     JsonString(row.goal).c_str(), row.met ? "true" : "false",
                     row.repetitions > 0
                         ? ("{\"low\": " + JsonNumber(row.spreadLow) + ", \"high\": " + JsonNumber(row.spreadHigh) +
                            ", \"repetitions\": " + std::to_string(row.repetitions) + "}")
                               .c_str()
                         : "null",
                     i + 1 < rows.size() ? "," : "");
    }
    std::fprintf(file, "]\n");
    return std::fclose(file) == 0;
}

bool WriteValues(const std::string &path, const std::vector<double> &values, double scale)
{
    FILE *file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        return false;
    for (double value : values)
        std::fprintf(file, "%.4f\n", value * scale);
    return std::fclose(file) == 0;
}
