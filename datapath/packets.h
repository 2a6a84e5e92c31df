// The printer packets the service builds itself: 0xA5, a big-endian 16-bit payload
// length, the payload. Builders write into the caller's buffer and answer the length.
#pragma once

#include <windows.h>

#include <array>

#include "qelapp32/client.h"

// The wire sizes clients read are theirs to know: they live in the public header.
constexpr WORD kStatusPacketSize = QEL_STATUS_PACKET_SIZE;
constexpr WORD kValuePacketSize = QEL_VALUE_PACKET_SIZE;
constexpr WORD kAlertDataHeaderSize = QEL_ALERT_DATA_HEADER_SIZE;
constexpr WORD kAlertDataMaxSize = 200;
constexpr WORD kDocumentPacketSize = 9;

extern const std::array<BYTE, kDocumentPacketSize> StartDocPacket;
extern const std::array<BYTE, kDocumentPacketSize> EndDocPacket;

WORD BuildStatusPacket(BYTE *packet, BYTE s5, BYTE s6, BYTE s7);
WORD BuildValuePacket(BYTE *packet, WORD value);
// n is at most 200; the packet is n + 5 bytes.
WORD BuildAlertDataPacket(BYTE *packet, const BYTE *data, WORD n);
