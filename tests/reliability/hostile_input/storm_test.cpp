// A client that sends the instance random messages with random words and addresses, bad
// ones included, must leave it serving, without leaked handles or memory and without an
// access violation swallowed on the way.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "battery.h"
#include "battery_support.h"
#include "qelapp32/client.h"
#include "support/process_metrics.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kMessageTimeoutMs = 30000;
constexpr size_t kBufferSize = 64 * 1024;
constexpr size_t kPage = 4096;
// Handles and memory may settle a little while the instance serves; no more than this.
constexpr size_t kHandleSlack = 4;
constexpr SIZE_T kMemorySlack = 512 * 1024;

// Where an lParam address points. Every kind but the first two is memory the service must
// neither read nor write.
enum class AddressKind {
    kValid,         // read-write buffer the client placed in the service's process
    kValidFileName, // a file the sender can really send
    kNull,
    kLowUnmapped, // 0x10 and the rest of the first 64 KB
    kReserved,    // reserved, never committed
    kNoAccess,    // committed PAGE_NOACCESS
    kReadOnly,    // readable, not writable
    kGuard,       // PAGE_GUARD: the first touch raises an exception
    kStraddling,  // read-write, but running into a PAGE_NOACCESS page within 1024 bytes
    kMainStack,   // the service's main thread stack, frames in use included
    kAlertStack,  // the alert thread's stack
    kKernel,      // 0x80000000 and up
    kRandom,      // any 32-bit value that is not committed memory of the service
};

struct Weighted {
    UINT message;
    int weight;
};

// The messages of 1124 to 1141 but 1125, drawn by weight. 1127 pauses 40 ms when it queues,
// 1134/1141 may start a sender and 1128 with lParam 2 may wait seconds: they come rarely.
constexpr std::array<Weighted, 17> kMessageWeights = {{
    {WM_QELAPP32_ENUMPRINTER, 4},
    {WM_QELAPP32_READ, 20},
    {WM_QELAPP32_WRITE, 1},
    {WM_QELAPP32_GETSTATUS, 6},
    {WM_QELAPP32_GETDEVICEID, 10},
    {WM_QELAPP32_STARTDOC, 4},
    {WM_QELAPP32_ENDDOC, 2},
    {WM_QELAPP32_OPEN, 4},
    {WM_QELAPP32_CLOSE, 4},
    {WM_QELAPP32_SENDFILE, 4},
    {WM_QELAPP32_PING, 4},
    {WM_QELAPP32_CAPTUREALERTS, 4},
    {WM_QELAPP32_NOOP, 4},
    {WM_QELAPP32_UNUSED_1138, 4},
    {WM_QELAPP32_STOREDATA, 4},
    {WM_QELAPP32_RETRIEVEDATA, 4},
    {WM_QELAPP32_SENDFILE2, 4},
}};

struct SentMessage {
    int index;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    AddressKind kind;
};

std::string Describe(const SentMessage &sent)
{
    char text[128];
    std::snprintf(text, sizeof(text), "#%d: %u wParam %08lX lParam %08lX (kind %d)", sent.index, sent.message,
                  static_cast<unsigned long>(sent.wParam), static_cast<unsigned long>(sent.lParam),
                  static_cast<int>(sent.kind));
    return text;
}

std::string Megabytes(SIZE_T bytes)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f MB", bytes / (1024.0 * 1024.0));
    return text;
}

// The memory a storm's addresses point into, placed in the service's process.
class StormTargets {
public:
    StormTargets(TestInstance &instance, const std::string &fileName, std::mt19937 &random)
        : process_(instance.Process().Process()),
          valid_(process_, kBufferSize, PAGE_READWRITE, MEM_RESERVE | MEM_COMMIT),
          fileName_(process_, kPage, PAGE_READWRITE, MEM_RESERVE | MEM_COMMIT),
          reserved_(process_, kBufferSize, PAGE_NOACCESS, MEM_RESERVE),
          noAccess_(process_, kBufferSize, PAGE_NOACCESS, MEM_RESERVE | MEM_COMMIT),
          readOnly_(process_, kBufferSize, PAGE_READWRITE, MEM_RESERVE | MEM_COMMIT),
          guard_(process_, kBufferSize, PAGE_READWRITE | PAGE_GUARD, MEM_RESERVE | MEM_COMMIT),
          straddling_(process_, 2 * kPage, PAGE_READWRITE, MEM_RESERVE | MEM_COMMIT)
    {
        // Random bytes with a terminator now and then, so names and packets of every length come up.
        std::string bytes(kBufferSize, '\0');
        for (char &c : bytes)
            c = static_cast<char>(random() % 8 == 0 ? 0 : random());
        valid_.Write(bytes);
        readOnly_.Write(bytes);
        readOnly_.Protect(0, kBufferSize, PAGE_READONLY);
        straddling_.Write(bytes.substr(0, kPage));
        straddling_.Protect(kPage, kPage, PAGE_NOACCESS);
        fileName_.Write(fileName + std::string(1, '\0'));
        FindStacks(instance);
    }

