#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "alerts/alert_window_proc.h"
#include "printer_state_fixture.h"
#include "qelapp32/client.h"

namespace {

using AlertWindow = PrinterStateTest;
using Packets = std::vector<std::pair<std::string, WORD>>;

const std::vector<std::string> kNoLines;

LRESULT Alert(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return AlertWindowProc(nullptr, message, wParam, lParam);
}

Packets One(const std::string &hex, WORD tag)
{
    return Packets{{FromHex(hex), tag}};
}

std::string HexPackets(const Packets &packets)
{
    std::string text;
    for (const auto &packet : packets)
        text += Hex(packet.first) + "/" + std::to_string(packet.second) + " ";
    return text;
}

} // namespace

TEST_F(AlertWindow, StatusChangeMapsEachBitToItsFlag)
{
    struct Case {
        uint32_t status;
        std::string flags; // S5 S6 S7
    };
    const Case cases[] = {
        {0x001, "000800"},      {0x002, "000400"}, {0x004, "000200"}, {0x008, "000100"},   {0x010, "000008"},
        {0x020, "000002"},      {0x040, "000004"}, {0x080, "000001"}, {0x100, "400000"},   {0x200, "800000"},
        {0x400, "010000"},      {0x7FF, "c10f0f"}, {0x800, "000000"}, {0x10000, "000000"}, {0xFFFFF800, "000000"},
        {0xFFFFFFFF, "c10f0f"}, {0x000, "000000"}, {0x0A5, "000a03"},
    };
    g_reEnumerate = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_EQ(0, Alert(WM_TOV_STATUSCHANGE, 0x12345678, static_cast<LPARAM>(c.status)));
        EXPECT_EQ(c.status, g_statusWord.load()) << "the whole word is replaced";
        EXPECT_EQ(HexPackets(One("a5000500ff" + c.flags, 0)), HexPackets(TakeInboundPackets()));
    }
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_EQ(0u, g_reEnumerate.load());
}

TEST_F(AlertWindow, StatusChangeWithBit10RefreshesOncePerEpisode)
{
    printer.SetPortValue("USB001");
    g_reEnumerate = 1;
    EXPECT_EQ(0, Alert(WM_TOV_STATUSCHANGE, 0, 0x401));
    EXPECT_EQ(std::vector<std::string>{"TovEnumSpecificPort"}, tov.CallNames());
    EXPECT_EQ(0u, g_reEnumerate.load());
    EXPECT_EQ(0x401u, g_statusWord.load());
    EXPECT_EQ(5, CurrentPrinterHandle());
    EXPECT_EQ(HexPackets(One("a5000500ff010800", 0)), HexPackets(TakeInboundPackets()));

    EXPECT_EQ(0, Alert(WM_TOV_STATUSCHANGE, 0, 0x401));
    EXPECT_EQ(1u, tov.Calls().size()) << "the same alert again runs no refresh";
    EXPECT_EQ(HexPackets(One("a5000500ff010800", 0)), HexPackets(TakeInboundPackets()));

    // Without bit 10 an open episode stays open, whatever the other bits.
    g_reEnumerate = 1;
    EXPECT_EQ(0, Alert(WM_TOV_STATUSCHANGE, 0, 0xFFFFFBFF));
    EXPECT_EQ(1u, g_reEnumerate.load());
    EXPECT_EQ(1u, tov.Calls().size());
    EXPECT_EQ(1u, TakeInboundPackets().size());
}

TEST_F(AlertWindow, FailedRefreshLeavesTheRequestForTheStatusThread)
{
    tov.enumMask = 0x01;
    g_reEnumerate = 1;
    EXPECT_EQ(0, Alert(WM_TOV_STATUSCHANGE, 0, 0x400));
    EXPECT_EQ(1u, g_reEnumerate.load()) << "the printer is still to be found";
    EXPECT_EQ(std::vector<std::string>{"QELAPP32: TovEnumSpecificPort or TovEnumByUNC failed (1h)\n"},
              platform.Lines());
    EXPECT_EQ(1u, TakeInboundPackets().size());
}

