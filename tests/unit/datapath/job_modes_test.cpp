#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_path_fixture.h"
#include "datapath/job_modes.h"

using JobModes = DataPathTest;

TEST_F(JobModes, ResetSwitchesCancelAndEndOfJobForTheRoad)
{
    EXPECT_EQ(1, ResetQELModes(3, 9, 1));
    EXPECT_EQ(1, ResetQELModes(3, 9, 0));
    EXPECT_EQ((std::vector<std::string>{"TovSetJobCancelMode(3, 9, 1)", "TovSetEndOfJobMode(3, 9, 4, 1, 20)",
                                        "TovSetJobCancelMode(3, 9, 1)", "TovSetEndOfJobMode(3, 9, 1, 1, 20)"}),
              CallTextList())
        << "without the bidirectional road the end-of-job mode is the one SetQELModes leaves";
    EXPECT_TRUE(platform.Lines().empty());
}

TEST_F(JobModes, SetRestoresAllThreeModes)
{
    EXPECT_EQ(1, SetQELModes(0xFFFF, 0x8001));
    EXPECT_EQ(
        (std::vector<std::string>{"TovSetJobControlMode(65535, 32769, 1, 0)", "TovSetJobCancelMode(65535, 32769, 0)",
                                  "TovSetEndOfJobMode(65535, 32769, 1, 1, 20)"}),
        CallTextList());
}

TEST_F(JobModes, EachFailureIsLoggedAndTheOtherCallsStillRun)
{
    struct Case {
        std::vector<std::string> failing;
        bool reset; // ResetQELModes, else SetQELModes
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {{"TovSetJobCancelMode"}, true, {"QELAPP32: ResetQELModes: TovSetJobCancelMode failed (57h)\n"}},
        {{"TovSetEndOfJobMode"}, true, {"QELAPP32: ResetQELModes: TovSetEndOfJobMode failed (57h)\n"}},
        {{"TovSetJobControlMode"}, false, {"QELAPP32: SetQELModes: TovSetJobControlMode failed (57h)\n"}},
        {{"TovSetJobCancelMode"}, false, {"QELAPP32: SetQELModes: TovSetJobCancelMode failed (57h)\n"}},
        {{"TovSetEndOfJobMode"}, false, {"QELAPP32: SetQELModes: TovSetEndOfJobMode failed (57h)\n"}},
        {{"TovSetJobControlMode", "TovSetJobCancelMode", "TovSetEndOfJobMode"},
         false,
         {"QELAPP32: SetQELModes: TovSetJobControlMode failed (57h)\n",
          "QELAPP32: SetQELModes: TovSetJobCancelMode failed (57h)\n",
          "QELAPP32: SetQELModes: TovSetEndOfJobMode failed (57h)\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lines.front());
        tov.ResetCalls();
        platform.ClearLines();
        for (const std::string &name : c.failing)
            tov.Fail(name, 0x57);
        EXPECT_EQ(0, c.reset ? ResetQELModes(1, 5, 1) : SetQELModes(1, 5));
        EXPECT_EQ(c.reset ? 2u : 3u, tov.Calls().size()) << "no call is skipped after a failure";
        EXPECT_EQ(c.lines, platform.Lines());
        for (const std::string &name : c.failing)
            tov.Fail(name, 0);
    }
}
