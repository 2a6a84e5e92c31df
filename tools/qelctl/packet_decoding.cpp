#include "packet_decoding.h"

#include <cstdio>
#include <cstring>

#include "json.h"
#include "qelapp32/client.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr unsigned char kStatusHeader[] = {0xA5, 0x00, 0x05, 0x00, 0xFF};
constexpr unsigned char kValueHeader[] = {0xA5, 0x00, 0x18, 0x50, 0xFD, 0x80, 0x00, 0x00, 0x01, 0x01, 0x01};
constexpr unsigned char kAlertDataTag[] = {0x51, 0xF0};

// Which flag bit of a status packet stands for which bit of the library's status word.
struct StatusFlag {
    int flagIndex; // 0 = S5, 1 = S6, 2 = S7
    unsigned char mask;
    int statusBit;
};

constexpr StatusFlag kStatusFlags[] = {
    {1, 0x08, 0}, {1, 0x04, 1}, {1, 0x02, 2}, {1, 0x01, 3}, {2, 0x08, 4},  {2, 0x02, 5},
    {2, 0x04, 6}, {2, 0x01, 7}, {0, 0x40, 8}, {0, 0x80, 9}, {0, 0x01, 10},
};

struct StatusBitName {
    int bit;
    const char *name;
};

constexpr StatusBitName kStatusBitNames[] = {{0, "attention"}, {8, "error"}, {10, "re-enumerate"}};

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsSeparator(char c)
{
    return c == ' ' || c == ':' || c == '-' || c == ',' || c == '\t';
}

bool StartsWith(const std::string &bytes, const unsigned char *prefix, size_t size)
{
    return bytes.size() >= size && std::memcmp(bytes.data(), prefix, size) == 0;
}

std::string HexByte(unsigned char byte)
{
    return std::string{kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
}

void DecodeStatusFlags(DecodedPacket *packet)
{
    packet->kind = PacketKind::Status;
    for (int i = 0; i < 3; ++i)
        packet->flags[i] = static_cast<unsigned char>(packet->bytes[5 + i]);
    for (const StatusFlag &flag : kStatusFlags) {
        if (packet->flags[flag.flagIndex] & flag.mask)
            packet->statusBits.push_back(flag.statusBit);
    }
}

void ClassifyFramed(DecodedPacket *packet)
{
    const std::string &bytes = packet->bytes;
    if (bytes.size() == QEL_STATUS_PACKET_SIZE && StartsWith(bytes, kStatusHeader, sizeof(kStatusHeader))) {
        DecodeStatusFlags(packet);
    } else if (bytes.size() == QEL_VALUE_PACKET_SIZE && StartsWith(bytes, kValueHeader, sizeof(kValueHeader))) {
        packet->kind = PacketKind::Value;
        packet->value = static_cast<unsigned char>(bytes[QEL_VALUE_PACKET_VALUE_OFFSET]) << 8 |
                        static_cast<unsigned char>(bytes[QEL_VALUE_PACKET_VALUE_OFFSET + 1]);
    } else if (bytes.size() >= QEL_ALERT_DATA_HEADER_SIZE &&
               std::memcmp(packet->payload.data(), kAlertDataTag, sizeof(kAlertDataTag)) == 0 &&
               packet->declaredLength == packet->payload.size()) {
        packet->kind = PacketKind::AlertData;
        packet->alertData = bytes.substr(QEL_ALERT_DATA_HEADER_SIZE);
    }
}

std::string DescribeStatusBits(const std::vector<int> &bits)
{
    if (bits.empty())
        return "no status bits";
    std::string text = "status bits";
    for (size_t i = 0; i < bits.size(); ++i) {
        text += (i == 0 ? " " : ", ") + std::to_string(bits[i]);
        for (const StatusBitName &name : kStatusBitNames) {
            if (name.bit == bits[i])
                text += std::string(" (") + name.name + ")";
        }
    }
    return text;
}

} // namespace

bool ParseHexBytes(const std::string &text, std::string *bytes, std::string *error)
{
    size_t position = 0;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        position = 2;
    std::string parsed;
    int high = -1;
    for (; position < text.size(); ++position) {
        const char c = text[position];
        if (IsSeparator(c) && high < 0)
            continue;
        const int value = HexValue(c);
        if (value < 0) {
            *error = IsSeparator(c)
                         ? "odd number of hex digits before position " + std::to_string(position + 1)
                         : std::string("not a hex digit: '") + c + "' at position " + std::to_string(position + 1);
            return false;
        }
        if (high < 0) {
            high = value;
        } else {
            parsed += static_cast<char>(high << 4 | value);
            high = -1;
        }
    }
    if (high >= 0) {
        *error = "odd number of hex digits";
        return false;
    }
    if (parsed.empty()) {
        *error = "no bytes given";
        return false;
    }
    *bytes = parsed;
    return true;
}

