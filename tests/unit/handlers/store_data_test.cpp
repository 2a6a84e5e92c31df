// Messages 1139 and 1140: the registry mailbox, the library calls and every refusal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/instance_state.h"
#include "fake_tov.h"
#include "handlers/message_handlers.h"
#include "platform_recorder.h"
#include "qelapp32/client.h"
#include "support/test_instance.h"

namespace {

class MailboxTest : public ::testing::Test {
protected:
    MailboxTest() : printer(UniquePrinterName("mailbox"), "LPT1:")
    {
        savedName_ = g_printerName;
        savedAppId_ = g_appId;
        g_printerName = printer.Name().c_str();
        g_appId = 3;
    }
    ~MailboxTest() override
    {
        g_printerName = savedName_;
        g_appId = savedAppId_;
    }

    void Request(const std::string &name, DWORD size)
    {
        ASSERT_TRUE(printer.SetDriverString(QEL_VALUE_STORE_NAME, name));
        ASSERT_TRUE(printer.SetDriverDword(QEL_VALUE_STORE_SIZE, size));
    }
    std::string StoredData() const
    {
        std::string data;
        EXPECT_TRUE(printer.ReadDriverBinary(QEL_VALUE_STORE_DATA, &data));
        return data;
    }

    FakeTov tov;
    PlatformRecorder platform;
    TestPrinterKey printer;

private:
    const char *savedName_;
    WORD savedAppId_;
};

} // namespace

TEST_F(MailboxTest, StorePassesNameDataAndCountToTheLibrary)
{
    Request("Calibration", 5);
    ASSERT_TRUE(printer.SetDriverBinary(QEL_VALUE_STORE_DATA, "hello"));
    EXPECT_EQ(1, OnStoreData());
    ASSERT_EQ(1u, tov.Calls().size());
    EXPECT_EQ((std::vector<std::string>{"3", printer.Name(), "0", "Calibration", "68656c6c6f", "5", "1"}),
              tov.CallsNamed("TovStoreData").at(0).args);
    EXPECT_TRUE(platform.Lines().empty());
    EXPECT_EQ("hello", tov.store["Calibration"]);
}

TEST_F(MailboxTest, StoreTakesTheLargestItemAndName)
{
    const std::string name(35, 'n');
    const std::string data(512, '\xA5');
    Request(name, 512);
    ASSERT_TRUE(printer.SetDriverBinary(QEL_VALUE_STORE_DATA, data));
    EXPECT_EQ(1, OnStoreData());
    EXPECT_EQ(data, tov.store[name]);
}

TEST_F(MailboxTest, StoreOfNoBytes)
{
    Request("Empty", 0);
    ASSERT_TRUE(printer.SetDriverBinary(QEL_VALUE_STORE_DATA, ""));
    EXPECT_EQ(1, OnStoreData());
    EXPECT_EQ((std::vector<std::string>{"3", printer.Name(), "0", "Empty", "", "0", "1"}),
              tov.CallsNamed("TovStoreData").at(0).args);
}

TEST_F(MailboxTest, StoreFailureIsLoggedAndAnswers0)
{
    Request("Calibration", 2);
    ASSERT_TRUE(printer.SetDriverBinary(QEL_VALUE_STORE_DATA, "ok"));
    tov.Fail("TovStoreData", 0x1D);
    EXPECT_EQ(0, OnStoreData());
    EXPECT_EQ((std::vector<std::string>{"QELAPP32: WM_QELAPP32_STOREDATA: TovStoreData failed (1Dh)\n"}),
              platform.Lines());
}

