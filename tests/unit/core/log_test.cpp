#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "platform_recorder.h"

TEST(LogError, WritesPrefixedLineWithItsOwnLineFeed)
{
    PlatformRecorder platform;
    LogError("WinMain: StatusThread failed\n");
    ASSERT_EQ(1u, platform.Lines().size());
    EXPECT_EQ("QELAPP32: WinMain: StatusThread failed\n", platform.Lines()[0]);
}

TEST(LogError, PrintsCodesInUpperCaseHexWithoutLeadingZeros)
{
    struct Case {
        DWORD code;
        const char *expected;
    };
    const Case cases[] = {
        {0x1F, "QELAPP32: WriteThread: TovStartDoc failed (1Fh)\n"},
        {0xABCDEF01, "QELAPP32: WriteThread: TovStartDoc failed (ABCDEF01h)\n"},
        {0, "QELAPP32: WriteThread: TovStartDoc failed (0h)\n"},
    };
    for (const Case &c : cases) {
        PlatformRecorder platform;
        LogError("WriteThread: TovStartDoc failed (%Xh)\n", c.code);
        ASSERT_EQ(1u, platform.Lines().size());
        EXPECT_EQ(c.expected, platform.Lines()[0]);
    }
}

TEST(LogError, CutsAnOverlongTextToTheLineAndKeepsTheLineFeed)
{
    PlatformRecorder platform;
    const std::string huge(5000, 'x');
    LogError("%s\n", huge.c_str());
    ASSERT_EQ(1u, platform.Lines().size());
    const std::string line = platform.Lines()[0];
    EXPECT_EQ(static_cast<size_t>(kLogLineSize - 1), line.size());
    EXPECT_EQ(0u, line.find("QELAPP32: xxx"));
    EXPECT_EQ('\n', line.back());
}

TEST(Trace, ProducesNoOutput)
{
    PlatformRecorder platform;
    Trace("WinMain: Starting QelApp32\n");
    TraceLine(1, "QELAPP32: Version x.xx\n");
    TraceDump("abc", 3);
    EXPECT_TRUE(platform.Lines().empty());
}
