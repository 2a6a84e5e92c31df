#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data_path_fixture.h"
#include "datapath/file_sender.h"
#include "sender_directory.h"

namespace {

const std::vector<std::string> kOpening = {"TovSetJobCancelMode(1, 5, 1)", "TovSetEndOfJobMode(1, 5, 4, 1, 20)",
                                           "TovStartDoc(5, 0, 0)", "TovOpen(1, 5, 20)"};
const std::vector<std::string> kRestoreModes = {"TovSetJobControlMode(1, 5, 1, 0)", "TovSetJobCancelMode(1, 5, 0)",
                                                "TovSetEndOfJobMode(1, 5, 1, 1, 20)"};
const char kStartDocHex[] = "a50006400500000000";
const char kEndDocHex[] = "a50006400501000001";

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

DWORD Send(const char *name)
{
    return SendFileToPrinter(const_cast<char *>(name));
}

class FileSender : public DataPathTest {
protected:
    void SetUp() override
    {
        DataPathTest::SetUp();
        tov.onCall = nullptr;
    }

    std::vector<std::string> ClosingCalls() const
    {
        return Concat({{"TovClose(1, 5)", "TovEndDoc(5, 0)"}, kRestoreModes});
    }

    // The offered and accepted counts of every data write, as "offered/accepted".
    std::vector<std::string> Offers(const char *entryPoint, size_t countArg) const
    {
        std::vector<std::string> offers;
        for (const SimCall &call : tov.CallsNamed(entryPoint))
            offers.push_back(call.args[countArg] + "/" + call.args[countArg + 1]);
        return offers;
    }

    SenderDirectory directory{platform};
};

// A library that reports more bytes taken than it was offered, and keeps what it got.
DWORD WINAPI OverclaimingWrite(WORD, WORD, DWORD, const BYTE *data, DWORD *count, DWORD)
{
    FakeTov::Current().written.append(reinterpret_cast<const char *>(data), *count);
    *count += 10;
    return 0;
}

} // namespace

TEST_F(FileSender, EmptyFileBracketsANothingAndPauses)
{
    directory.Put("empty.bin", "");
    EXPECT_EQ(0u, Send("empty.bin"));
    EXPECT_EQ(Concat({kOpening, ClosingCalls()}), CallTextList());
    EXPECT_EQ(std::vector<DWORD>{500}, platform.Sleeps());
    EXPECT_TRUE(platform.Lines().empty());
}