TEST_F(MailboxTest, StoreRefusesDataThatDoesNotMatchItsCount)
{
    struct DataCase {
        bool present;
        std::string data;
    };
    const DataCase cases[] = {{false, ""}, {true, "abc"}, {true, "abcdef"}, {true, ""}};
    for (const DataCase &c : cases) {
        Request("Calibration", 5);
        printer.DeleteDriverValue(QEL_VALUE_STORE_DATA);
        if (c.present) {
            ASSERT_TRUE(printer.SetDriverBinary(QEL_VALUE_STORE_DATA, c.data));
        }
        platform.ClearLines();
        EXPECT_EQ(0, OnStoreData()) << c.data;
        EXPECT_EQ(
            (std::vector<std::string>{"QELAPP32: WM_QELAPP32_STOREDATA: QelApp32StoreData missing or not 5 bytes\n"}),
            platform.Lines());
    }
    EXPECT_TRUE(tov.Calls().empty());
}

TEST_F(MailboxTest, RetrieveWritesTheCountThenTheDeliveredBytes)
{
    tov.store["Calibration"] = "hello";
    Request("Calibration", 512);
    EXPECT_EQ(1, OnRetrieveData());
    EXPECT_EQ((std::vector<std::string>{"3", printer.Name(), "0", "Calibration", "512", "0"}),
              tov.CallsNamed("TovRetrieveData").at(0).args);
    DWORD retrieved = 0;
    EXPECT_TRUE(printer.ReadDriverDword(QEL_VALUE_STORE_RETRIEVED, &retrieved));
    EXPECT_EQ(5u, retrieved);
    EXPECT_EQ("hello", StoredData()) << "exactly the delivered bytes";
    EXPECT_TRUE(platform.Lines().empty());
}

TEST_F(MailboxTest, RetrieveAsksForNoMoreThanTheCount)
{
    tov.store["Calibration"] = "hello";
    Request("Calibration", 3);
    EXPECT_EQ(1, OnRetrieveData());
    EXPECT_EQ("hel", StoredData());
}

TEST_F(MailboxTest, RetrieveFailureWritesNothing)
{
    ASSERT_TRUE(printer.SetDriverBinary(QEL_VALUE_STORE_DATA, "old"));
    Request("Never stored", 10);
    EXPECT_EQ(0, OnRetrieveData());
    EXPECT_EQ((std::vector<std::string>{"QELAPP32: WM_QELAPP32_RETRIEVEDATA: TovRetrieveData failed (1002h)\n"}),
              platform.Lines());
    EXPECT_EQ("old", StoredData());
    EXPECT_FALSE(printer.HasDriverValue(QEL_VALUE_STORE_RETRIEVED));
}

namespace {

DWORD g_reportedDelivery = 0;
DWORD g_offeredSize = 0;

DWORD WINAPI OverreportingRetrieve(WORD, LPCSTR, DWORD, const char *name, BYTE *buffer, DWORD size, DWORD *delivered,
                                   DWORD)
{
    EXPECT_NE(nullptr, std::memchr(name, '\0', QEL_STORE_NAME_SIZE));
    g_offeredSize = size;
    std::memset(buffer, 'x', size);
    *delivered = g_reportedDelivery;
    return 0;
}

} // namespace

TEST_F(MailboxTest, RetrieveNeverWritesMoreThanWasAskedFor)
{
    tov.store["unused"] = "";
    g_tov.TovRetrieveData = OverreportingRetrieve;
    for (DWORD reported : {9u, 600u, 0xFFFFFFFFu}) {
        g_reportedDelivery = reported;
        Request("Item", 8);
        platform.ClearLines();
        EXPECT_EQ(1, OnRetrieveData());
        EXPECT_EQ(8u, g_offeredSize);
        DWORD retrieved = 0;
        EXPECT_TRUE(printer.ReadDriverDword(QEL_VALUE_STORE_RETRIEVED, &retrieved));
        EXPECT_EQ(8u, retrieved) << reported;
        EXPECT_EQ(std::string(8, 'x'), StoredData());
        EXPECT_EQ((std::vector<std::string>{"QELAPP32: WM_QELAPP32_RETRIEVEDATA: TovRetrieveData delivered " +
                                            std::to_string(reported) + " of 8 bytes\n"}),
                  platform.Lines());
    }
}