TEST_F(AlertWindow, RequestMadeDuringTheRefreshSurvivesIt)
{
    g_reEnumerate = 1;
    // Another thread finds the printer lost while the alert window enumerates.
    tov.onCall = [](const std::string &name) {
        if (name == "TovEnumSpecificPort")
            g_reEnumerate = 1;
    };
    EXPECT_EQ(0, Alert(WM_TOV_STATUSCHANGE, 0, 0x400));
    tov.onCall = nullptr;
    EXPECT_EQ(1u, tov.CallsNamed("TovEnumSpecificPort").size());
    EXPECT_EQ(1u, g_reEnumerate.load());
}

TEST_F(AlertWindow, FetchAndDiscardAlertsQueueNothingAndLogTheirOwnFailure)
{
    const std::pair<UINT, std::string> cases[] = {
        {WM_TOV_FLASHDISK, "WM_TOV_FLASHDISK"},
        {WM_TOV_JOBACCOUNT, "WM_TOV_JOBACCOUNT"},
        {WM_TOV_PANEL, "WM_TOV_PANEL"},
        {WM_TOV_PAGE, "WM_TOV_PAGE"},
        {WM_TOV_PARTIALPAGE, "WM_TOV_PARTIALPAGE"},
    };
    g_appId = 3;
    for (const auto &c : cases) {
        tov.Fail("TovQueryAlerts", 0);
        tov.ResetCalls();
        platform.ClearLines();
        EXPECT_EQ(0, Alert(c.first, 0x00070009, 0x55));
        EXPECT_EQ("TovQueryAlerts(3, 7, 458761, 2, 200)", tov.CallText(0));
        EXPECT_EQ(1u, tov.Calls().size());
        EXPECT_EQ(kNoLines, platform.Lines());

        tov.Fail("TovQueryAlerts", 0x1F);
        EXPECT_EQ(0, Alert(c.first, 0x00070009, 0x55));
        EXPECT_EQ(std::vector<std::string>{"QELAPP32: " + c.second + ": TovQueryAlerts (bufSize 200) failed (1Fh)\n"},
                  platform.Lines());
    }
    EXPECT_TRUE(TakeInboundPackets().empty());
    EXPECT_EQ(0u, g_statusWord.load());
}

TEST_F(AlertWindow, ValueAlertQueuesItsPacketWithTheHighWordAsTag)
{
    EXPECT_EQ(0, Alert(WM_TOV_VALUE, MAKEWPARAM(0x0102, 5), 0x99));
    // The value 0x0102 lands big-endian in bytes 11 and 12 of the fixed 27-byte frame.
    EXPECT_EQ(HexPackets(One("a5001850fd8000000101010102" + std::string(28, 'f'), 5)),
              HexPackets(TakeInboundPackets()));
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_EQ(0u, g_statusWord.load());
}

TEST_F(AlertWindow, InkjetAlertQueuesTheFetchedDataWithTheLowWordAsTag)
{
    g_appId = 2;
    EXPECT_EQ(0, Alert(WM_TOV_INKJETK20, MAKEWPARAM(0x0009, 0x0004)));
    EXPECT_EQ("TovQueryAlerts(2, 4, 262153, 2, 200)", tov.CallText(0));
    EXPECT_EQ(HexPackets(One("a5000551f0112233", 9)), HexPackets(TakeInboundPackets()));

    tov.alertData = std::string(200, '\x7e');
    EXPECT_EQ(0, Alert(WM_TOV_INKJETK20, 1));
    const Packets full = TakeInboundPackets();
    ASSERT_EQ(1u, full.size());
    std::string expected = "a500ca51f0";
    for (int i = 0; i < 200; ++i)
        expected += "7e";
    EXPECT_EQ(expected, Hex(full[0].first));

    tov.alertData.clear();
    EXPECT_EQ(0, Alert(WM_TOV_INKJETK20, 1));
    EXPECT_EQ(HexPackets(One("a5000251f0", 1)), HexPackets(TakeInboundPackets())) << "no data: the header only";
}

TEST_F(AlertWindow, InkjetAlertFailureQueuesNothing)
{
    tov.Fail("TovQueryAlerts", 0x57);
    EXPECT_EQ(0, Alert(WM_TOV_INKJETK20, 1));
    EXPECT_TRUE(TakeInboundPackets().empty());
    EXPECT_EQ(std::vector<std::string>{"QELAPP32: WM_TOV_INKJETK20: TovQueryAlerts (bufSize 200) failed (57h)\n"},
              platform.Lines());
}

