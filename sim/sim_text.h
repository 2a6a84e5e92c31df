// Small text helpers shared by the simulated library's parts.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qrmtov_sim {

std::string TrimSpaces(const std::string &text);
std::string LowerAscii(const std::string &text);
std::vector<std::string> SplitOn(const std::string &text, char separator);

// Decimal, or hex with a 0x prefix; nothing when the text is not a number.
std::optional<DWORD> ParseNumber(const std::string &text);
// Hex digits with an optional 0x prefix.
std::optional<DWORD> ParseHexNumber(const std::string &text);
// Pairs of hex digits, blanks allowed between them; nothing when malformed.
std::optional<std::string> ParseHexBytes(const std::string &text);

std::string FormatHex(const void *data, size_t size);
std::string FormatDecimal(unsigned long long value);
std::string FormatHandle(const void *handle);

// A C string the caller may have passed as null; at most maxLength bytes are read.
std::string ReadCallerString(const char *text, size_t maxLength);

} // namespace qrmtov_sim
