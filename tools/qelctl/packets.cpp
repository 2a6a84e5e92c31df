// Byte strings on the command line, and the messages of the inbound stream: 0xA5, a
// big-endian 16-bit payload length, the payload. The client library tells the packets
// the instance builds itself from the printer's replies; one table says how each reads.
#include <cstdio>
#include <cstring>

#include "qelctl.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Which flag bit of a status packet (0 = S5, 1 = S6, 2 = S7) stands for which bit of
// the library's status word, and the name of the bits that have one.
struct StatusFlag {
    int flagIndex;
    unsigned char mask;
    int statusBit;
    const char *name;
};

constexpr StatusFlag kStatusFlags[] = {
    {1, 0x08, 0, "attention"}, {1, 0x04, 1, nullptr}, {1, 0x02, 2, nullptr},         {1, 0x01, 3, nullptr},
    {2, 0x08, 4, nullptr},     {2, 0x02, 5, nullptr}, {2, 0x04, 6, nullptr},         {2, 0x01, 7, nullptr},
    {0, 0x40, 8, "error"},     {0, 0x80, 9, nullptr}, {0, 0x01, 10, "re-enumerate"},
};

unsigned char At(const std::string &bytes, size_t index)
{
    return static_cast<unsigned char>(bytes[index]);
}

std::string Payload(const std::string &bytes)
{
    return bytes.substr(QEL_PACKET_HEADER_SIZE);
}

// Each kind of message reads as one line, and adds its own fields for --json.
std::string DecodeStatus(const std::string &bytes, JsonObject &fields)
{
    char text[64];
    std::snprintf(text, sizeof(text), "status S5=%02x S6=%02x S7=%02x", At(bytes, 5), At(bytes, 6), At(bytes, 7));
    fields.Add("s5", static_cast<unsigned>(At(bytes, 5)));
    fields.Add("s6", static_cast<unsigned>(At(bytes, 6)));
    fields.Add("s7", static_cast<unsigned>(At(bytes, 7)));
    std::vector<std::string> bits;
    std::string list;
    for (const StatusFlag &flag : kStatusFlags) {
        if ((At(bytes, 5 + flag.flagIndex) & flag.mask) == 0)
            continue;
        bits.push_back(std::to_string(flag.statusBit));
        list += (list.empty() ? " " : ", ") + bits.back();
        if (flag.name != nullptr)
            list += std::string(" (") + flag.name + ")";
    }
    fields.AddRaw("statusBits", JsonArray(bits));
    // The instance sends exactly these flags when the printer answers well again.
    if (At(bytes, 5) == 0x01 && At(bytes, 6) == 0 && At(bytes, 7) == 0)
        return std::string(text) + " (printer OK again, or status bit 10)";
    return std::string(text) + (bits.empty() ? " (no status bits)" : " (status bits" + list + ")");
}

std::string DecodeValue(const std::string &bytes, JsonObject &fields)
{
    const unsigned value = At(bytes, QEL_VALUE_PACKET_VALUE_OFFSET) << 8 | At(bytes, QEL_VALUE_PACKET_VALUE_OFFSET + 1);
    char text[48];
    std::snprintf(text, sizeof(text), "value 0x%04x (%u)", value, value);
    fields.Add("value", value);
    return text;
}

std::string DecodeAlertData(const std::string &bytes, JsonObject &fields)
{
    const std::string data = bytes.substr(QEL_ALERT_DATA_HEADER_SIZE);
    fields.Add("data", FormatHexBytes(data));
    return "alert data, " + std::to_string(data.size()) + " bytes: " + FormatHexBytes(data);
}

std::string DecodeReply(const std::string &bytes, JsonObject &)
{
    return "packet, payload " + std::to_string(Payload(bytes).size()) + " bytes: " + FormatHexBytes(Payload(bytes));
}

std::string DecodeRaw(const std::string &bytes, JsonObject &)
{
    return "raw " + std::to_string(bytes.size()) + " bytes: " + FormatHexBytes(bytes);
}

struct PacketDecoder {
    const char *name;
    std::string (*decode)(const std::string &bytes, JsonObject &fields);
};

