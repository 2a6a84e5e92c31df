#include <gtest/gtest.h>

#include <thread>

#include <atomic>

#include <array>

#include <cstring>
#include <string>
#include <vector>

#include "config/port_discovery.h"
#include "printer_state_fixture.h"
#include "qelapp32/client.h"

namespace {

using PortDiscovery = PrinterStateTest;

const std::vector<std::string> kNoLines;

std::string PrinterKeyPath(const std::string &printer)
{
    return std::string(QEL_PRINTERS_KEY_PREFIX) + printer;
}

void WriteRawPort(const std::string &printer, DWORD type, const std::string &bytes)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, PrinterKeyPath(printer).c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, QEL_VALUE_PORT, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

std::array<BYTE, kPrinterInfoSize> MakeRecord(WORD handle, BYTE flags, BYTE filler)
{
    std::array<BYTE, kPrinterInfoSize> record;
    record.fill(filler);
    std::memcpy(record.data() + kPrinterInfoHandleOffset, &handle, sizeof(handle));
    record[kPrinterInfoFlagsOffset] = flags;
    return record;
}

// Redirector calls as the seam saw them.
struct RedirectorCall {
    std::string localName;
    DWORD length;
};

} // namespace

TEST_F(PortDiscovery, ClassifiesPortsAndEnumeratesWithTheRightCall)
{
    struct Case {
        std::string port;
        DWORD nonBidi;
        std::string redirectsTo; // empty: the redirector knows nothing of the port
        uint32_t type;
        std::string call; // "" when the library must not be asked
        std::string nameGiven;
        bool asksRedirector;
        int answer;
    };
    const Case cases[] = {
        {"USB001", 0, "", kPortUsb, "TovEnumSpecificPort", "USB001", false, 1},
        {"usb001", 0, "", kPortLocal, "TovEnumSpecificPort", "usb001", true, 1},
        {"\\\\server\\printer", 0, "", kPortNetwork, "TovEnumByUNC", "\\\\server\\printer", false, 1},
        {"LPT1:", 0, "\\\\host\\queue", kPortNetwork, "TovEnumByUNC", "\\\\host\\queue", true, 1},
        {"LPT1:", 0, "", kPortLocal, "TovEnumSpecificPort", "LPT1:", true, 1},
        {"LPT1:", 1, "", kPortLocalNonBidi, "", "", true, 0},
        {"USB002", 1, "", kPortUsb, "TovEnumSpecificPort", "USB002", false, 1},
        {"\\\\server\\printer", 1, "", kPortNetwork, "TovEnumByUNC", "\\\\server\\printer", false, 1},
        {"LPT2:", 1, "\\\\host\\queue", kPortNetwork, "TovEnumByUNC", "\\\\host\\queue", true, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.port + " nonBidi=" + std::to_string(c.nonBidi));
        printer.SetPortValue(c.port);
        g_nonBidiMode = c.nonBidi;
        g_reEnumerate = 0;
        std::vector<RedirectorCall> redirectorCalls;
        platform.netConnection = [&](LPCSTR local, LPSTR remote, LPDWORD length) -> DWORD {
            redirectorCalls.push_back({local, *length});
            if (c.redirectsTo.empty())
                return ERROR_NOT_CONNECTED;
            std::strcpy(remote, c.redirectsTo.c_str());
            return NO_ERROR;
        };
        tov.ResetCalls();
        platform.ClearLines();

        EXPECT_EQ(c.answer, RefreshPrinterPort());
        EXPECT_EQ(c.type, g_portType.load());
        EXPECT_STREQ(c.port.c_str(), g_portName);
        char copy[kNameBufferSize];
        CopyCurrentPortName(copy);
        EXPECT_STREQ(c.port.c_str(), copy);
        if (c.asksRedirector) {
            ASSERT_EQ(1u, redirectorCalls.size());
            EXPECT_EQ(c.port, redirectorCalls[0].localName);
            EXPECT_EQ(309u, redirectorCalls[0].length);
        } else {
            EXPECT_TRUE(redirectorCalls.empty());
        }
        if (c.call.empty()) {
            EXPECT_TRUE(tov.Calls().empty());
        } else {
            ASSERT_EQ(1u, tov.Calls().size());
            EXPECT_EQ(c.call + "(1, 4095, " + c.nameGiven + ")", tov.CallText(0));
        }
        EXPECT_EQ(kNoLines, platform.Lines());
        EXPECT_EQ(0u, g_reEnumerate.load()) << "only a failed enumeration sets the flag";
    }
}

