// A fixture for the data paths to the printer: the write thread and its producers, the
// job modes, the file sender and the client messages that drive them. Each test starts
// with application ID 1, printer handle 5, bidirectional mode, no port name, empty
// queues, its own write-data event, the fake library and the platform recorder.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/instance_state.h"
#include "datapath/packet_queue.h"
#include "fake_tov.h"
#include "platform_recorder.h"
#include "printer_state_fixture.h" // EnsureQueueLocks: the locks exist once per process

inline std::string HexOf(const std::string &bytes)
{
    return ToHex(bytes.data(), bytes.size());
}

inline void DrainQueue(PacketQueue &queue)
{
    BYTE buffer[kQueueMessageSize];
    while (!QueueIsEmpty(&queue))
        QueueGetMessage(&queue, buffer, kQueueMessageSize, nullptr);
}

// Every message in a queue, oldest first, with its tag.
inline std::vector<std::pair<std::string, WORD>> TakeMessages(PacketQueue &queue)
{
    std::vector<std::pair<std::string, WORD>> messages;
    BYTE buffer[kQueueMessageSize];
    WORD tag = 0;
    while (!QueueIsEmpty(&queue)) {
        const WORD length = QueueGetMessage(&queue, buffer, kQueueMessageSize, &tag);
        messages.emplace_back(std::string(reinterpret_cast<const char *>(buffer), length), tag);
    }
    return messages;
}

inline std::vector<std::pair<std::string, WORD>> TakeOutboundMessages()
{
    return TakeMessages(OutboundQueue);
}

inline std::vector<std::pair<std::string, WORD>> TakeInboundMessages()
{
    return TakeMessages(InboundQueue);
}

inline std::vector<std::string> CallTexts(const std::vector<SimCall> &calls)
{
    std::vector<std::string> texts;
    for (const SimCall &call : calls)
        texts.push_back(FormatCall(call));
    return texts;
}

class DataPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureQueueLocks();
        DrainQueue(InboundQueue);
        DrainQueue(OutboundQueue);
        g_appId = 1;
        g_nonBidiMode = 0;
        g_portName[0] = '\0';
        g_hPrinter = 5;
        g_writeStop = 0;
        g_senderCancel = 0;
        g_outboundQueued = 0;
        g_outboundCarriedOut = 0;
        writeData = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        callsSeen = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        g_writeDataEvent = writeData;
        tov.onCall = [this](const std::string &) {
            std::lock_guard<std::mutex> lock(watchMutex);
            if (--callsToWait == 0)
                SetEvent(callsSeen);
        };
    }

    void TearDown() override
    {
        tov.onCall = nullptr;
        DrainQueue(InboundQueue);
        DrainQueue(OutboundQueue);
        g_writeDataEvent = nullptr;
        g_writeStop = 0;
        g_senderCancel = 0;
        g_hPrinter = 0;
        CloseHandle(writeData);
        CloseHandle(callsSeen);
        g_appId = kUnregisteredAppId;
        g_nonBidiMode = 0;
        g_portName[0] = '\0';
    }

    // Arms the wait for the library's next count calls; call before causing them.
    void ExpectCalls(int count)
    {
        std::lock_guard<std::mutex> lock(watchMutex);
        ResetEvent(callsSeen);
        callsToWait = count;
    }

    bool AwaitCalls(DWORD timeoutMs = 5000) { return WaitForSingleObject(callsSeen, timeoutMs) == WAIT_OBJECT_0; }

    std::vector<std::string> CallTextList() const { return CallTexts(tov.Calls()); }

    PlatformRecorder platform;
    FakeTov tov;
    HANDLE writeData = nullptr;
    HANDLE callsSeen = nullptr;
    std::mutex watchMutex;
    int callsToWait = -1;
};
