#include "sim/sim_text.h"

#include <cstdint>

namespace qrmtov_sim {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool HasHexPrefix(const std::string &text)
{
    return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// Accumulates digits of one base; refuses anything that would not fit a DWORD.
std::optional<DWORD> ParseDigits(const std::string &digits, unsigned base)
{
    if (digits.empty())
        return std::nullopt;
    unsigned long long value = 0;
    for (char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return std::nullopt;
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    return static_cast<DWORD>(value);
}

} // namespace

std::string TrimSpaces(const std::string &text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string LowerAscii(const std::string &text)
{
    std::string lowered = text;
    for (char &c : lowered) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

std::vector<std::string> SplitOn(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t next = text.find(separator, start);
        parts.push_back(text.substr(start, next == std::string::npos ? std::string::npos : next - start));
        if (next == std::string::npos)
            return parts;
        start = next + 1;
    }
}

std::optional<DWORD> ParseNumber(const std::string &text)
{
    const std::string trimmed = TrimSpaces(text);
    if (HasHexPrefix(trimmed))
        return ParseDigits(trimmed.substr(2), 16);
    return ParseDigits(trimmed, 10);
}

std::optional<DWORD> ParseHexNumber(const std::string &text)
{
    const std::string trimmed = TrimSpaces(text);
    return ParseDigits(HasHexPrefix(trimmed) ? trimmed.substr(2) : trimmed, 16);
}

std::optional<std::string> ParseHexBytes(const std::string &text)
{
    std::string digits;
    for (char c : text) {
        if (!IsBlank(c))
            digits += c;
    }
    if (digits.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int high = HexDigitValue(digits[i]);
        const int low = HexDigitValue(digits[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::string FormatHex(const void *data, size_t size)
{
    std::string hex;
    if (data == nullptr)
        return hex;
    const auto *bytes = static_cast<const unsigned char *>(data);
    hex.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        hex += kHexDigits[bytes[i] >> 4];
        hex += kHexDigits[bytes[i] & 0x0F];
    }
    return hex;
}

std::string FormatDecimal(unsigned long long value)
{
    return std::to_string(value);
}

std::string FormatHandle(const void *handle)
{
    return std::to_string(reinterpret_cast<std::uintptr_t>(handle));
}

std::string ReadCallerString(const char *text, size_t maxLength)
{
    if (text == nullptr)
        return std::string();
    size_t length = 0;
    while (length < maxLength && text[length] != '\0')
        ++length;
    return std::string(text, length);
}

} // namespace qrmtov_sim