TEST_F(PortDiscovery, NonBidiLocalPortLeavesTheReEnumerateFlagAsItWas)
{
    g_nonBidiMode = 1;
    for (uint32_t flag : {0u, 1u}) {
        g_reEnumerate = flag;
        EXPECT_EQ(0, RefreshPrinterPort());
        EXPECT_EQ(flag, g_reEnumerate.load());
        EXPECT_EQ(kPortLocalNonBidi, g_portType.load());
    }
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_EQ(kNoLines, platform.Lines());
}

TEST_F(PortDiscovery, JudgesTheOutcomeMaskAndTheDeliveredHandle)
{
    struct Case {
        DWORD mask;
        WORD handle;
        int answer;
        std::string line;
    };
    const std::string noHandle = "QELAPP32: TovEnumSpecificPort or TovEnumByUNC PrinterInfo.hPrinter == 0\n";
    const Case cases[] = {
        {0x10, 5, 1, ""},
        {0x800, 5, 1, ""},
        {0x02, 5, 1, ""},
        {0x04, 5, 1, ""},
        {0x20, 5, 1, ""},
        {0x400, 5, 1, ""},
        {0xC36, 5, 1, ""},
        {0x01, 5, 0, "QELAPP32: TovEnumSpecificPort or TovEnumByUNC failed (1h)\n"},
        {0x00, 5, 0, "QELAPP32: TovEnumSpecificPort or TovEnumByUNC failed (0h)\n"},
        {0xFFFFF3C9, 5, 0, "QELAPP32: TovEnumSpecificPort or TovEnumByUNC failed (FFFFF3C9h)\n"},
        {0x10, 0, 0, noHandle},
        {0x01, 0, 0, noHandle},
    };
    printer.SetPortValue("USB001");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mask);
        tov.enumMask = c.mask;
        tov.hPrinter = c.handle;
        g_reEnumerate = 0;
        platform.ClearLines();
        EXPECT_EQ(c.answer, RefreshPrinterPort());
        EXPECT_EQ(c.handle, CurrentPrinterHandle());
        if (c.line.empty()) {
            EXPECT_EQ(kNoLines, platform.Lines());
            EXPECT_EQ(0u, g_reEnumerate.load());
        } else {
            EXPECT_EQ(std::vector<std::string>{c.line}, platform.Lines());
            EXPECT_EQ(1u, g_reEnumerate.load());
        }
    }
}

TEST_F(PortDiscovery, NetworkPortRestsOnTheHandleAloneWhateverTheLibraryAnswers)
{
    printer.SetPortValue("\\\\server\\printer");
    tov.Fail("TovEnumByUNC", 0x57);
    tov.enumRecords = 0;
    g_reEnumerate = 0;
    EXPECT_EQ(0, RefreshPrinterPort());
    EXPECT_EQ(std::vector<std::string>{"QELAPP32: TovEnumSpecificPort or TovEnumByUNC PrinterInfo.hPrinter == 0\n"},
              platform.Lines());
    EXPECT_EQ(1u, g_reEnumerate.load());

    // A failing call that still delivered a record finds the printer: the mask is 0x10.
    tov.Fail("TovEnumByUNC", 0);
    tov.enumRecords = 1;
    EXPECT_EQ(1, RefreshPrinterPort());
    EXPECT_EQ(5, CurrentPrinterHandle());

    // A run that delivers nothing does not pass on the earlier run's handle, which may
    // even be another port's.
    tov.Fail("TovEnumByUNC", 0x57);
    tov.enumRecords = 0;
    platform.ClearLines();
    EXPECT_EQ(0, RefreshPrinterPort());
    EXPECT_EQ(std::vector<std::string>{"QELAPP32: TovEnumSpecificPort or TovEnumByUNC failed (0h)\n"},
              platform.Lines());
    EXPECT_EQ(1u, g_reEnumerate.load());
}

