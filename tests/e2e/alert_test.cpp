// Alerts posted to the real program's alert window reach a client as packets through
// 1126, in one stream with the printer's responses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qelapp32/qelclient.h"
#include "support/sim_control.h"
#include "support/test_instance.h"

namespace {

// Reads packets through 1126 until `count` have arrived or the time is up.
std::vector<std::string> ReadPackets(TestInstance &instance, size_t count, DWORD timeoutMs)
{
    std::vector<std::string> packets;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (packets.size() < count && GetTickCount64() < deadline) {
        BYTE packet[QEL_MAX_MESSAGE_LENGTH];
        DWORD length = 0;
        if (QelRead(instance.Client(), packet, sizeof(packet), &length, timeoutMs, nullptr) != QEL_OK || length == 0) {
            Sleep(20); // nothing queued yet; the alert and write threads work on their own
            continue;
        }
        packets.push_back(ToHex(packet, length));
    }
    return packets;
}

} // namespace

TEST(AlertE2E, CapturedAlertsArriveAsPacketsInOrderWithResponses)
{
    TestInstance instance("USB001");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001, instance.Send(WM_QELAPP32_ENUMPRINTER));
    HWND alertWindow = instance.AlertWindow();
    ASSERT_NE(nullptr, alertWindow);
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_CAPTUREALERTS));
    const auto capture = instance.Sim().CallsNamed("TovCaptureAlerts");
    ASSERT_EQ(1u, capture.size());
    const std::string window = std::to_string(reinterpret_cast<ULONG_PTR>(alertWindow));
    EXPECT_EQ("1", capture[0].args[0]);
    EXPECT_EQ("5", capture[0].args[1]);
    EXPECT_EQ("00056000", capture[0].args[2]);
    EXPECT_EQ("0", capture[0].args[4]);

    // The alert thread handles its messages in the order they were posted; the response
    // to the command below is produced only after the last alert fetched its data.
    ASSERT_TRUE(PostMessageA(alertWindow, WM_TOV_STATUSCHANGE, 0, 0x20));
    ASSERT_TRUE(PostMessageA(alertWindow, WM_TOV_VALUE, MAKEWPARAM(0x0102, 5), 0));
    ASSERT_TRUE(PostMessageA(alertWindow, WM_TOV_INKJETK20, MAKEWPARAM(7, 0), 0));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovQueryAlerts", 1, 5000));

    const BYTE command[] = {0x10, 0x20, 0x30};
    EXPECT_EQ(QEL_OK, QelWrite(instance.Client(), 5, command, sizeof(command), 5000, nullptr));

    const std::vector<std::string> packets = ReadPackets(instance, 4, 5000);
    const std::vector<std::string> expected = {
        "a5000500ff000002",
        "a5001850fd8000000101010102" + std::string(28, 'f'),
        "a5000551f0112233",
        "102030",
    };
    EXPECT_EQ(expected, packets);
    const auto query = instance.Sim().CallsNamed("TovQueryAlerts");
    ASSERT_EQ(1u, query.size());
    EXPECT_EQ((std::vector<std::string>{"1", "0", "7", "2", "200"}), query[0].args);

    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(AlertE2E, StatusChangeDecidesTheStatusByte)
{
    TestInstance instance("USB001");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001, instance.Send(WM_QELAPP32_ENUMPRINTER));
    ASSERT_EQ(static_cast<LRESULT>(QEL_STATUS_READY), instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE));
    HWND alertWindow = instance.AlertWindow();
    ASSERT_NE(nullptr, alertWindow);
    // A good status posts 2024 at the end of the start-up episode: its packet comes first.
    EXPECT_EQ(std::vector<std::string>{"a5000500ff010000"}, ReadPackets(instance, 1, 5000));

    ASSERT_TRUE(PostMessageA(alertWindow, WM_TOV_STATUSCHANGE, 0, 0x101));
    EXPECT_EQ(std::vector<std::string>{"a5000500ff400800"}, ReadPackets(instance, 1, 5000));
    // Within 2000 ms of the last refresh the byte comes from the alert's bits.
    EXPECT_EQ(static_cast<LRESULT>(QEL_STATUS_ATTENTION), instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_NO_WAIT));
    EXPECT_EQ(static_cast<LRESULT>(QEL_STATUS_ERROR), instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_NO_WAIT));
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}
