// Packets, documents and files on their way to the printer through the real program and
// the simulated library, seen from a separate client process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qelapp32/qelclient.h"
#include "support/test_files.h"
#include "support/test_instance.h"

namespace {

constexpr DWORD kWaitMs = 10000;
constexpr LPARAM kUnmapped = 0x10;
const char kStartDocHex[] = "a50006400500000000";
const char kEndDocHex[] = "a50006400501000001";

std::string Hex(const std::string &bytes)
{
    return ToHex(bytes.data(), bytes.size());
}

std::vector<std::string> TextsFrom(const std::vector<SimCall> &calls, const std::string &firstName)
{
    std::vector<std::string> texts;
    bool started = false;
    for (const SimCall &call : calls) {
        started = started || call.name == firstName;
        if (started)
            texts.push_back(FormatCall(call));
    }
    return texts;
}

std::string AddressText(LPARAM address)
{
    char text[16];
    wsprintfA(text, "%lXh", static_cast<unsigned long>(address));
    return text;
}

class DataPathE2E : public ::testing::Test {
protected:
    // Starts the instance and lets it find its printer, so hPrinter is the sim's 5.
    void StartAndFindPrinter(DWORD expectedEnumAnswer = 0x00050001)
    {
        ASSERT_TRUE(instance.Start());
        ASSERT_EQ(expectedEnumAnswer, static_cast<DWORD>(instance.Send(WM_QELAPP32_ENUMPRINTER)));
    }

    // The raw answers, through the client library.
    LRESULT Write(const std::string &packet, WORD tag)
    {
        DWORD_PTR answer = 0xBADBAD;
        QelWrite(instance.Client(), tag, packet.data(), static_cast<DWORD>(packet.size()), kWaitMs, &answer);
        return static_cast<LRESULT>(answer);
    }

    std::string Read(LRESULT *answer = nullptr)
    {
        std::string bytes(QEL_MAX_MESSAGE_LENGTH, '\0');
        DWORD length = 0;
        DWORD_PTR raw = 0xBADBAD;
        QelRead(instance.Client(), &bytes[0], QEL_MAX_MESSAGE_LENGTH, &length, kWaitMs, &raw);
        if (answer != nullptr)
            *answer = static_cast<LRESULT>(raw);
        bytes.resize(length < bytes.size() ? length : bytes.size());
        return bytes;
    }

    LRESULT SendFile(UINT message, const std::string &name)
    {
        DWORD_PTR answer = 0xBADBAD;
        QelSendFile(instance.Client(), message, name.c_str(), kWaitMs, &answer);
        return static_cast<LRESULT>(answer);
    }

    // The sender's end is seen only through the status query; it is asked every 20 ms.
    bool WaitForSenderToEnd()
    {
        const ULONGLONG deadline = GetTickCount64() + kWaitMs;
        while (instance.Send(WM_QELAPP32_SENDFILE, 0, 0) != 0) {
            if (GetTickCount64() > deadline)
                return false;
            Sleep(20);
        }
        return true;
    }

    TestInstance instance{"LPT1:", "h3"};
};

} // namespace