    bool IsComplete() const
    {
        return valid_.Address() != 0 && fileName_.Address() != 0 && reserved_.Address() != 0 &&
               noAccess_.Address() != 0 && readOnly_.Address() != 0 && guard_.Address() != 0 &&
               straddling_.Address() != 0 && mainStackLow_ != 0 && alertStackLow_ != 0;
    }

    std::string StackText() const
    {
        char text[160];
        std::snprintf(text, sizeof(text), "main thread %08lX-%08lX, alert thread %08lX-%08lX",
                      static_cast<unsigned long>(mainStackLow_), static_cast<unsigned long>(mainStackHigh_),
                      static_cast<unsigned long>(alertStackLow_), static_cast<unsigned long>(alertStackHigh_));
        return text;
    }

    ULONG_PTR ValidBuffer() const { return valid_.Address(); }

    LPARAM Pick(AddressKind kind, std::mt19937 &random) const
    {
        const auto within = [&random](ULONG_PTR low, ULONG_PTR high) -> LPARAM {
            return static_cast<LPARAM>(low + random() % (high - low));
        };
        switch (kind) {
        case AddressKind::kValid: return within(valid_.Address(), valid_.Address() + kBufferSize - 1024);
        case AddressKind::kValidFileName: return static_cast<LPARAM>(fileName_.Address());
        case AddressKind::kNull: return 0;
        case AddressKind::kLowUnmapped: return random() % 2 ? 0x10 : within(1, 0x10000);
        case AddressKind::kReserved: return within(reserved_.Address(), reserved_.Address() + kBufferSize);
        case AddressKind::kNoAccess: return within(noAccess_.Address(), noAccess_.Address() + kBufferSize);
        case AddressKind::kReadOnly: return within(readOnly_.Address(), readOnly_.Address() + kBufferSize);
        case AddressKind::kGuard: return within(guard_.Address(), guard_.Address() + kBufferSize);
        case AddressKind::kStraddling:
            return within(straddling_.Address() + kPage - 1024, straddling_.Address() + kPage);
        case AddressKind::kMainStack: return within(mainStackLow_, mainStackHigh_);
        case AddressKind::kAlertStack: return within(alertStackLow_, alertStackHigh_);
        case AddressKind::kKernel: {
            static constexpr ULONG_PTR kKernelBases[] = {0x80000000u, 0xC0000000u, 0xFFFF0000u};
            return static_cast<LPARAM>(kKernelBases[random() % 3] + random() % 0x10000);
        }
        case AddressKind::kRandom: return PickUncommitted(random);
        }
        return 0;
    }

private:
    // Any 32-bit value that is no committed memory of the service at this moment. Its heaps
    // and loaded modules are writable too, and no check could tell them from a client's
    // buffer: an address there proves nothing about the service.
    LPARAM PickUncommitted(std::mt19937 &random) const
    {
        for (;;) {
            const ULONG_PTR address = random();
            MEMORY_BASIC_INFORMATION region{};
            if (VirtualQueryEx(process_, reinterpret_cast<void *>(address), &region, sizeof(region)) == 0 ||
                region.State != MEM_COMMIT)
                return static_cast<LPARAM>(address);
        }
    }

