#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/command_line.h"
#include "core/instance_names.h"
#include "core/instance_state.h"
#include "qelapp32/client.h"

TEST(ParseCommandLine, SplitsSwitchesFromThePrinterName)
{
    struct Case {
        const char *commandLine;
        const char *printerName;
        bool checkOnly;
    };
    const Case cases[] = {
        {"prog /q Office Laser", "Office Laser", true},
        {"prog /x/Q Name", "Name", true},
        {"prog /Qfoo Bar", "foo Bar", true},
        {"prog", "", false},
        {"prog /", "", false},
        {"prog Name", "Name", false},
        {"prog   /x   Two  Blanks ", "Two  Blanks ", false},
        // A quoted program path may hold blanks; the printer name is never quoted.
        {"\"C:\\Program Files\\qelapp32.exe\" P1", "P1", false},
        {"\"C:\\Program Files\\qelapp32.exe\" /Q Office Laser", "Office Laser", true},
        {"\"C:\\qel\\qelapp32.exe\"x Name", "Name", false},
        // Without its closing quote, the program name ends at the first blank.
        {"\"C:\\unclosed quote Name", "quote Name", false},
        {"\"C:\\x\\qelapp32.exe /Q P1", "P1", true},
        {"prog\tName", "", false}, // a tab is no separator: it belongs to the program name
        {"prog /a\tName", "\tName", false},
    };
    for (const Case &c : cases) {
        g_checkOnly = false;
        const char *name = ParseCommandLine(c.commandLine);
        ASSERT_NE(nullptr, name) << c.commandLine;
        EXPECT_STREQ(c.printerName, name) << c.commandLine;
        EXPECT_EQ(c.checkOnly, g_checkOnly) << c.commandLine;
        EXPECT_TRUE(name >= c.commandLine && name <= c.commandLine + std::strlen(c.commandLine))
            << "the name points into the command line";
    }
    g_checkOnly = false;
}

TEST(ParseCommandLine, AnswersNullOnlyForNoCommandLine)
{
    EXPECT_EQ(nullptr, ParseCommandLine(nullptr));
}

TEST(InstanceNames, DerivesEveryNameFromThePrinterName)
{
    struct Case {
        const char *format;
        const char *expected;
    };
    const Case cases[] = {
        {QEL_EVENT_ALERT_INIT_FORMAT, "QelApp32_Alert_InitP1"},
        {QEL_EVENT_WRITE_DATA_FORMAT, "QelApp32_Write_DataP1"},
        {QEL_EVENT_GET_STATUS_FORMAT, "QelApp32_Get_StatusP1"},
        {QEL_EVENT_GOT_STATUS_FORMAT, "QelApp32_Got_StatusP1"},
        {QEL_EVENT_INIT_FORMAT, "P1:QELAPP32_INIT_EVENT"},
        {QEL_EVENT_INIT_CANCEL_FORMAT, "P1:QELAPP32_INIT_CANCEL_EVENT"},
        {QEL_EVENT_NEXT_JOB_FORMAT, "P1:QELAPP32_READY_FOR_NEXT_JOB"},
    };
    for (const Case &c : cases) {
        char name[kNameBufferSize];
        FormatInstanceName(name, c.format, "P1");
        EXPECT_STREQ(c.expected, name);
    }
    char title[kNameBufferSize];
    BuildWindowTitle(title, "P1");
    EXPECT_STREQ("VODUVI32 P1", title);
}

TEST(InstanceNames, NeverWritesPastTheNameBuffer)
{
    struct Guarded {
        char name[kNameBufferSize];
        char guard[16];
    } buffer;
    std::memset(buffer.guard, 0x5A, sizeof(buffer.guard));
    const std::string longName(600, 'n');
    FormatInstanceName(buffer.name, QEL_EVENT_NEXT_JOB_FORMAT, longName.c_str());
    EXPECT_EQ(kNameBufferSize - 1, std::strlen(buffer.name));
    for (char c : buffer.guard)
        EXPECT_EQ(0x5A, c);
}

TEST(InstanceNames, AcceptsPrinterNamesThatFitTheRegistryKeyPath)
{
    EXPECT_TRUE(IsPrinterNameUsable(std::string(193, 'p').c_str()));
    EXPECT_FALSE(IsPrinterNameUsable(std::string(194, 'p').c_str()));
    EXPECT_TRUE(IsPrinterNameUsable(""));
    EXPECT_FALSE(IsPrinterNameUsable(nullptr));
}
