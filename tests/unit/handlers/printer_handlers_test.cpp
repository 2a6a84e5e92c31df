// Messages 1124, 1129 and 1136 of the main window, on the fake library.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "handlers/message_handlers.h"
#include "printer_state_fixture.h"
#include "qelapp32/client.h"
#include "status/status_query.h"
#include "support/guarded_pages.h"

namespace {

using PrinterHandlers = PrinterStateTest;

const std::vector<std::string> kNoLines;
constexpr DWORD kFailure = QEL_FAILURE;

DWORD Answer(LRESULT result)
{
    return static_cast<DWORD>(result);
}

} // namespace

TEST_F(PrinterHandlers, EnumPrinterAnswersHandleHighAndFlagBitLow)
{
    struct Case {
        std::string port;
        WORD handle;
        BYTE flags;
        DWORD answer;
    };
    const Case cases[] = {
        {"USB001", 0x0102, 0x01, 0x01020001},
        {"USB001", 5, 0x00, 0x00050000},
        {"LPT1:", 5, 0xFE, 0x00050000},
        {"LPT1:", 0xFFFF, 0xFF, 0xFFFF0001},
        {"\\\\server\\printer", 9, 0x03, 0x00090001},
    };
    for (const Case &c : cases) {
        printer.SetPortValue(c.port);
        tov.hPrinter = c.handle;
        tov.printerFlags = c.flags;
        EXPECT_EQ(c.answer, Answer(OnEnumPrinter())) << c.port;
    }
}

TEST_F(PrinterHandlers, EnumPrinterAnswersFailureWhenThePrinterIsNotFound)
{
    g_nonBidiMode = 1;
    EXPECT_EQ(kFailure, Answer(OnEnumPrinter())) << "a local port in non-bidirectional mode";
    g_nonBidiMode = 0;
    tov.enumMask = 0x01;
    EXPECT_EQ(kFailure, Answer(OnEnumPrinter()));
    tov.enumMask = 0x10;
    tov.hPrinter = 0;
    EXPECT_EQ(kFailure, Answer(OnEnumPrinter()));
    printer.DeletePortValue();
    EXPECT_EQ(kFailure, Answer(OnEnumPrinter()));
}

TEST_F(PrinterHandlers, DeviceIdGoesIntoTheClientsBufferAndAnswersItsLength)
{
    char buffer[64];
    std::memset(buffer, 'x', sizeof(buffer));
    g_reEnumerate = 0;
    const DWORD answer = Answer(OnGetDeviceId(QEL_MAKE_WPARAM(7, sizeof(buffer)), reinterpret_cast<LPARAM>(buffer)));
    EXPECT_EQ(tov.deviceId.size(), answer);
    EXPECT_STREQ(tov.deviceId.c_str(), buffer);
    EXPECT_EQ(std::string(sizeof(buffer) - tov.deviceId.size() - 1, 'x'),
              std::string(buffer + tov.deviceId.size() + 1, buffer + sizeof(buffer)))
        << "the bytes the library left alone";
    EXPECT_EQ("TovGetDeviceIDStringEx(1, 7, 4095, 64)", tov.CallText(0)) << "the client's handle, not the instance's";
    EXPECT_EQ(0u, g_reEnumerate.load());
    EXPECT_EQ(0u, g_statusWord.load());
    EXPECT_EQ(kNoLines, platform.Lines());
}

// The library writes the service's own copy; the client's buffer is written only after the
// call, and only if it is still there.
TEST_F(PrinterHandlers, DeviceIdOutlivesAClientThatReleasedItsBufferDuringTheCall)
{
    constexpr DWORD kSize = 4096;
    char *clientBuffer = static_cast<char *>(VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(nullptr, clientBuffer);
    g_reEnumerate = 0;
    tov.onCall = [&](const std::string &name) {
        if (name == "TovGetDeviceIDStringEx")
            VirtualFree(clientBuffer, 0, MEM_RELEASE);
    };
    EXPECT_EQ(kFailure, Answer(OnGetDeviceId(QEL_MAKE_WPARAM(5, kSize), reinterpret_cast<LPARAM>(clientBuffer))));
    char expected[96];
    std::snprintf(expected, sizeof(expected),
                  "QELAPP32: WM_QELAPP32_GETDEVICEID: no writable buffer of 4096 bytes at %lXh\n",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(clientBuffer)));
    EXPECT_EQ(std::vector<std::string>{expected}, platform.Lines());
    EXPECT_EQ(0u, g_reEnumerate.load()) << "the printer answered; only the client is gone";
}

TEST_F(PrinterHandlers, DeviceIdFailureIsLoggedAndAnswersFailure)
{
    char buffer[16] = {};
    tov.Fail("TovGetDeviceIDStringEx", 0x1F);
    EXPECT_EQ(kFailure, Answer(OnGetDeviceId(QEL_MAKE_WPARAM(5, 16), reinterpret_cast<LPARAM>(buffer))));
    EXPECT_EQ(std::vector<std::string>{"QELAPP32: WM_QELAPP32_GETDEVICEID: TovGetDeviceIDStringEx failed (1Fh)\n"},
              platform.Lines());
    EXPECT_EQ(0u, g_statusWord.load());
}

