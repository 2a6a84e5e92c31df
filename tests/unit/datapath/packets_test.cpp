#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datapath/packets.h"
#include "support/sim_control.h"

namespace {

std::string Hex(const BYTE *bytes, size_t length)
{
    return ToHex(bytes, length);
}

size_t FrameLength(const BYTE *packet)
{
    return (static_cast<size_t>(packet[1]) << 8) | packet[2];
}

} // namespace

TEST(Packets, StatusPacket)
{
    BYTE packet[kStatusPacketSize];
    EXPECT_EQ(8, BuildStatusPacket(packet, 0x01, 0x00, 0x00));
    EXPECT_EQ("a5000500ff010000", Hex(packet, 8));
    BuildStatusPacket(packet, 0xC1, 0x0F, 0x0F);
    EXPECT_EQ("a5000500ffc10f0f", Hex(packet, 8));
}

TEST(Packets, ValuePacket)
{
    BYTE packet[kValuePacketSize];
    EXPECT_EQ(27, BuildValuePacket(packet, 0x102));
    EXPECT_EQ("a5001850fd8000000101010102" + std::string(28, 'f'), Hex(packet, 27));
    BuildValuePacket(packet, 0);
    EXPECT_EQ("a5001850fd8000000101010000" + std::string(28, 'f'), Hex(packet, 27));
}

TEST(Packets, AlertDataPacket)
{
    BYTE packet[kAlertDataHeaderSize + kAlertDataMaxSize];
    EXPECT_EQ(5, BuildAlertDataPacket(packet, nullptr, 0));
    EXPECT_EQ("a5000251f0", Hex(packet, 5));

    const BYTE three[] = {0x11, 0x22, 0x33};
    EXPECT_EQ(8, BuildAlertDataPacket(packet, three, 3));
    EXPECT_EQ("a5000551f0112233", Hex(packet, 8));

    std::vector<BYTE> data(200);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<BYTE>(i);
    EXPECT_EQ(205, BuildAlertDataPacket(packet, data.data(), 200));
    EXPECT_EQ("a500ca51f0", Hex(packet, 5));
    EXPECT_EQ(Hex(data.data(), 200), Hex(packet + 5, 200));
}

TEST(Packets, DocumentPackets)
{
    EXPECT_EQ("a500064005000000"
              "00",
              Hex(StartDocPacket.data(), StartDocPacket.size()));
    EXPECT_EQ("a500064005010000"
              "01",
              Hex(EndDocPacket.data(), EndDocPacket.size()));
}

TEST(Packets, EveryLengthFieldCountsThePayload)
{
    BYTE packet[kAlertDataHeaderSize + kAlertDataMaxSize];
    const BYTE data[200] = {};
    size_t length = BuildStatusPacket(packet, 1, 2, 3);
    EXPECT_EQ(length - 3, FrameLength(packet));
    length = BuildValuePacket(packet, 0xFFFF);
    EXPECT_EQ(length - 3, FrameLength(packet));
    for (WORD n : {WORD(0), WORD(1), WORD(57), WORD(200)}) {
        length = BuildAlertDataPacket(packet, data, n);
        EXPECT_EQ(length - 3, FrameLength(packet));
    }
    EXPECT_EQ(StartDocPacket.size() - 3, FrameLength(StartDocPacket.data()));
    EXPECT_EQ(EndDocPacket.size() - 3, FrameLength(EndDocPacket.data()));
}