    // The main thread serves the messages: its frames sit between its idle stack pointer
    // and its stack base, and a handler's frames just below. The alert thread's window
    // names its thread.
    void FindStacks(TestInstance &instance)
    {
        DWORD processId = 0;
        const DWORD mainThread = GetWindowThreadProcessId(instance.Window(), &processId);
        const HWND alertWindow = instance.AlertWindow();
        const DWORD alertThread = GetWindowThreadProcessId(alertWindow, nullptr);
        const ULONG_PTR mainStackPointer = ReadThreadStackPointer(mainThread);
        for (const RemoteThreadStack &stack : ReadThreadStacks(process_, processId)) {
            if (stack.threadId == mainThread && mainStackPointer > stack.stackLimit + 8192) {
                mainStackLow_ = mainStackPointer - 8192;
                mainStackHigh_ = stack.stackBase - 16;
            }
            if (stack.threadId == alertThread) {
                alertStackLow_ = stack.stackLimit;
                alertStackHigh_ = stack.stackBase - 16;
            }
        }
    }

    HANDLE process_;
    RemoteMemory valid_;
    RemoteMemory fileName_;
    RemoteMemory reserved_;
    RemoteMemory noAccess_;
    RemoteMemory readOnly_;
    RemoteMemory guard_;
    RemoteMemory straddling_;
    ULONG_PTR mainStackLow_ = 0;
    ULONG_PTR mainStackHigh_ = 0;
    ULONG_PTR alertStackLow_ = 0;
    ULONG_PTR alertStackHigh_ = 0;
};

UINT DrawMessage(std::mt19937 &random)
{
    int total = 0;
    for (const Weighted &entry : kMessageWeights)
        total += entry.weight;
    int draw = static_cast<int>(random() % static_cast<unsigned>(total));
    for (const Weighted &entry : kMessageWeights) {
        if (draw < entry.weight)
            return entry.message;
        draw -= entry.weight;
    }
    return WM_QELAPP32_NOOP;
}

// Lengths and sizes near the bounds the service knows (0, 1024, 1025) as often as any.
WPARAM DrawWParam(std::mt19937 &random)
{
    static constexpr WORD kEdgeSizes[] = {0, 1, 2, 36, 512, 1023, 1024, 1025, 4096, 0xFFFF};
    const WORD high = random() % 2 ? 5 : static_cast<WORD>(random());
    switch (random() % 4) {
    case 0: return QEL_MAKE_WPARAM(high, kEdgeSizes[random() % (sizeof(kEdgeSizes) / sizeof(kEdgeSizes[0]))]);
    case 1: return QEL_MAKE_WPARAM(high, random() % 1100);
    default: return static_cast<WPARAM>(random());
    }
}

AddressKind DrawAddressKind(UINT message, std::mt19937 &random)
{
    const bool startsSender = message == WM_QELAPP32_SENDFILE || message == WM_QELAPP32_SENDFILE2;
    if (startsSender) {
        // Most ask whether a sender runs; a real file is sent once in a long while.
        const unsigned draw = random() % 1000;
        if (draw < 2)
            return AddressKind::kValidFileName;
        if (draw < 500)
            return AddressKind::kNull;
    }
    const unsigned draw = random() % 100;
    if (draw < 30)
        return AddressKind::kValid;
    static constexpr AddressKind kBadKinds[] = {
        AddressKind::kNull,       AddressKind::kLowUnmapped, AddressKind::kReserved,   AddressKind::kNoAccess,
        AddressKind::kReadOnly,   AddressKind::kGuard,       AddressKind::kStraddling, AddressKind::kMainStack,
        AddressKind::kAlertStack, AddressKind::kKernel,      AddressKind::kRandom,
    };
    return kBadKinds[random() % (sizeof(kBadKinds) / sizeof(kBadKinds[0]))];
}

LPARAM DrawStatusMode(std::mt19937 &random)
{
    // A forced refresh waits for the printer twice; one in fifty.
    if (random() % 50 == 0)
        return QEL_REFRESH_FORCED;
    const LPARAM mode = static_cast<LPARAM>(random());
    return mode == static_cast<LPARAM>(QEL_REFRESH_FORCED) ? 0 : mode;
}

SentMessage DrawMessageToSend(int index, const StormTargets &targets, std::mt19937 &random)
{
    SentMessage sent{index, DrawMessage(random), DrawWParam(random), 0, AddressKind::kNull};
    if (sent.message == WM_QELAPP32_GETSTATUS) {
        sent.lParam = DrawStatusMode(random);
        return sent;
    }
    sent.kind = DrawAddressKind(sent.message, random);
    sent.lParam = targets.Pick(sent.kind, random);
    return sent;
}

} // namespace