TEST_F(PortDiscovery, RunWithoutARecordKeepsTheEarlierOne)
{
    printer.SetPortValue("USB001");
    tov.hPrinter = 7;
    ASSERT_EQ(1, RefreshPrinterPort());
    const auto earlier = g_printerInfo;

    tov.enumRecords = 0;
    tov.enumMask = 0x800;
    EXPECT_EQ(1, RefreshPrinterPort()) << "the earlier handle answers";
    EXPECT_EQ(7, CurrentPrinterHandle());
    EXPECT_EQ(earlier, g_printerInfo);

    tov.enumMask = 0x01;
    EXPECT_EQ(0, RefreshPrinterPort());
    EXPECT_EQ(7, CurrentPrinterHandle()) << "a failed run does not clear the record";
}

TEST_F(PortDiscovery, MissingPortValueLogsTheBufferAsItStandsAndChangesNothing)
{
    printer.SetPortValue("USB001");
    ASSERT_EQ(1, RefreshPrinterPort());
    g_reEnumerate = 0;
    tov.ResetCalls();

    printer.DeletePortValue();
    EXPECT_EQ(0, RefreshPrinterPort());
    EXPECT_EQ(std::vector<std::string>{"QELAPP32: GetPrinterRegistryString(" + printer.Name() +
                                       ", QelApp32PortName, USB001, 260) failed.\n"},
              platform.Lines());
    EXPECT_EQ(0u, g_reEnumerate.load());
    EXPECT_EQ(kPortUsb, g_portType.load());
    EXPECT_EQ(5, CurrentPrinterHandle());
    EXPECT_STREQ("USB001", g_portName);
    EXPECT_TRUE(tov.Calls().empty());
}

TEST_F(PortDiscovery, MissingOrUnreachablePrinterKeyFailsTheSameWay)
{
    const std::string missing = UniquePrinterName("h4-nokey");
    const std::string tooLong(230, 'n'); // the key path would not fit its 260 bytes
    for (const std::string &name : {missing, tooLong}) {
        g_printerName = name.c_str();
        platform.ClearLines();
        EXPECT_EQ(0, RefreshPrinterPort());
        EXPECT_EQ(std::vector<std::string>{"QELAPP32: GetPrinterRegistryString(" + name +
                                           ", QelApp32PortName, , 260) failed.\n"},
                  platform.Lines());
        EXPECT_EQ(1u, g_reEnumerate.load());
        EXPECT_EQ(kPortUnknown, g_portType.load());
    }
    EXPECT_TRUE(tov.Calls().empty());
    HKEY phantom = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, PrinterKeyPath(missing).c_str(), 0, KEY_READ, &phantom))
        << "the read created the printer's key";
    RegCloseKey(phantom);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, PrinterKeyPath(missing).c_str());
}

TEST_F(PortDiscovery, PortValueTooLongForTheBufferIsRefusedAndNeverOverrun)
{
    printer.SetPortValue("USB001");
    ASSERT_EQ(1, RefreshPrinterPort());
    platform.ClearLines();

    printer.SetPortValue(std::string(300, 'P')); // 301 bytes with the terminator
    EXPECT_EQ(0, RefreshPrinterPort());
    ASSERT_EQ(1u, platform.Lines().size());
    const std::string line = platform.Lines()[0];
    const std::string head = "QELAPP32: GetPrinterRegistryString(" + printer.Name() + ", QelApp32PortName, ";
    const std::string tail = ", 301) failed.\n";
    ASSERT_EQ(head, line.substr(0, head.size()));
    ASSERT_EQ(tail, line.substr(line.size() - tail.size()));
    EXPECT_LE(line.size() - head.size() - tail.size(), 259u) << "the shown buffer ends inside its 260 bytes";
    EXPECT_STREQ("USB001", g_portName) << "a refused read does not replace the known port";
}

