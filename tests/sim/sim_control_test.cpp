// The helpers that product tests use to steer and observe the simulated library.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include "sim_library.h"
#include "support/sim_control.h"

namespace {

std::vector<std::string> BlockEntries(const std::vector<char> &block)
{
    std::vector<std::string> entries;
    for (size_t i = 0; i < block.size() && block[i] != '\0'; i += entries.back().size() + 1) {
        entries.emplace_back(&block[i]);
    }
    return entries;
}

std::string Upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(SimControlHex, RoundTripsBytes)
{
    const std::string bytes("\x00\x01\x7f\x80\xff", 5);
    EXPECT_EQ(ToHex(bytes.data(), bytes.size()), "00017f80ff");
    EXPECT_EQ(FromHex("00017f80ff"), bytes);
    EXPECT_EQ(FromHex("0A 0b"), "\x0a\x0b");
    EXPECT_EQ(FromHex("0a0bzz0c"), "\x0a\x0b");
}

TEST(SimControlFormat, ShowsNameAndArguments)
{
    EXPECT_EQ(FormatCall(SimCall{"TovOpen", {"1", "5", "20"}}), "TovOpen(1, 5, 20)");
    EXPECT_EQ(FormatCall(SimCall{"TovQueryPortType", {}}), "TovQueryPortType()");
}

TEST(SimPrinterFiles, LivesInAFreshFolderThatIsRemovedAfterwards)
{
    std::string config;
    {
        SimPrinter first;
        SimPrinter second;
        config = first.ConfigPath();
        EXPECT_NE(first.ConfigPath(), second.ConfigPath());
        for (const std::string &path : {first.ConfigPath(), first.LogPath(), first.CapturePath(), first.StorePath()}) {
            EXPECT_TRUE(FileExists(path)) << path;
        }
        EXPECT_TRUE(first.Calls().empty());
        EXPECT_TRUE(first.CaptureBytes().empty());
    }
    EXPECT_FALSE(FileExists(config));
}

TEST(SimPrinterSettings, WritesKeysToSectionSim)
{
    SimPrinter sim;
    sim.Set("write_max", "4");
    char value[32] = {};
    GetPrivateProfileStringA("sim", "write_max", "", value, sizeof(value), sim.ConfigPath().c_str());
    EXPECT_STREQ(value, "4");
    sim.Clear("write_max");
    GetPrivateProfileStringA("sim", "write_max", "absent", value, sizeof(value), sim.ConfigPath().c_str());
    EXPECT_STREQ(value, "absent");
}

TEST(SimPrinterEnvironment, BlockIsSortedAndPointsAtTheFiles)
{
    SimPrinter sim;
    SetEnvironmentVariableA("QRMTOV_SIM_LOG", "stale");
    const std::vector<char> block = sim.EnvironmentBlock();
    ASSERT_GE(block.size(), 2u);
    EXPECT_EQ(block[block.size() - 1], '\0');
    EXPECT_EQ(block[block.size() - 2], '\0');
    const std::vector<std::string> entries = BlockEntries(block);
    int own = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) {
            const std::string previous = Upper(entries[i - 1].substr(0, entries[i - 1].find('=', 1)));
            const std::string current = Upper(entries[i].substr(0, entries[i].find('=', 1)));
            EXPECT_LE(previous, current);
        }
        if (entries[i].rfind("QRMTOV_SIM_", 0) == 0)
            ++own;
    }
    EXPECT_EQ(own, 4);
    const std::vector<std::string> expected = {
        "QRMTOV_SIM_CAPTURE=" + sim.CapturePath(),
        "QRMTOV_SIM_CONFIG=" + sim.ConfigPath(),
        "QRMTOV_SIM_LOG=" + sim.LogPath(),
        "QRMTOV_SIM_STORE=" + sim.StorePath(),
    };
    for (const std::string &entry : expected) {
        EXPECT_NE(std::find(entries.begin(), entries.end(), entry), entries.end()) << entry;
    }
}

// Without records the library is pointed at no call log and no capture file, even when
// this process has stale ones in its own environment.
TEST(SimPrinterEnvironment, DroppedRecordsLeaveTheBlock)
{
    SimPrinter sim;
    sim.DropRecords();
    SetEnvironmentVariableA("QRMTOV_SIM_LOG", "stale");
    std::vector<std::string> own;
    for (const std::string &entry : BlockEntries(sim.EnvironmentBlock())) {
        if (entry.rfind("QRMTOV_SIM_", 0) == 0)
            own.push_back(entry);
    }
    EXPECT_EQ(own, (std::vector<std::string>{"QRMTOV_SIM_CONFIG=" + sim.ConfigPath(),
                                             "QRMTOV_SIM_STORE=" + sim.StorePath()}));
}

// A child started with the block sees the variables (cmd.exe writes them to a file).
TEST(SimPrinterEnvironment, ChildProcessSeesTheBlock)
{
    SimPrinter sim;
    const std::string output = sim.CapturePath() + ".env";
    std::string commandLine = "cmd.exe /c echo %QRMTOV_SIM_LOG%>\"" + output + "\"";
    std::vector<char> block = sim.EnvironmentBlock();
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, block.data(),
                               nullptr, &startup, &process));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const std::string echoed = ReadWholeFile(output);
    EXPECT_EQ(echoed.substr(0, echoed.find_first_of("\r\n")), sim.LogPath());
}

TEST(SimPrinterEnvironment, AppliesToThisProcess)
{
    SimPrinter sim;
    sim.ApplyToThisProcess();
    char value[MAX_PATH] = {};
    GetEnvironmentVariableA("QRMTOV_SIM_STORE", value, sizeof(value));
    EXPECT_EQ(std::string(value), sim.StorePath());
}

class SimPrinterLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_.ApplyToThisProcess();
        ping_ = library_.Get<TovPingFn>("TovPing");
        close_ = library_.Get<TovCloseFn>("TovClose");
        ASSERT_NE(ping_, nullptr);
        ASSERT_NE(close_, nullptr);
    }

    SimPrinter sim_;
    SimLibrary library_;
    TovPingFn ping_ = nullptr;
    TovCloseFn close_ = nullptr;
};

TEST_F(SimPrinterLog, ReadsNamesAndArguments)
{
    ping_(0);
    close_(2, 5);
    ping_(0);
    EXPECT_EQ(sim_.CallNames(), (std::vector<std::string>{"TovPing", "TovClose", "TovPing"}));
    const std::vector<SimCall> closes = sim_.CallsNamed("TovClose");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].args, (std::vector<std::string>{"2", "5"}));
    EXPECT_EQ(sim_.CallsNamed("TovPing").size(), 2u);
}

TEST_F(SimPrinterLog, ResetStartsAnEmptyLog)
{
    ping_(0);
    sim_.ResetCalls();
    EXPECT_TRUE(sim_.Calls().empty());
    close_(1, 5);
    EXPECT_EQ(sim_.CallNames(), std::vector<std::string>{"TovClose"});
}

TEST_F(SimPrinterLog, WaitForCallSeesCallsFromAnotherThread)
{
    EXPECT_FALSE(WaitForCall(sim_, "TovPing", 1, 30));
    std::thread caller([this] { ping_(0); });
    EXPECT_TRUE(WaitForCall(sim_, "TovPing", 1, 5000));
    caller.join();
}

} // namespace