TEST_F(MailboxTest, StoredItemComesBackUnchanged)
{
    std::string data;
    for (int i = 0; i < 300; ++i)
        data += static_cast<char>(i * 7);
    Request("Round trip", static_cast<DWORD>(data.size()));
    ASSERT_TRUE(printer.SetDriverBinary(QEL_VALUE_STORE_DATA, data));
    ASSERT_EQ(1, OnStoreData());
    printer.DeleteDriverValue(QEL_VALUE_STORE_DATA);
    ASSERT_EQ(1, OnRetrieveData());
    EXPECT_EQ(data, StoredData());
}

namespace {

struct RefusalCase {
    const char *label;
    void (*prepare)(TestPrinterKey &printer);
    const char *reason; // the log line after "QELAPP32: <message>: "
};

const RefusalCase kRefusals[] = {
    {"name missing", [](TestPrinterKey &p) { p.SetDriverDword(QEL_VALUE_STORE_SIZE, 4); },
     "QelApp32StoreDataName missing or longer than 36 bytes\n"},
    {"name of 36 characters",
     [](TestPrinterKey &p) {
         p.SetDriverString(QEL_VALUE_STORE_NAME, std::string(36, 'n'));
         p.SetDriverDword(QEL_VALUE_STORE_SIZE, 4);
     },
     "QelApp32StoreDataName missing or longer than 36 bytes\n"},
    {"name without terminator",
     [](TestPrinterKey &p) {
         p.SetDriverBinary(QEL_VALUE_STORE_NAME, std::string(36, 'n'));
         p.SetDriverDword(QEL_VALUE_STORE_SIZE, 4);
     },
     "QelApp32StoreDataName not terminated within 36 bytes\n"},
    {"size missing", [](TestPrinterKey &p) { p.SetDriverString(QEL_VALUE_STORE_NAME, "Item"); },
     "QelApp32StoreDataSize missing\n"},
    {"size 513",
     [](TestPrinterKey &p) {
         p.SetDriverString(QEL_VALUE_STORE_NAME, "Item");
         p.SetDriverDword(QEL_VALUE_STORE_SIZE, 513);
     },
     "QelApp32StoreDataSize 513 above 512 bytes\n"},
    {"size -1",
     [](TestPrinterKey &p) {
         p.SetDriverString(QEL_VALUE_STORE_NAME, "Item");
         p.SetDriverDword(QEL_VALUE_STORE_SIZE, 0xFFFFFFFF);
     },
     "QelApp32StoreDataSize 4294967295 above 512 bytes\n"},
};

} // namespace

TEST_F(MailboxTest, RequestsThatDoNotFitTheBuffersAreRefusedBeforeTheLibrary)
{
    struct Message {
        const char *name;
        LRESULT (*handler)();
    };
    const Message messages[] = {{"WM_QELAPP32_STOREDATA", OnStoreData}, {"WM_QELAPP32_RETRIEVEDATA", OnRetrieveData}};
    for (const Message &message : messages) {
        for (const RefusalCase &c : kRefusals) {
            printer.DeleteDriverValue(QEL_VALUE_STORE_NAME);
            printer.DeleteDriverValue(QEL_VALUE_STORE_SIZE);
            printer.SetDriverBinary(QEL_VALUE_STORE_DATA, std::string(600, 'd'));
            c.prepare(printer);
            platform.ClearLines();
            EXPECT_EQ(0, message.handler()) << message.name << ": " << c.label;
            EXPECT_EQ((std::vector<std::string>{std::string("QELAPP32: ") + message.name + ": " + c.reason}),
                      platform.Lines())
                << c.label;
            EXPECT_EQ(std::string(600, 'd'), StoredData()) << c.label;
            EXPECT_FALSE(printer.HasDriverValue(QEL_VALUE_STORE_RETRIEVED)) << c.label;
        }
    }
    EXPECT_TRUE(tov.Calls().empty());
}