TEST_F(PortDiscovery, PortValueOfAnyTypeIsTerminatedInsideTheBuffer)
{
    struct Case {
        DWORD type;
        std::string bytes;
        std::string port;
    };
    const DWORD usbAsNumber = 0x00425355; // the bytes 'U' 'S' 'B' 0: the type is not checked
    const Case cases[] = {
        {REG_BINARY, "USB" + std::string(257, 'x'), "USB" + std::string(256, 'x')}, // 260 bytes, no NUL
        {REG_BINARY, "USB9", "USB9"}, // shorter, no NUL: the longer name's tail is not picked up
        {REG_DWORD, std::string(reinterpret_cast<const char *>(&usbAsNumber), 4), "USB"},
    };
    for (const Case &c : cases) {
        WriteRawPort(printer.Name(), c.type, c.bytes);
        tov.ResetCalls();
        EXPECT_EQ(1, RefreshPrinterPort());
        EXPECT_EQ(c.port, std::string(g_portName));
        ASSERT_EQ(1u, tov.Calls().size());
        EXPECT_EQ(c.port, tov.Calls()[0].args[2]);
        EXPECT_EQ(kPortUsb, g_portType.load());
    }
}

namespace {

std::string g_nameAfterCallback;

// Delivers a record whose remoteName is garbage, then reads its name argument again,
// as a library that still works with the name after the callback would.
DWORD WINAPI OverwritingEnumByUnc(WORD, DWORD, LPCSTR remoteName, TOVENUMPROC callback)
{
    auto record = MakeRecord(9, 1, 'Z');
    record[kPrinterInfoSize - 1] = 0;
    callback(record.data());
    g_nameAfterCallback = remoteName;
    return 0;
}

} // namespace

TEST_F(PortDiscovery, NameForTheUncEnumerationSurvivesTheCallbacksCopy)
{
    printer.SetPortValue("\\\\server\\printer");
    g_tov.TovEnumByUNC = OverwritingEnumByUnc;
    g_nameAfterCallback.clear();
    EXPECT_EQ(1, RefreshPrinterPort());
    EXPECT_EQ("\\\\server\\printer", g_nameAfterCallback);
    EXPECT_EQ(9, CurrentPrinterHandle());
    EXPECT_EQ('Z', g_printerInfo[kPrinterInfoRemoteNameOffset]) << "the record stays as delivered";
}

// 1124 answers the handle and the flag bit of one record, even while another thread's
// enumeration delivers another.
TEST_F(PortDiscovery, HandleAndFlagBitAreReadFromOneRecord)
{
    std::array<BYTE, kPrinterInfoSize> first{};
    std::array<BYTE, kPrinterInfoSize> second{};
    first[kPrinterInfoHandleOffset] = 1;
    first[kPrinterInfoFlagsOffset] = 1;
    second[kPrinterInfoHandleOffset] = 2;
    std::atomic<bool> stop{false};
    std::thread deliverer([&] {
        while (!stop) {
            EnumPrinterCallback(first.data());
            EnumPrinterCallback(second.data());
        }
    });
    int mixed = 0;
    for (int i = 0; i < 200000; ++i) {
        const DWORD answer = CurrentHandleAndFlagBit();
        if (answer != 0x00010001u && answer != 0x00020000u && answer != 0)
            ++mixed;
    }
    stop = true;
    deliverer.join();
    EXPECT_EQ(0, mixed);
}

TEST_F(PortDiscovery, CallbackKeepsTheLastRecordWholeAndMirrorsIt)
{
    EXPECT_EQ(TRUE, EnumPrinterCallback(nullptr));
    EXPECT_EQ(0, CurrentPrinterHandle());

    const auto first = MakeRecord(0x0102, 0x01, 0x11);
    const auto second = MakeRecord(0xFFFE, 0xFE, 0x22);
    EXPECT_EQ(TRUE, EnumPrinterCallback(const_cast<BYTE *>(first.data())));
    EXPECT_EQ(first, g_printerInfo);
    EXPECT_EQ(0x0102, CurrentPrinterHandle());
    EXPECT_EQ(0x01, g_printerFlags.load());

    EXPECT_EQ(TRUE, EnumPrinterCallback(const_cast<BYTE *>(second.data())));
    EXPECT_EQ(second, g_printerInfo);
    EXPECT_EQ(0xFFFE, CurrentPrinterHandle());
    EXPECT_EQ(0xFE, g_printerFlags.load());

    EXPECT_EQ(TRUE, EnumPrinterCallback(nullptr));
    EXPECT_EQ(second, g_printerInfo) << "a null record changes nothing";
}