TEST_F(DataPathE2E, PacketRoundTripReturnsThePrintersReply)
{
    StartAndFindPrinter();
    EXPECT_EQ(0, Write(std::string("\xA5\x00\x02\x10\x20", 5), 5));
    instance.Sim().Set("bidi_reply", "a5 00 03 51 f0 7e");
    EXPECT_EQ(0, Write(std::string("\xA5\x00\x01\x42", 4), 5));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_ENDDOC, QEL_MAKE_WPARAM(5, 0)));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovSetJobControlMode", 1, kWaitMs));

    EXPECT_EQ("a500021020", Hex(Read())) << "the simulated printer echoes";
    EXPECT_EQ("a5000351f07e", Hex(Read()));
    LRESULT answer = -1;
    Read(&answer);
    EXPECT_EQ(0, answer) << "nothing more";
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST_F(DataPathE2E, DocumentRequestsKeepTheirPlaceAmongThePackets)
{
    StartAndFindPrinter();
    EXPECT_EQ(0, Write(std::string(1, '\x01'), 9));
    EXPECT_EQ(0, Write(std::string("\xA5\x00\x01\x42", 4), 9));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_ENDDOC, QEL_MAKE_WPARAM(9, 0)));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovSetEndOfJobMode", 2, kWaitMs));
    EXPECT_EQ((std::vector<std::string>{"TovSetJobCancelMode(1, 5, 1)", "TovSetEndOfJobMode(1, 5, 4, 1, 20)",
                                        "TovStartDoc(9, 0, 0)", "TovSendBidi(1, 9, 0, 170, 1024, a5000142, 4)",
                                        "TovEndDoc(5, 0)", "TovSetJobControlMode(1, 5, 1, 0)",
                                        "TovSetJobCancelMode(1, 5, 0)", "TovSetEndOfJobMode(1, 5, 1, 1, 20)"}),
              TextsFrom(instance.Sim().Calls(), "TovSetJobCancelMode"));

    // The direct start, and the channel messages, on the instance's own printer.
    instance.Sim().ResetCalls();
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_STARTDOC, QEL_MAKE_WPARAM(7, 0)));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_OPEN));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_CLOSE));
    EXPECT_EQ((std::vector<std::string>{"TovSetJobCancelMode(1, 5, 1)", "TovSetEndOfJobMode(1, 5, 4, 1, 20)",
                                        "TovStartDoc(7, 0, 0)", "TovOpen(1, 5, 20)", "TovClose(1, 5)"}),
              TextsFrom(instance.Sim().Calls(), "TovSetJobCancelMode"));

    instance.Sim().Set("fail.TovOpen", "0x57");
    instance.Sim().Set("fail.TovStartDoc", "0x58");
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_OPEN));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_STARTDOC, QEL_MAKE_WPARAM(7, 0)));
    EXPECT_TRUE(
        instance.Process().WaitForLogLine("QELAPP32: WM_QELAPP32_OPEN: TovOpen(1, 5, 20) failed (57h)\n", 2000));
    EXPECT_TRUE(instance.Process().WaitForLogLine("QELAPP32: WM_QELAPP32_STARTDOC: TovStartDoc failed (58h)\n", 2000));
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST_F(DataPathE2E, FileArrivesByteForByteThroughPartialWrites)
{
    const SystemDirectoryFile file("doc", 10000);
    const std::string &bytes = file.Bytes();
    instance.Sim().Set("write_max", "1000");
    StartAndFindPrinter();
    EXPECT_EQ(1, SendFile(WM_QELAPP32_SENDFILE, file.Name()));
    ASSERT_TRUE(WaitForSenderToEnd());
    EXPECT_TRUE(instance.Sim().CaptureBytes() == bytes) << instance.Sim().CaptureBytes().size();
    const std::vector<std::string> calls = TextsFrom(instance.Sim().Calls(), "TovSetJobCancelMode");
    ASSERT_EQ(4u + 10u + 5u, calls.size()) << ::testing::PrintToString(calls);
    EXPECT_EQ((std::vector<std::string>{"TovSetJobCancelMode(1, 5, 1)", "TovSetEndOfJobMode(1, 5, 4, 1, 20)",
                                        "TovStartDoc(5, 0, 0)", "TovOpen(1, 5, 20)"}),
              std::vector<std::string>(calls.begin(), calls.begin() + 4));
    EXPECT_EQ((std::vector<std::string>{"TovClose(1, 5)", "TovEndDoc(5, 0)", "TovSetJobControlMode(1, 5, 1, 0)",
                                        "TovSetJobCancelMode(1, 5, 0)", "TovSetEndOfJobMode(1, 5, 1, 1, 20)"}),
              std::vector<std::string>(calls.end() - 5, calls.end()));
    EXPECT_EQ(10u, instance.Sim().CallsNamed("TovWrite").size());
    EXPECT_TRUE(instance.Process().LogLines().empty()) << ::testing::PrintToString(instance.Process().LogLines());
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST_F(DataPathE2E, NonBidirectionalPrinterGetsRawDataOnItsPort)
{
    const SystemDirectoryFile file("raw", 5000);
    const std::string &bytes = file.Bytes();
    ASSERT_TRUE(instance.Printer().SetDriverDword(QEL_VALUE_NON_BIDI, 1));
    // A local port in non-bidirectional mode answers -1, but its name is read.
    StartAndFindPrinter(QEL_FAILURE);
    EXPECT_EQ(1, SendFile(WM_QELAPP32_SENDFILE2, file.Name()));
    ASSERT_TRUE(WaitForSenderToEnd());
    const auto writes = instance.Sim().CallsNamed("TovWriteUNI");
    ASSERT_EQ(4u, writes.size());
    for (const SimCall &write : writes)
        EXPECT_EQ("LPT1:", write.args[0]);
    EXPECT_EQ(kStartDocHex, writes[0].args[3]);
    EXPECT_EQ(kEndDocHex, writes[3].args[3]);
    EXPECT_TRUE(instance.Sim().CaptureBytes() == FromHex(kStartDocHex) + bytes + FromHex(kEndDocHex));
    EXPECT_TRUE(instance.Sim().CallsNamed("TovStartDoc").empty());
    EXPECT_TRUE(instance.Sim().CallsNamed("TovSetJobCancelMode").empty());
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST_F(DataPathE2E, MissingFileStartsASenderThatCallsNothing)
{
    const std::string absent = "qelh3-absent-" + std::to_string(GetCurrentProcessId()) + ".bin";
    StartAndFindPrinter();
    const size_t callsBefore = instance.Sim().Calls().size();
    EXPECT_EQ(1, SendFile(WM_QELAPP32_SENDFILE, absent));
    ASSERT_TRUE(WaitForSenderToEnd());
    EXPECT_EQ(callsBefore, instance.Sim().Calls().size());
    EXPECT_TRUE(instance.Process().LogLines().empty()) << ::testing::PrintToString(instance.Process().LogLines());
    EXPECT_TRUE(instance.EndJob());
}

TEST_F(DataPathE2E, BadClientAddressesCostTheAnswerNotTheInstance)
{
    StartAndFindPrinter();
    HANDLE process = instance.Process().Process();
    RemoteMemory noAccess(process, 4096, PAGE_NOACCESS);
    RemoteMemory readOnly(process, 4096, PAGE_READONLY);
    EXPECT_EQ(0, Write(std::string("\xA5\x00\x00", 3), 5));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_ENDDOC, QEL_MAKE_WPARAM(5, 0)));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovSetJobControlMode", 1, kWaitMs));

    EXPECT_EQ(0, instance.Send(WM_QELAPP32_READ, 1024, kUnmapped));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_READ, 16, readOnly.Address()));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(5, 4), kUnmapped));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(5, 4), noAccess.Address()));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_WRITE, QEL_MAKE_WPARAM(5, 2000), kUnmapped));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_SENDFILE, 0, kUnmapped));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_SENDFILE2, 0, noAccess.Address()));
    EXPECT_EQ(0, SendFile(WM_QELAPP32_SENDFILE, "..\\win.ini"));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));

    LRESULT answer = 0;
    EXPECT_EQ("a50000", Hex(Read(&answer))) << "the reply waited for a good buffer";
    EXPECT_EQ(1u, instance.Sim().CallsNamed("TovSendBidi").size()) << "nothing bad was queued";
    const std::vector<std::string> expected = {
        "QELAPP32: WM_QELAPP32_READ: invalid buffer address 10h (1024 bytes)\n",
        "QELAPP32: WM_QELAPP32_READ: invalid buffer address " + AddressText(readOnly.Address()) + " (16 bytes)\n",
        "QELAPP32: WM_QELAPP32_WRITE: invalid message address 10h (4 bytes)\n",
        "QELAPP32: WM_QELAPP32_WRITE: invalid message address " + AddressText(noAccess.Address()) + " (4 bytes)\n",
        "QELAPP32: WM_QELAPP32_WRITE: message of 2000 bytes refused (at most 1024)\n",
        "QELAPP32: WM_QELAPP32_SENDFILE: invalid file name address 10h\n",
        "QELAPP32: WM_QELAPP32_SENDFILE2: invalid file name address " + AddressText(noAccess.Address()) + "\n",
        "QELAPP32: WM_QELAPP32_SENDFILE: file name \"..\\win.ini\" refused\n",
    };
    EXPECT_EQ(expected, instance.Process().LogLines());
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_SENDFILE, 0, 0)) << "no sender was started";
    EXPECT_TRUE(instance.EndJob());
    EXPECT_EQ(0, instance.Process().AccessViolations());
}

