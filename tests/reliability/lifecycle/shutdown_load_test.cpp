// ENDJOB while a large file goes to a slow printer and the write thread hangs in the
// library with the OutboundQueue full: the sender closes its document, the instance ends
// within its bounds, tells the client, and leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "battery.h"
#include "battery_support.h"
#include "qelapp32/client.h"
#include "support/process_metrics.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kWaitMs = 10000;
constexpr size_t kFileSize = 10 * 1024 * 1024;
constexpr int kOutboundSlots = 4;
// 500 ms for the alert thread, up to 100 ms until the sender's cancel is seen plus its last
// block and closing calls, 500 ms for the workers; the rest is a loaded machine's slack.
constexpr ULONGLONG kShutdownBoundMs = 2500;

} // namespace

TEST(ShutdownUnderLoad, EndJobWhileAFileIsSentAndTheOutboundQueueIsFull)
{
    SystemDirectoryFile file("large", kFileSize);
    TestInstance instance("LPT1:", "endload");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001, instance.Send(WM_QELAPP32_ENUMPRINTER));
    const DWORD processId = instance.Process().ProcessId();

    // A slow printer: 5 ms per block of 4096 bytes would take the file over ten seconds.
    instance.Sim().Set("delay.TovWrite", "5");
    const std::string name = file.Name() + std::string(1, '\0');
    RemoteMemory nameBuffer(instance.Process().Process(), name.size());
    nameBuffer.Write(name);
    ASSERT_EQ(1, instance.Send(WM_QELAPP32_SENDFILE, 0, nameBuffer.Address()));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovWrite", 20, kWaitMs));

    // The write thread hangs in the library with one packet; four more fill the queue.
    instance.Sim().Set("delay.TovSendBidi", "60000");
    RemoteMemory packet(instance.Process().Process(), 4);
    packet.Write(std::string("\xA5\x00\x01\x42", 4));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(5, 4), packet.Address()));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovSendBidi", 1, kWaitMs));
    for (int slot = 0; slot < kOutboundSlots; ++slot)
        EXPECT_EQ(0, instance.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(5, 4), packet.Address()));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_SENDFILE, 0, 0)) << "the file is still on its way";

    const ULONGLONG ending = GetTickCount64();
    LRESULT answer = -1;
    ASSERT_TRUE(instance.EndJob(1, MAKELPARAM(0, 5), &answer)) << "ready-for-next-job signalled and process ended";
    const ULONGLONG shutdown = ElapsedMs(ending);
    ReportFigure("shutdown_under_load_ms", std::to_string(shutdown));
    EXPECT_EQ(1, answer);
    EXPECT_LT(shutdown, kShutdownBoundMs);
    EXPECT_EQ(0u, instance.Process().ExitCode());

    // The sender finished the block in hand and closed its document after the last write.
    const std::vector<std::string> names = instance.Sim().CallNames();
    const auto lastWrite = std::find(names.rbegin(), names.rend(), "TovWrite").base();
    const std::vector<std::string> after(lastWrite, names.end());
    const auto close = std::find(after.begin(), after.end(), "TovClose");
    const auto endDoc = std::find(after.begin(), after.end(), "TovEndDoc");
    EXPECT_NE(after.end(), close) << ::testing::PrintToString(after);
    EXPECT_NE(after.end(), endDoc) << ::testing::PrintToString(after);
    EXPECT_LT(close - after.begin(), endDoc - after.begin());
    EXPECT_EQ(1u, instance.Sim().CallsNamed("TovSendBidi").size()) << "the queued packets are left behind";
    // What reached the printer is the head of the file, every byte once and in order.
    const std::string printed = instance.Sim().CaptureBytes();
    ReportFigure("shutdown_under_load_bytes_sent", std::to_string(printed.size()) + " of " + std::to_string(kFileSize));
    EXPECT_GT(printed.size(), 0u);
    EXPECT_LT(printed.size(), kFileSize) << "the sender was cancelled";
    EXPECT_TRUE(printed == file.Bytes().substr(0, printed.size()));

    DWORD hwnd = 1;
    EXPECT_TRUE(instance.Printer().ReadDriverDword(QEL_VALUE_HWND, &hwnd));
    EXPECT_EQ(0u, hwnd);
    // Wine starts its desktop process (explorer.exe) from the first program of a session that
    // creates a window; it belongs to Wine, not to the instance.
    std::vector<std::string> children = FindChildProcesses(processId);
    children.erase(std::remove(children.begin(), children.end(), "explorer.exe"), children.end());
    EXPECT_TRUE(children.empty()) << "left behind: " << ::testing::PrintToString(children);
    EXPECT_EQ(0, instance.Process().AccessViolations());
}
