// Port discovery, the printer handle, the status byte and the device ID of the real
// program on the simulated library, seen from a client process.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "qelapp32/qelclient.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kFailure = QEL_FAILURE;
constexpr char kSimDeviceId[] = "MFG:Qel;CMD:QPL;MDL:Virtual Printer;CLS:PRINTER;";

DWORD Answer(LRESULT result)
{
    return static_cast<DWORD>(result);
}

std::vector<std::string> Args(const std::string &a, const std::string &b, const std::string &c,
                              const std::string &d = std::string())
{
    std::vector<std::string> args = {a, b, c};
    if (!d.empty())
        args.push_back(d);
    return args;
}

} // namespace

TEST(PortDiscoveryE2E, UsbPortIsEnumeratedOnItsNameAndAnswersTheSimsHandle)
{
    TestInstance instance("USB001");
    instance.Sim().Set("hprinter", "0x0102");
    instance.Sim().Set("printer_flags", "0x03");
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ(0x01020001u, Answer(instance.Send(WM_QELAPP32_ENUMPRINTER)));
    const auto calls = instance.Sim().CallsNamed("TovEnumSpecificPort");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(Args("1", "4095", "USB001"), calls[0].args);
    EXPECT_TRUE(instance.Sim().CallsNamed("TovEnumByUNC").empty());
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(PortDiscoveryE2E, UncPortIsEnumeratedByItsNameAndNeedsNoStatusQuery)
{
    TestInstance instance("\\\\server\\printer");
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ(0x00050001u, Answer(instance.Send(WM_QELAPP32_ENUMPRINTER)));
    const auto calls = instance.Sim().CallsNamed("TovEnumByUNC");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(Args("1", "4095", "\\\\server\\printer"), calls[0].args);

    instance.Sim().Set("status_state", "2");
    EXPECT_EQ(QEL_STATUS_READY, Answer(instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_FORCED)));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_CAPTUREALERTS));
    EXPECT_TRUE(instance.Sim().CallsNamed("TovQueryPrinterStatus").empty());
    EXPECT_TRUE(instance.Sim().CallsNamed("TovCaptureAlerts").empty());
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

// A port that the network redirector maps to a remote name cannot be set up under Wine;
// that path is covered by the unit tests through the redirector seam.
TEST(PortDiscoveryE2E, LocalPortInNonBidiModeIsNeverEnumerated)
{
    TestInstance instance("LPT1:");
    ASSERT_TRUE(instance.Printer().SetDriverDword(QEL_VALUE_NON_BIDI, 1));
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ(kFailure, Answer(instance.Send(WM_QELAPP32_ENUMPRINTER)));
    EXPECT_EQ(kFailure, Answer(instance.Send(WM_QELAPP32_ENUMPRINTER)));
    EXPECT_TRUE(instance.Sim().CallsNamed("TovEnumSpecificPort").empty());
    EXPECT_TRUE(instance.Sim().CallsNamed("TovEnumByUNC").empty());
    EXPECT_TRUE(instance.Process().LogLines().empty()) << ::testing::PrintToString(instance.Process().LogLines());
    EXPECT_TRUE(instance.EndJob());
}