TEST_F(DataPathE2E, EndJobCancelsARunningSenderAndWaitsForItsClosingSteps)
{
    const SystemDirectoryFile file("slow", 20 * 4096);
    const std::string &bytes = file.Bytes();
    instance.Sim().Set("delay.TovWrite", "150");
    StartAndFindPrinter();
    EXPECT_EQ(1, SendFile(WM_QELAPP32_SENDFILE, file.Name()));
    ASSERT_TRUE(WaitForCall(instance.Sim(), "TovWrite", 2, kWaitMs));
    EXPECT_EQ(0, SendFile(WM_QELAPP32_SENDFILE2, file.Name())) << "one sender at a time";
    EXPECT_TRUE(
        instance.Process().WaitForLogLine("QELAPP32: WM_QELAPP32_SENDFILE2: a file is still being sent\n", 2000));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_SENDFILE, 0, 0));

    EXPECT_TRUE(instance.EndJob(1, MAKELPARAM(0, 5)));
    const std::vector<std::string> names = instance.Sim().CallNames();
    const size_t writes = instance.Sim().CallsNamed("TovWrite").size();
    EXPECT_LT(writes, 20u) << "cancelled before the end of the file";
    ASSERT_GE(names.size(), 6u);
    const std::vector<std::string> tail(names.end() - 6, names.end());
    EXPECT_EQ((std::vector<std::string>{"TovClose", "TovEndDoc", "TovSetJobControlMode", "TovSetJobCancelMode",
                                        "TovSetEndOfJobMode", "TovUnregisterApp"}),
              tail)
        << "the sender closed its document before the instance ended";
    EXPECT_TRUE(instance.Sim().CaptureBytes() == bytes.substr(0, writes * 4096));
    EXPECT_EQ(0, instance.Process().AccessViolations());
}