TEST_F(FileSender, SendsEveryByteInBlocksAndPausesOnlyBelowTwoBlocks)
{
    struct Case {
        size_t size;
        std::vector<std::string> offers;
        bool pause;
    };
    const Case cases[] = {
        {1, {"1/1"}, true},
        {4096, {"4096/4096"}, true},
        {4097, {"4096/4096", "1/1"}, false},
        {10000, {"4096/4096", "4096/4096", "1808/1808"}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        tov.ResetCalls();
        tov.written.clear();
        const size_t sleptBefore = platform.Sleeps().size();
        const std::string bytes = PatternBytes(c.size);
        directory.Put("data.bin", bytes);
        EXPECT_EQ(0u, Send("data.bin"));
        EXPECT_EQ(c.offers, Offers("TovWrite", 3));
        EXPECT_TRUE(tov.written == bytes);
        EXPECT_EQ(c.pause ? 1u : 0u, platform.Sleeps().size() - sleptBefore);
        const std::vector<std::string> calls = CallTextList();
        ASSERT_GE(calls.size(), 9u);
        EXPECT_EQ(0u, calls[4].find("TovWrite(1, 5, 0, ")) << calls[4];
        EXPECT_EQ("1", tov.CallsNamed("TovWrite")[0].args[5]);
        EXPECT_EQ(ClosingCalls(), std::vector<std::string>(calls.end() - 5, calls.end()));
    }
}

TEST_F(FileSender, PartlyAcceptedBlocksAreOfferedAgainSoEveryByteArrivesOnceInOrder)
{
    tov.writeMax = 1000;
    const std::string bytes = PatternBytes(10000);
    directory.Put("partial.bin", bytes);
    EXPECT_EQ(0u, Send("partial.bin"));
    EXPECT_EQ((std::vector<std::string>{"4096/1000", "4096/1000", "4096/1000", "4096/1000", "4096/1000", "4096/1000",
                                        "4000/1000", "3000/1000", "2000/1000", "1000/1000"}),
              Offers("TovWrite", 3));
    EXPECT_TRUE(tov.written == bytes);
    EXPECT_TRUE(platform.Sleeps().empty());
}

TEST_F(FileSender, LibraryClaimingMoreThanOfferedMakesTheSenderSkipNothing)
{
    g_tov.TovWrite = OverclaimingWrite;
    const std::string bytes = PatternBytes(9000);
    directory.Put("claim.bin", bytes);
    EXPECT_EQ(0u, Send("claim.bin"));
    EXPECT_TRUE(tov.written == bytes) << tov.written.size();
}

TEST_F(FileSender, BlockThatIsNeverAcceptedIsOfferedAgainUntilCancelled)
{
    tov.writeMax = 0;
    int writes = 0;
    tov.onCall = [&writes](const std::string &name) {
        if (name == "TovWrite" && ++writes == 5)
            g_senderCancel = 1;
    };
    const std::string bytes = PatternBytes(5000);
    directory.Put("stuck.bin", bytes);
    EXPECT_EQ(0u, Send("stuck.bin"));
    const auto writesMade = tov.CallsNamed("TovWrite");
    ASSERT_EQ(5u, writesMade.size());
    for (const SimCall &call : writesMade) {
        EXPECT_EQ("4096", call.args[3]);
        EXPECT_EQ(ToHex(bytes.data(), 64), call.args[6]) << "the same head every time";
    }
    const std::vector<std::string> calls = CallTextList();
    EXPECT_EQ(ClosingCalls(), std::vector<std::string>(calls.end() - 5, calls.end())) << "closing steps still run";
    EXPECT_EQ(std::vector<DWORD>(5, kSenderReofferPauseMs), platform.Sleeps()) << "each offer again after a pause";
}

TEST_F(FileSender, CancelBeforeTheFirstBlockWritesNothingButCloses)
{
    g_senderCancel = 1;
    directory.Put("cancel.bin", PatternBytes(100));
    EXPECT_EQ(0u, Send("cancel.bin"));
    EXPECT_EQ(Concat({kOpening, ClosingCalls()}), CallTextList());
    EXPECT_EQ(std::vector<DWORD>{500}, platform.Sleeps());
}

TEST_F(FileSender, FailedStartDocEndsTheRunAfterRestoringTheModes)
{
    tov.Fail("TovStartDoc", 0x57);
    directory.Put("doc.bin", PatternBytes(100));
    EXPECT_EQ(0u, Send("doc.bin"));
    EXPECT_EQ(Concat({{"TovSetJobCancelMode(1, 5, 1)", "TovSetEndOfJobMode(1, 5, 4, 1, 20)", "TovStartDoc(5, 0, 0)"},
                      kRestoreModes}),
              CallTextList());
    EXPECT_EQ(std::vector<std::string>{"QELAPP32: SendFileToPrinter:  TovStartDoc failed (57h)\n"}, platform.Lines());
    EXPECT_TRUE(platform.Sleeps().empty());
}

TEST_F(FileSender, ChannelFailuresAreLoggedAndTheFileStillGoesOut)
{
    g_appId = 0xFFFF;
    g_hPrinter = 0xFFFF;
    for (const char *name : {"TovOpen", "TovClose", "TovEndDoc"})
        tov.Fail(name, 0x57);
    directory.Put("doc.bin", PatternBytes(100));
    EXPECT_EQ(0u, Send("doc.bin"));
    EXPECT_EQ(1u, tov.CallsNamed("TovWrite").size());
    EXPECT_EQ(3u, tov.CallsNamed("TovSetEndOfJobMode").size() + tov.CallsNamed("TovSetJobControlMode").size());
    EXPECT_EQ((std::vector<std::string>{"QELAPP32: SendFileToPrinter: TovOpen(-1, 65535, 20) failed (57h)\n",
                                        "QELAPP32: SendFileToPrinter: TovClose(-1, 65535) failed (57h)\n",
                                        "QELAPP32: SendFileToPrinter:  TovEndDoc failed (57h)\n"}),
              platform.Lines());
}

TEST_F(FileSender, FailedDataWriteClosesTheDocumentAndEndsAsFailed)
{
    tov.Fail("TovWrite", 0x1F);
    directory.Put("doc.bin", PatternBytes(10000));
    EXPECT_EQ(0x1Fu, Send("doc.bin"));
    std::vector<std::string> calls = CallTextList();
    ASSERT_EQ(kOpening.size() + 1 + ClosingCalls().size(), calls.size()) << "one write, then the closing steps";
    EXPECT_EQ(0u, calls[kOpening.size()].rfind("TovWrite(", 0));
    calls.erase(calls.begin() + kOpening.size());
    EXPECT_EQ(Concat({kOpening, ClosingCalls()}), calls);
    EXPECT_EQ(std::vector<std::string>{"QELAPP32: SendFileToPrinter:  TovWrite failed (1Fh)\n"}, platform.Lines());
}

TEST_F(FileSender, NonBidirectionalRoadWritesRawDataBetweenTheDocumentPackets)
{
    g_nonBidiMode = 1;
    std::strcpy(g_portName, "LPT1:");
    tov.writeMax = 3000;
    const std::string bytes = PatternBytes(5000);
    directory.Put("raw.bin", bytes);
    EXPECT_EQ(0u, Send("raw.bin"));
    EXPECT_EQ((std::vector<std::string>{"9/9", "4096/3000", "2000/2000", "9/9"}), Offers("TovWriteUNI", 1));
    const auto writes = tov.CallsNamed("TovWriteUNI");
    ASSERT_EQ(4u, writes.size());
    EXPECT_EQ("LPT1:", writes[0].args[0]);
    EXPECT_EQ(kStartDocHex, writes[0].args[3]);
    EXPECT_EQ(kEndDocHex, writes[3].args[3]);
    EXPECT_EQ(4u, tov.Calls().size()) << "no job modes, document or channel";
    EXPECT_TRUE(tov.written == FromHex(kStartDocHex) + bytes + FromHex(kEndDocHex));
    EXPECT_TRUE(platform.Sleeps().empty());
    EXPECT_TRUE(platform.Lines().empty());

    tov.ResetCalls();
    directory.Put("none.bin", "");
    EXPECT_EQ(0u, Send("none.bin"));
    EXPECT_EQ((std::vector<std::string>{"9/9", "9/9"}), Offers("TovWriteUNI", 1));
    EXPECT_TRUE(platform.Sleeps().empty());
}

TEST_F(FileSender, NonBidirectionalResultIsTheLastFailedDataWrite)
{
    g_nonBidiMode = 1;
    std::strcpy(g_portName, "LPT1:");
    int writes = 0;
    // Start packet fine, first block 1Fh, second block 2Eh, end packet fine.
    tov.onCall = [this, &writes](const std::string &) {
        const DWORD codes[] = {0, 0x1F, 0x2E, 0};
        tov.Fail("TovWriteUNI", codes[writes++ % 4]);
    };
    directory.Put("raw.bin", PatternBytes(5000));
    EXPECT_EQ(0x2Eu, Send("raw.bin"));
    EXPECT_EQ((std::vector<std::string>{"QELAPP32: SendFileToPrinter:  TovWriteUNI failed (1Fh)\n",
                                        "QELAPP32: SendFileToPrinter:  TovWriteUNI failed (2Eh)\n"}),
              platform.Lines());

    struct Case {
        DWORD code;
        DWORD result;
    };
    // STILL_ACTIVE as an exit code would read as a sender that never ends.
    for (const Case &c : {Case{0x57, 0x57}, Case{STILL_ACTIVE, 0xFFFFFFFF}}) {
        tov.onCall = nullptr;
        platform.ClearLines();
        tov.Fail("TovWriteUNI", c.code);
        EXPECT_EQ(c.result, Send("raw.bin"));
        char code[16];
        wsprintfA(code, "%Xh)\n", c.code);
        EXPECT_EQ(
            (std::vector<std::string>{"QELAPP32: SendFileToPrinter: TovWriteUNI StartDoc failed (" + std::string(code),
                                      "QELAPP32: SendFileToPrinter:  TovWriteUNI failed (" + std::string(code),
                                      "QELAPP32: SendFileToPrinter:  TovWriteUNI failed (" + std::string(code),
                                      "QELAPP32: SendFileToPrinter: TovWriteUNI EndDoc failed (" + std::string(code)}),
            platform.Lines());
    }
}

TEST_F(FileSender, PreparationFailuresEndQuietlyBeforeAnyLibraryCall)
{
    directory.Put("here.bin", "x");
    const std::string fits(99 - directory.Path().size() - 1, 'n');
    directory.Put(fits, "x");
    EXPECT_EQ(0u, Send("missing.bin"));
    EXPECT_EQ(0u, Send((fits + "n").c_str())) << "one character too many for the path buffer";
    const std::string path = directory.Path();
    for (UINT answer : {0u, 101u, 150u}) {
        platform.systemDirectory = [answer](LPSTR buffer, UINT) -> UINT {
            std::strcpy(buffer, "C:\\x");
            return answer;
        };
        EXPECT_EQ(0u, Send("here.bin")) << answer;
    }
    EXPECT_TRUE(tov.Calls().empty());
    EXPECT_TRUE(platform.Lines().empty());

    platform.systemDirectory = [path](LPSTR buffer, UINT) -> UINT {
        std::strcpy(buffer, path.c_str());
        return static_cast<UINT>(path.size());
    };
    EXPECT_EQ(0u, Send(fits.c_str()));
    EXPECT_EQ(1u, tov.CallsNamed("TovWrite").size()) << "a name that just fits is sent";
}

TEST_F(FileSender, AcceptsOnlyNamesBelowTheSystemDirectory)
{
    struct Case {
        std::string name;
        bool sendable;
    };
    const Case cases[] = {
        {"file.bin", true},
        {"sub\\file.bin", true},
        {"sub/file.bin", true},
        {"..file", true},
        {"a..b", true},
        {".", true},
        {"", false},
        {"\\file.bin", false},
        {"/file.bin", false},
        {"\\\\server\\share\\f", false},
        {"C:\\file.bin", false},
        {"C:file.bin", false},
        {"file.bin:stream", false},
        {"..", false},
        {"..\\file.bin", false},
        {"sub\\..\\..\\f", false},
        {"sub/../f", false},
        {"sub\\..", false},
        {"...\\f", false},
        {".. \\f", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.sendable, IsSendableFileName(c.name.c_str())) << c.name;
    const size_t room = kSenderPathSize - directory.Path().size() - 2;
    EXPECT_TRUE(IsSendableFileName(std::string(room, 'a').c_str()));
    EXPECT_FALSE(IsSendableFileName(std::string(room + 1, 'a').c_str()));
}