TEST(StatusE2E, AnswersFromTheQueriedStateOfTheUsbPrinter)
{
    TestInstance instance("USB001");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001u, Answer(instance.Send(WM_QELAPP32_ENUMPRINTER)));
    EXPECT_EQ(QEL_STATUS_READY, Answer(instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE)));
    const auto queries = instance.Sim().CallsNamed("TovQueryPrinterStatus");
    ASSERT_EQ(1u, queries.size());
    EXPECT_EQ(Args("1", "5", "4095", "1036"), queries[0].args);

    // In error; within 2000 ms only a forced request asks the printer.
    instance.Sim().Set("status_state", "2");
    EXPECT_EQ(QEL_STATUS_READY, Answer(instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE)));
    EXPECT_EQ(1u, instance.Sim().CallsNamed("TovQueryPrinterStatus").size());
    EXPECT_EQ(QEL_STATUS_ERROR, Answer(instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_FORCED)));
    EXPECT_EQ(5u, instance.Sim().CallsNamed("TovQueryPrinterStatus").size())
        << "the first error on USB is asked twice more, the forced second query once";

    instance.Sim().Set("status_state", "0");
    EXPECT_EQ(QEL_STATUS_READY, Answer(instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_FORCED)));
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(StatusE2E, FirstRequestWaitsFiveSecondsForASlowPrinter)
{
    TestInstance instance("LPT1:");
    instance.Sim().Set("delay.TovQueryPrinterStatus", "6500");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001u, Answer(instance.Send(WM_QELAPP32_ENUMPRINTER)));
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(QEL_STATUS_ERROR, Answer(instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_NO_WAIT)))
        << "a printer that does not answer in time reads as in error";
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 4800u);
    EXPECT_LT(elapsed, 6400u);
    // The status thread is still inside the library; shutdown does not wait for it.
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(DeviceIdE2E, DeviceIdArrivesInTheClientsBufferAndABadAddressIsRefused)
{
    TestInstance instance("USB001");
    ASSERT_TRUE(instance.Start());
    RemoteMemory buffer(instance.Process().Process(), 256);
    buffer.Write(std::string(256, 'x'));
    const std::string expected = kSimDeviceId;
    EXPECT_EQ(expected.size(),
              Answer(instance.Send(WM_QELAPP32_GETDEVICEID, QEL_MAKE_WPARAM(9, 256), buffer.Address())));
    EXPECT_EQ(expected + '\0', buffer.Read(expected.size() + 1));
    const auto calls = instance.Sim().CallsNamed("TovGetDeviceIDStringEx");
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(Args("1", "9", "4095", "256"), calls[0].args);

    RemoteMemory readOnly(instance.Process().Process(), 64, PAGE_READONLY);
    EXPECT_EQ(kFailure, Answer(instance.Send(WM_QELAPP32_GETDEVICEID, QEL_MAKE_WPARAM(5, 64), 0x10)));
    EXPECT_EQ(kFailure, Answer(instance.Send(WM_QELAPP32_GETDEVICEID, QEL_MAKE_WPARAM(5, 64), readOnly.Address())));
    EXPECT_TRUE(instance.Process().WaitForLogLine(
        "QELAPP32: WM_QELAPP32_GETDEVICEID: no writable buffer of 64 bytes at 10h\n", 2000));
    EXPECT_EQ(1u, instance.Sim().CallsNamed("TovGetDeviceIDStringEx").size()) << "the library never saw them";
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP)) << "the instance lives on";
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST(DeviceIdE2E, EmptyDeviceIdReadsAsErrorUntilTheNextGoodStatus)
{
    TestInstance instance("USB001");
    instance.Sim().Set("device_id_length", "0");
    ASSERT_TRUE(instance.Start());
    ASSERT_EQ(0x00050001u, Answer(instance.Send(WM_QELAPP32_ENUMPRINTER)));
    ASSERT_EQ(QEL_STATUS_READY, Answer(instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_IF_DUE)));
    char deviceId[64];
    DWORD length = 0;
    DWORD_PTR answer = 0xBADBAD;
    EXPECT_EQ(QEL_REFUSED, QelGetDeviceId(instance.Client(), 5, deviceId, sizeof(deviceId), &length, 5000, &answer));
    EXPECT_EQ(0u, answer);
    EXPECT_EQ(QEL_STATUS_ERROR, Answer(instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_NO_WAIT)))
        << "answered from the status word within 2000 ms";

    instance.Sim().ResetCalls();
    EXPECT_EQ(QEL_STATUS_READY, Answer(instance.Send(WM_QELAPP32_GETSTATUS, 0, QEL_REFRESH_FORCED)));
    const std::vector<std::string> expected = {"TovEnumSpecificPort", "TovQueryPrinterStatus", "TovQueryPrinterStatus"};
    EXPECT_EQ(expected, instance.Sim().CallNames()) << "the printer is found again before its status is asked";
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}
