#include "datapath/packets.h"

#include <cstring>

#include "qelapp32/client.h"

namespace {

constexpr std::array<BYTE, 5> kStatusHeader = {0xA5, 0x00, 0x05, 0x00, 0xFF};
constexpr std::array<BYTE, kValuePacketSize> kValueTemplate = {0xA5, 0x00, 0x18, 0x50, 0xFD, 0x80, 0x00, 0x00, 0x01,
                                                               0x01, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                               0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::array<BYTE, 2> kAlertDataPayloadHeader = {0x51, 0xF0};
constexpr size_t kValueOffset = 11;

} // namespace

const std::array<BYTE, kDocumentPacketSize> StartDocPacket = {0xA5, 0x00, 0x06, 0x40, 0x05, 0x00, 0x00, 0x00, 0x00};
const std::array<BYTE, kDocumentPacketSize> EndDocPacket = {0xA5, 0x00, 0x06, 0x40, 0x05, 0x01, 0x00, 0x00, 0x01};

WORD BuildStatusPacket(BYTE *packet, BYTE s5, BYTE s6, BYTE s7)
{
    std::memcpy(packet, kStatusHeader.data(), kStatusHeader.size());
    packet[5] = s5;
    packet[6] = s6;
    packet[7] = s7;
    return kStatusPacketSize;
}

WORD BuildValuePacket(BYTE *packet, WORD value)
{
    std::memcpy(packet, kValueTemplate.data(), kValueTemplate.size());
    packet[kValueOffset] = static_cast<BYTE>(value >> 8);
    packet[kValueOffset + 1] = static_cast<BYTE>(value & 0xFF);
    return kValuePacketSize;
}

WORD BuildAlertDataPacket(BYTE *packet, const BYTE *data, WORD n)
{
    if (n > kAlertDataMaxSize)
        n = kAlertDataMaxSize;
    const WORD payloadLength = static_cast<WORD>(n + kAlertDataPayloadHeader.size());
    packet[0] = QEL_PACKET_START;
    packet[1] = static_cast<BYTE>(payloadLength >> 8);
    packet[2] = static_cast<BYTE>(payloadLength & 0xFF);
    std::memcpy(packet + 3, kAlertDataPayloadHeader.data(), kAlertDataPayloadHeader.size());
    if (n != 0)
        std::memcpy(packet + kAlertDataHeaderSize, data, n);
    return static_cast<WORD>(n + kAlertDataHeaderSize);
}