// Indexed by QelPacketKind; the last row is for bytes without a frame.
constexpr PacketDecoder kDecoders[] = {
    {"packet", DecodeReply},         {"status", DecodeStatus}, {"value", DecodeValue},
    {"alert-data", DecodeAlertData}, {"raw", DecodeRaw},
};
constexpr size_t kRawDecoder = 4;

bool IsFramed(const std::string &bytes)
{
    return bytes.size() >= QEL_PACKET_HEADER_SIZE && At(bytes, 0) == QEL_PACKET_START;
}

const PacketDecoder &DecoderFor(const std::string &bytes)
{
    if (!IsFramed(bytes))
        return kDecoders[kRawDecoder];
    return kDecoders[QelClassifyPacket(bytes.data(), static_cast<DWORD>(bytes.size()))];
}

unsigned DeclaredLength(const std::string &bytes)
{
    return At(bytes, 1) << 8 | At(bytes, 2);
}

} // namespace

bool ParseHexBytes(const std::string &text, std::string *bytes, std::string *error)
{
    const bool prefixed = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string parsed;
    int high = -1;
    for (size_t position = prefixed ? 2 : 0; position < text.size(); ++position) {
        const char c = text[position];
        const bool separator = c == ' ' || c == ':' || c == '-' || c == ',' || c == '\t';
        if (separator && high < 0)
            continue;
        const char *digit = std::strchr(kHexDigits, c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
        if (digit == nullptr || c == '\0') {
            *error = separator
                         ? "odd number of hex digits before position " + std::to_string(position + 1)
                         : std::string("not a hex digit: '") + c + "' at position " + std::to_string(position + 1);
            return false;
        }
        const int value = static_cast<int>(digit - kHexDigits);
        if (high >= 0)
            parsed += static_cast<char>(high << 4 | value);
        high = high < 0 ? value : -1;
    }
    *error = high >= 0 ? "odd number of hex digits" : parsed.empty() ? "no bytes given" : "";
    if (!error->empty())
        return false;
    *bytes = parsed;
    return true;
}

std::string FormatHexBytes(const std::string &bytes)
{
    std::string text;
    for (const char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        text += std::string(text.empty() ? "" : " ") + kHexDigits[byte >> 4] + kHexDigits[byte & 0x0F];
    }
    return text;
}

std::string FormatPrintable(const std::string &bytes)
{
    std::string text = bytes;
    for (char &c : text)
        c = c < 0x20 || c > 0x7E ? '.' : c;
    return text;
}

std::string DescribePacket(const std::string &bytes)
{
    JsonObject ignored;
    return DecoderFor(bytes).decode(bytes, ignored);
}

std::string PacketJson(const std::string &bytes)
{
    JsonObject object, fields;
    const std::string description = DecoderFor(bytes).decode(bytes, fields);
    object.Add("kind", DecoderFor(bytes).name);
    object.Add("bytes", FormatHexBytes(bytes));
    object.Add("length", static_cast<unsigned>(bytes.size()));
    if (!IsFramed(bytes))
        return object.Text();
    object.Add("declaredLength", DeclaredLength(bytes));
    object.Add("payload", FormatHexBytes(Payload(bytes)));
    object.Merge(fields);
    object.Add("description", description);
    return object.Text();
}

void ReportMessage(Output &out, const std::string &message)
{
    out.Line("message of " + std::to_string(message.size()) + " bytes: " + FormatHexBytes(message));
    if (!IsFramed(message)) {
        out.Line("  raw bytes (no frame): " + FormatHexBytes(message));
    } else {
        std::string length = "  length:  " + std::to_string(DeclaredLength(message));
        if (DeclaredLength(message) != Payload(message).size())
            length += " (" + std::to_string(Payload(message).size()) + " payload bytes present)";
        out.Line("  start:   a5");
        out.Line(length);
        out.Line("  payload: " + FormatHexBytes(Payload(message)));
    }
    out.Line("  decoded: " + DescribePacket(message));
    out.Fields().AddRaw("message", PacketJson(message));
}