TEST(MessageStorm, RandomClientMessagesLeaveTheInstanceServing)
{
    std::mt19937 random = MakeGenerator("storm");
    const int messages = Battery().stormMessages;
    const int warmUp = messages / 20 < 1000 ? 1000 : messages / 20;

    TestInstance instance("LPT1:", "storm");
    SystemDirectoryFile file("storm", 3 * 4096 + 17);
    // A mailbox that the store and retrieve requests can serve, so their whole road is taken.
    instance.Printer().SetDriverString(QEL_VALUE_STORE_NAME, "storm item");
    instance.Printer().SetDriverDword(QEL_VALUE_STORE_SIZE, 16);
    instance.Printer().SetDriverBinary(QEL_VALUE_STORE_DATA, std::string(16, '\x5A'));
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001u, static_cast<DWORD>(instance.Send(WM_QELAPP32_ENUMPRINTER)));

    StormTargets targets(instance, file.Name(), random);
    ASSERT_TRUE(targets.IsComplete()) << "could not place the storm's memory in the service's process";
    ReportFigure("storm_stacks", targets.StackText());

    const HWND window = instance.Window();
    const DWORD processId = instance.Process().ProcessId();
    std::deque<SentMessage> recent;
    size_t baselineHandles = 0;
    SIZE_T baselineMemory = 0;
    const ULONGLONG started = GetTickCount64();
    for (int index = 0; index < warmUp + messages; ++index) {
        if (index == warmUp) {
            baselineHandles = CountProcessHandles(processId);
            baselineMemory = PrivateMemoryBytes(instance.Process().Process());
        }
        const SentMessage sent = DrawMessageToSend(index, targets, random);
        recent.push_back(sent);
        if (recent.size() > 8)
            recent.pop_front();
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(window, sent.message, sent.wParam, sent.lParam, SMTO_NORMAL, kMessageTimeoutMs,
                                 &answer)) {
            std::string last;
            for (const SentMessage &earlier : recent)
                last += "\n  " + Describe(earlier);
            FAIL() << "no answer within " << kMessageTimeoutMs << " ms; the last messages:" << last
                   << "\nexited: " << instance.Process().HasExited()
                   << ", access violations: " << instance.Process().AccessViolations();
        }
    }
    const ULONGLONG elapsed = ElapsedMs(started);

    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
    // A round trip through the write thread and the library still works: drain whatever the
    // storm left for clients, then a recognisable reply comes back.
    RemoteMemory packet(instance.Process().Process(), 8);
    packet.Write(std::string("\xA5\x00\x03\x7E\x01\x02", 6));
    RemoteMemory reply(instance.Process().Process(), 1024);
    while (instance.Send(WM_QELAPP32_READ, 1024, reply.Address()) != 0) {
    }
    // The storm's calls would make every look at the call log a long read.
    instance.Sim().ResetCalls();
    instance.Sim().Set("bidi_reply", "a5 00 04 51 f0 c0 de");
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(5, 6), packet.Address()));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovSendBidi", 1, 10000));
    std::string replyHex;
    for (int attempt = 0; attempt < 50 && replyHex != "a5000451f0c0de"; ++attempt) {
        const LRESULT length = instance.Send(WM_QELAPP32_READ, 1024, reply.Address());
        if (length == 7)
            replyHex = ToHex(reply.Read(7).data(), 7);
        else if (length == 0)
            Sleep(20); // the write thread may not have queued it yet
    }
    EXPECT_EQ("a5000451f0c0de", replyHex);

    const size_t handles = CountProcessHandles(processId);
    const SIZE_T memory = PrivateMemoryBytes(instance.Process().Process());
    ReportFigure("storm_messages", std::to_string(messages) + " after " + std::to_string(warmUp) + " warm-up, " +
                                       std::to_string(elapsed) + " ms in all");
    ReportFigure("storm_handles", std::to_string(baselineHandles) + " -> " + std::to_string(handles));
    ReportFigure("storm_private_memory", Megabytes(baselineMemory) + " -> " + Megabytes(memory));
    ReportFigure("storm_log_lines", std::to_string(instance.Process().LogLines().size()));
    EXPECT_NE(0u, baselineHandles) << "the handle list could not be read";
    EXPECT_LE(handles, baselineHandles + kHandleSlack);
    EXPECT_NE(0u, baselineMemory);
    EXPECT_LE(memory, baselineMemory + kMemorySlack);
    EXPECT_EQ(0, instance.Process().AccessViolations());

    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0u, instance.Process().ExitCode());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}