std::string FormatHexBytes(const std::string &bytes)
{
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0)
            text += ' ';
        text += HexByte(static_cast<unsigned char>(bytes[i]));
    }
    return text;
}

std::string FormatPrintable(const std::string &bytes)
{
    std::string text = bytes;
    for (char &c : text) {
        if (c < 0x20 || c > 0x7E)
            c = '.';
    }
    return text;
}

DecodedPacket DecodePacket(const std::string &bytes)
{
    DecodedPacket packet;
    packet.bytes = bytes;
    if (bytes.size() < QEL_PACKET_HEADER_SIZE || static_cast<unsigned char>(bytes[0]) != QEL_PACKET_START)
        return packet;
    packet.kind = PacketKind::Framed;
    packet.declaredLength = static_cast<unsigned char>(bytes[1]) << 8 | static_cast<unsigned char>(bytes[2]);
    packet.payload = bytes.substr(QEL_PACKET_HEADER_SIZE);
    ClassifyFramed(&packet);
    return packet;
}

const char *PacketKindName(PacketKind kind)
{
    switch (kind) {
    case PacketKind::Status: return "status";
    case PacketKind::Value: return "value";
    case PacketKind::AlertData: return "alert-data";
    case PacketKind::Framed: return "packet";
    case PacketKind::Raw: return "raw";
    }
    return "raw";
}

std::string DescribePacket(const DecodedPacket &packet)
{
    char text[96];
    switch (packet.kind) {
    case PacketKind::Status:
        std::snprintf(text, sizeof(text), "status S5=%02x S6=%02x S7=%02x", packet.flags[0], packet.flags[1],
                      packet.flags[2]);
        // The instance sends exactly these flags when the printer answers well again.
        if (packet.flags[0] == 0x01 && packet.flags[1] == 0 && packet.flags[2] == 0)
            return std::string(text) + " (printer OK again, or status bit 10)";
        return std::string(text) + " (" + DescribeStatusBits(packet.statusBits) + ")";
    case PacketKind::Value:
        std::snprintf(text, sizeof(text), "value 0x%04x (%u)", packet.value, packet.value);
        return text;
    case PacketKind::AlertData:
        return "alert data, " + std::to_string(packet.alertData.size()) + " bytes: " + FormatHexBytes(packet.alertData);
    case PacketKind::Framed:
        return "packet, payload " + std::to_string(packet.payload.size()) + " bytes: " + FormatHexBytes(packet.payload);
    case PacketKind::Raw: break;
    }
    return "raw " + std::to_string(packet.bytes.size()) + " bytes: " + FormatHexBytes(packet.bytes);
}

std::vector<std::string> DescribeFrame(const DecodedPacket &packet)
{
    if (packet.kind == PacketKind::Raw)
        return {"raw bytes (no frame): " + FormatHexBytes(packet.bytes)};
    std::string length = "length:  " + std::to_string(packet.declaredLength);
    if (packet.declaredLength != packet.payload.size())
        length += " (" + std::to_string(packet.payload.size()) + " payload bytes present)";
    return {"start:   a5", length, "payload: " + FormatHexBytes(packet.payload)};
}

std::string PacketJson(const DecodedPacket &packet)
{
    JsonObject object;
    object.Add("kind", PacketKindName(packet.kind));
    object.Add("bytes", FormatHexBytes(packet.bytes));
    object.Add("length", static_cast<unsigned>(packet.bytes.size()));
    if (packet.kind == PacketKind::Raw)
        return object.Text();
    object.Add("declaredLength", packet.declaredLength);
    object.Add("payload", FormatHexBytes(packet.payload));
    if (packet.kind == PacketKind::Status) {
        object.Add("s5", static_cast<unsigned>(packet.flags[0]));
        object.Add("s6", static_cast<unsigned>(packet.flags[1]));
        object.Add("s7", static_cast<unsigned>(packet.flags[2]));
        JsonArray bits;
        for (int bit : packet.statusBits)
            bits.AddRaw(std::to_string(bit));
        object.AddRaw("statusBits", bits.Text());
    } else if (packet.kind == PacketKind::Value) {
        object.Add("value", packet.value);
    } else if (packet.kind == PacketKind::AlertData) {
        object.Add("data", FormatHexBytes(packet.alertData));
    }
    object.Add("description", DescribePacket(packet));
    return object.Text();
}
