// Byte strings on the command line, and the packets clients read through 1126:
// 0xA5, a big-endian 16-bit payload length, the payload.
#pragma once

#include <string>
#include <vector>

// Pairs of hex digits, optionally separated by blanks, ':', '-' or ','; "0x" in front
// of the whole string is allowed. Fails on anything else, on an odd digit count and on
// an empty string.
bool ParseHexBytes(const std::string &text, std::string *bytes, std::string *error);
// "a5 00 05 00 ff"
std::string FormatHexBytes(const std::string &bytes);
// Printable ASCII as is, everything else as '.'.
std::string FormatPrintable(const std::string &bytes);

enum class PacketKind { Status, Value, AlertData, Framed, Raw };

struct DecodedPacket {
    PacketKind kind = PacketKind::Raw;
    std::string bytes;
    unsigned declaredLength = 0;        // the frame's length field (framed packets)
    std::string payload;                // the bytes after the three-byte header
    unsigned char flags[3] = {0, 0, 0}; // S5 S6 S7 (Status)
    std::vector<int> statusBits;        // the library's status bits the flags stand for (Status)
    unsigned value = 0;                 // (Value)
    std::string alertData;              // the data after 51 f0 (AlertData)
};

DecodedPacket DecodePacket(const std::string &bytes);
const char *PacketKindName(PacketKind kind);
// One line: "status S5=40 S6=00 S7=00 (status bits 8: error)".
std::string DescribePacket(const DecodedPacket &packet);
// Three lines: frame start, length and payload (or the raw bytes).
std::vector<std::string> DescribeFrame(const DecodedPacket &packet);
std::string PacketJson(const DecodedPacket &packet);
