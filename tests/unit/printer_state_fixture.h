// A fixture for the code that shares the printer's state: port discovery, the status
// logic, the alert window and the handlers of 1124, 1128, 1129 and 1136. Each test
// starts from the state of a fresh instance (application ID 1, re-enumerate flag set,
// nothing found yet) with a registry key for its printer, the fake library and the
// platform recorder, and an empty InboundQueue.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/instance_state.h"
#include "datapath/packet_queue.h"
#include "fake_tov.h"
#include "platform_recorder.h"
#include "support/test_instance.h"

// The queue locks exist once per process, as in the program.
inline void EnsureQueueLocks()
{
    static const bool initialized = (InitializeQueueLocks(), true);
    (void)initialized;
}

// Every message in the InboundQueue, oldest first, with its tag.
inline std::vector<std::pair<std::string, WORD>> TakeInboundPackets()
{
    std::vector<std::pair<std::string, WORD>> packets;
    BYTE buffer[kQueueMessageSize];
    WORD tag = 0;
    while (!QueueIsEmpty(&InboundQueue)) {
        const WORD length = QueueGetMessage(&InboundQueue, buffer, kQueueMessageSize, &tag);
        packets.emplace_back(std::string(reinterpret_cast<const char *>(buffer), length), tag);
    }
    return packets;
}

inline std::string Hex(const std::string &bytes)
{
    return ToHex(bytes.data(), bytes.size());
}

class PrinterStateTest : public ::testing::Test {
protected:
    PrinterStateTest() : printer(UniquePrinterName("h4"), "LPT1:") {}

    void SetUp() override
    {
        EnsureQueueLocks();
        TakeInboundPackets();
        g_printerName = printer.Name().c_str();
        g_appId = 1;
        g_nonBidiMode = 0;
        g_portName[0] = '\0';
        g_portType = kPortUnknown;
        g_printerInfo.fill(0);
        g_hPrinter = 0;
        g_printerFlags = 0;
        g_statusWord = 0;
        g_reEnumerate = 1;
        g_lastRefreshTick = 0;
        g_alertWindow = nullptr;
    }

    void TearDown() override
    {
        TakeInboundPackets();
        g_printerName = nullptr;
        g_appId = kUnregisteredAppId;
        g_alertWindow = nullptr;
    }

    PlatformRecorder platform;
    FakeTov tov;
    TestPrinterKey printer;
};