TEST_F(PrinterHandlers, EmptyDeviceIdMarksThePrinterLostUntilAGoodStatus)
{
    char buffer[16] = {};
    tov.deviceIdLengthOverride = 0;
    g_reEnumerate = 0;
    g_statusWord = 0;
    EXPECT_EQ(0u, Answer(OnGetDeviceId(QEL_MAKE_WPARAM(5, 16), reinterpret_cast<LPARAM>(buffer))));
    EXPECT_EQ(1u, g_reEnumerate.load());
    EXPECT_EQ(0x100u, g_statusWord.load());
    EXPECT_EQ(0x80u, TakeStatusAnswer());
    EXPECT_EQ(kNoLines, platform.Lines());
}

TEST_F(PrinterHandlers, DeviceIdLengthBeyondTheBufferIsAnsweredAsReported)
{
    char buffer[8] = {};
    tov.deviceIdLengthOverride = 500;
    EXPECT_EQ(500u, Answer(OnGetDeviceId(QEL_MAKE_WPARAM(5, 8), reinterpret_cast<LPARAM>(buffer))));
    EXPECT_EQ('\0', buffer[7]) << "the library kept inside the size it was given";
}

TEST_F(PrinterHandlers, DeviceIdRefusesABufferTheServiceCannotWrite)
{
    GuardedPages pages;
    static const char readOnly[32] = "constant";
    struct Case {
        const void *address;
        WORD size;
    };
    char fine[8];
    auto lineFor = [](WORD size, const void *address) {
        char line[160];
        std::snprintf(line, sizeof(line), "QELAPP32: WM_QELAPP32_GETDEVICEID: no writable buffer of %u bytes at %lXh\n",
                      static_cast<unsigned>(size), static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(address)));
        return std::string(line);
    };
    const Case cases[] = {
        {reinterpret_cast<const void *>(0x10), 64},
        {nullptr, 64},
        {pages.Forbidden(), 16},
        {pages.Tail(8), 16},
        {readOnly, 32},
        {fine, 0},
        {nullptr, 0},
    };
    for (const Case &c : cases) {
        platform.ClearLines();
        tov.ResetCalls();
        EXPECT_EQ(kFailure, Answer(OnGetDeviceId(QEL_MAKE_WPARAM(5, c.size), reinterpret_cast<LPARAM>(c.address))));
        EXPECT_EQ(std::vector<std::string>{lineFor(c.size, c.address)}, platform.Lines());
        EXPECT_TRUE(tov.Calls().empty()) << "the library never sees the address";
        EXPECT_EQ(0u, g_statusWord.load()) << "a client's fault says nothing about the printer";
    }
    // The last writable bytes before the border are fine.
    tov.deviceId = "ABCDEFG";
    EXPECT_EQ(7u, Answer(OnGetDeviceId(QEL_MAKE_WPARAM(5, 8), reinterpret_cast<LPARAM>(pages.Tail(8)))));
    EXPECT_STREQ("ABCDEFG", reinterpret_cast<const char *>(pages.Tail(8)));
}

TEST_F(PrinterHandlers, CaptureAlertsPassesTheMaskAndTheAlertWindow)
{
    g_hPrinter = 5;
    g_portType = kPortUsb;
    g_alertWindow = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(1, OnCaptureAlerts());
    ASSERT_EQ(1u, tov.Calls().size());
    EXPECT_EQ((std::vector<std::string>{"1", "5", "00056000", std::to_string(0x1234), "0"}), tov.Calls()[0].args);

    tov.Fail("TovCaptureAlerts", 0x57);
    EXPECT_EQ(0, OnCaptureAlerts());
    EXPECT_EQ(std::vector<std::string>{"QELAPP32: WM_QELAPP32_CAPTUREALERTS: TovCaptureAlerts FAILED (57h)\n"},
              platform.Lines());
}

TEST_F(PrinterHandlers, CaptureAlertsIsSkippedOnANetworkPort)
{
    g_portType = kPortNetwork;
    tov.Fail("TovCaptureAlerts", 0x57);
    EXPECT_EQ(1, OnCaptureAlerts());
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_EQ(kNoLines, platform.Lines());
}

// A client's buffer is memory it placed in the process. The service's image, its heaps
// and mapped views are writable too, and writing a client's answer there would overwrite
// the service's own state (its library table first of all).
TEST_F(PrinterHandlers, ReadAndDeviceIdRefuseTheServicesOwnMemory)
{
    BYTE *heapBlock = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, 256));
    std::vector<BYTE> runtimeBlock(256);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    void *view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4096);
    ASSERT_NE(nullptr, view);
    const TovApi tableBefore = g_tov;
    struct Case {
        const char *what;
        void *address;
    };
    const Case cases[] = {
        {"the library table in the image", &g_tov},
        {"a block of the process heap", heapBlock},
        {"a block of the runtime's heap", runtimeBlock.data()},
        {"a mapped view", view},
    };
    const BYTE packet[] = {0x1B, 0x05};
    for (const Case &c : cases) {
        ASSERT_EQ(1, QueueAddMessage(&InboundQueue, packet, sizeof(packet), 0));
        platform.ClearLines();
        const LPARAM address = reinterpret_cast<LPARAM>(c.address);
        EXPECT_EQ(0, OnRead(64, address)) << c.what;
        EXPECT_EQ(kFailure, Answer(OnGetDeviceId(QEL_MAKE_WPARAM(5, 64), address))) << c.what;
        EXPECT_EQ(2u, platform.Lines().size()) << c.what << ": one line for each refusal";
        EXPECT_EQ(1u, TakeInboundPackets().size()) << c.what << ": the refused read kept its message";
    }
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_EQ(0, std::memcmp(&tableBefore, &g_tov, sizeof(g_tov)));
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    HeapFree(GetProcessHeap(), 0, heapBlock);
}