namespace {

// A library that reports more bytes than the buffer it was given can hold.
DWORD WINAPI OverstatingQueryAlerts(WORD, WORD, DWORD, DWORD, BYTE *buffer, WORD *count)
{
    for (WORD i = 0; i < *count; ++i)
        buffer[i] = 0x44;
    *count = 500;
    return 0;
}

} // namespace

TEST_F(AlertWindow, OverstatedAlertDataIsCutToTheBuffer)
{
    g_tov.TovQueryAlerts = OverstatingQueryAlerts;
    EXPECT_EQ(0, Alert(WM_TOV_INKJETK20, 1));
    EXPECT_EQ(0, Alert(WM_TOV_PANEL, 1));
    const Packets packets = TakeInboundPackets();
    ASSERT_EQ(1u, packets.size());
    EXPECT_EQ(205u, packets[0].first.size());
    EXPECT_EQ(std::string(200, '\x44'), packets[0].first.substr(5));
}

TEST_F(AlertWindow, PrinterStateAlertChangesNothing)
{
    g_statusWord = 0x101;
    g_reEnumerate = 1;
    for (WORD state : {0, 1, 2, 3, 4, 0xFFFF}) {
        EXPECT_EQ(0, Alert(WM_TOV_PRINTERSTATE, MAKEWPARAM(0, state), 0x400));
    }
    EXPECT_EQ(0x101u, g_statusWord.load());
    EXPECT_EQ(1u, g_reEnumerate.load());
    EXPECT_TRUE(TakeInboundPackets().empty());
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_EQ(kNoLines, platform.Lines());
}

TEST_F(AlertWindow, PrinterOkQueuesAGoodStatusPacket)
{
    g_statusWord = 0x100;
    g_reEnumerate = 1;
    EXPECT_EQ(0, Alert(WM_QELAPP32_PRINTEROK, 7, 7));
    EXPECT_EQ(HexPackets(One("a5000500ff010000", 0)), HexPackets(TakeInboundPackets()));
    EXPECT_EQ(0x100u, g_statusWord.load());
    EXPECT_EQ(1u, g_reEnumerate.load());
}

TEST_F(AlertWindow, UnnamedAlertNumbersAreAnsweredWithoutDefaultProcessing)
{
    std::vector<UINT> ignored;
    for (UINT message = 1530; message <= 1536; ++message)
        ignored.push_back(message);
    for (UINT message : {1538u, 1539u, 1564u, 1565u, 1566u})
        ignored.push_back(message);
    for (UINT message : ignored)
        EXPECT_EQ(0, Alert(message, 1, 1)) << message;
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_TRUE(TakeInboundPackets().empty());
}

namespace {

// A real window of the alert window's procedure, for what needs DefWindowProcA.
class RealAlertWindow {
public:
    RealAlertWindow()
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = AlertWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "QelH4AlertTest";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, "QelH4AlertTest", "VODUVI32 test", WS_MINIMIZE, 0, 0, 20, 20, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    }
    ~RealAlertWindow() { DestroyWindow(window_); }
    HWND Window() const { return window_; }

private:
    HWND window_;
};

void DrainQuitMessage()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

} // namespace

TEST_F(AlertWindow, OtherMessagesGetDefaultProcessing)
{
    RealAlertWindow window;
    ASSERT_NE(nullptr, window.Window());
    EXPECT_EQ(13, SendMessageA(window.Window(), WM_GETTEXTLENGTH, 0, 0));
    for (UINT message : {1540u, 1563u, 1567u, 1593u, 1595u, 1597u, 2023u, 2025u})
        EXPECT_EQ(0, SendMessageA(window.Window(), message, 1, 1)) << message;
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_TRUE(TakeInboundPackets().empty());
    DrainQuitMessage(); // DestroyWindow sends WM_DESTROY, which posts the quit message
}

TEST_F(AlertWindow, DestroyEndsTheThreadsLoop)
{
    EXPECT_EQ(0, Alert(WM_DESTROY));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, message.wParam);
}
