// The store and retrieve mailbox, the suspend veto, the end of an instance and the
// messages the service passes on, through the real program and the simulated library.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <string>
#include <vector>

#include "qelapp32/qelclient.h"
#include "support/test_files.h"
#include "support/test_instance.h"
#include "support/thread_blocks.h"

namespace {

// The library still reads the device ID: its table and the instance are intact.
bool HasDeviceId(TestInstance &instance)
{
    char deviceId[256];
    DWORD length = 0;
    return QelGetDeviceId(instance.Client(), 5, deviceId, sizeof(deviceId), &length, 5000, nullptr) == QEL_OK;
}

class ClientMessagesE2E : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(instance.Start()); }
    void TearDown() override
    {
        if (!instance.Process().HasExited()) {
            EXPECT_TRUE(instance.EndJob(1, MAKELPARAM(0, 5)));
        }
        EXPECT_EQ(0, instance.Process().AccessViolations());
    }

    void Request(const std::string &name, DWORD size)
    {
        ASSERT_TRUE(instance.Printer().SetDriverString(QEL_VALUE_STORE_NAME, name));
        ASSERT_TRUE(instance.Printer().SetDriverDword(QEL_VALUE_STORE_SIZE, size));
    }

    TestInstance instance{"LPT1:"};
};

} // namespace

TEST_F(ClientMessagesE2E, StoredItemComesBackThroughTheRegistry)
{
    const std::string data = PatternBytes(512);
    Request("Calibration table", 512);
    ASSERT_TRUE(instance.Printer().SetDriverBinary(QEL_VALUE_STORE_DATA, data));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_STOREDATA));
    const auto stores = instance.Sim().CallsNamed("TovStoreData");
    ASSERT_EQ(1u, stores.size());
    EXPECT_EQ((std::vector<std::string>{"1", instance.PrinterName(), "0", "Calibration table",
                                        ToHex(data.data(), data.size()), "512", "1"}),
              stores[0].args);

    // The client asks for more than was stored and clears the data value first.
    instance.Printer().DeleteDriverValue(QEL_VALUE_STORE_DATA);
    Request("Calibration table", 512);
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_RETRIEVEDATA));
    const auto retrieves = instance.Sim().CallsNamed("TovRetrieveData");
    ASSERT_EQ(1u, retrieves.size());
    EXPECT_EQ((std::vector<std::string>{"1", instance.PrinterName(), "0", "Calibration table", "512", "0"}),
              retrieves[0].args);
    DWORD retrieved = 0;
    EXPECT_TRUE(instance.Printer().ReadDriverDword(QEL_VALUE_STORE_RETRIEVED, &retrieved));
    EXPECT_EQ(512u, retrieved);
    std::string back;
    EXPECT_TRUE(instance.Printer().ReadDriverBinary(QEL_VALUE_STORE_DATA, &back));
    EXPECT_EQ(data, back);

    Request("Short", 3);
    ASSERT_TRUE(instance.Printer().SetDriverBinary(QEL_VALUE_STORE_DATA, "abc"));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_STOREDATA));
    Request("Short", 100);
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_RETRIEVEDATA));
    EXPECT_TRUE(instance.Printer().ReadDriverDword(QEL_VALUE_STORE_RETRIEVED, &retrieved));
    EXPECT_EQ(3u, retrieved) << "the delivered count, not the asked one";
    EXPECT_TRUE(instance.Printer().ReadDriverBinary(QEL_VALUE_STORE_DATA, &back));
    EXPECT_EQ("abc", back);
}

TEST_F(ClientMessagesE2E, MailboxRequestsThatDoNotFitAreRefusedWithoutTheLibrary)
{
    Request("Item", 513);
    ASSERT_TRUE(instance.Printer().SetDriverBinary(QEL_VALUE_STORE_DATA, PatternBytes(513)));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_STOREDATA));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_RETRIEVEDATA));
    instance.Printer().DeleteDriverValue(QEL_VALUE_STORE_NAME);
    Request(std::string(36, 'n'), 4);
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_STOREDATA));

    const std::vector<std::string> lines = instance.Process().LogLines();
    const std::vector<std::string> expected = {
        "QELAPP32: WM_QELAPP32_STOREDATA: QelApp32StoreDataSize 513 above 512 bytes\n",
        "QELAPP32: WM_QELAPP32_RETRIEVEDATA: QelApp32StoreDataSize 513 above 512 bytes\n",
        "QELAPP32: WM_QELAPP32_STOREDATA: QelApp32StoreDataName missing or longer than 36 bytes\n",
    };
    EXPECT_EQ(expected, lines);
    EXPECT_TRUE(instance.Sim().CallsNamed("TovStoreData").empty());
    EXPECT_TRUE(instance.Sim().CallsNamed("TovRetrieveData").empty());
    EXPECT_FALSE(instance.Printer().HasDriverValue(QEL_VALUE_STORE_RETRIEVED));
}

TEST_F(ClientMessagesE2E, LibraryFailuresAnswer0AndRetrieveWritesNothing)
{
    instance.Sim().Set("fail.TovStoreData", "0x1D");
    Request("Item", 2);
    ASSERT_TRUE(instance.Printer().SetDriverBinary(QEL_VALUE_STORE_DATA, "ok"));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_STOREDATA));
    EXPECT_TRUE(instance.Process().HasLogLine("QELAPP32: WM_QELAPP32_STOREDATA: TovStoreData failed (1Dh)\n"));

    Request("Never stored", 2);
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_RETRIEVEDATA));
    EXPECT_TRUE(instance.Process().HasLogLine("QELAPP32: WM_QELAPP32_RETRIEVEDATA: TovRetrieveData failed (1002h)\n"));
    EXPECT_FALSE(instance.Printer().HasDriverValue(QEL_VALUE_STORE_RETRIEVED));
    std::string data;
    EXPECT_TRUE(instance.Printer().ReadDriverBinary(QEL_VALUE_STORE_DATA, &data));
    EXPECT_EQ("ok", data);
}

TEST_F(ClientMessagesE2E, SuspendIsAllowedWhenTheSpoolerKnowsNoJob)
{
    // The spooler does not know the test printer: the probe fails, which counts as no job.
    EXPECT_EQ(TRUE, instance.Send(WM_POWERBROADCAST, PBT_APMQUERYSUSPEND));
    EXPECT_EQ(0, instance.Send(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC));
    EXPECT_EQ(0, instance.Send(WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE));
    EXPECT_TRUE(instance.Process().LogLines().empty());
}

TEST_F(ClientMessagesE2E, UnlistedMessagesGetTheDefaultAnswers)
{
    const std::string title = "VODUVI32 " + instance.PrinterName();
    EXPECT_EQ(static_cast<LRESULT>(title.size()), instance.Send(WM_GETTEXTLENGTH));
    for (UINT message : {WM_QELAPP32_UNUSED_1138, 1123u, 1142u, static_cast<UINT>(WM_USER)})
        EXPECT_EQ(0, instance.Send(message, 1, 2)) << message;
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_PING));
    EXPECT_TRUE(instance.Sim().CallsNamed("TovPing").size() >= 2u) << "start-up's ping and the client's";
}

TEST_F(ClientMessagesE2E, FailedAlertReleaseAnswers0AndTheInstanceStillEnds)
{
    instance.Sim().Set("fail.TovReleaseAlerts", "0x2A");
    LRESULT answer = 1;
    EXPECT_TRUE(instance.EndJob(7, MAKELPARAM(0, 0x0105), &answer));
    EXPECT_EQ(0, answer);
    EXPECT_EQ(0u, instance.Process().ExitCode());
    EXPECT_TRUE(instance.Process().HasLogLine("QELAPP32: WM_QELAPP32_UNREGISTER: TovReleaseAlerts FAILED (2Ah)\n"));
    const auto release = instance.Sim().CallsNamed("TovReleaseAlerts");
    ASSERT_EQ(1u, release.size());
    EXPECT_EQ((std::vector<std::string>{"7", "261", "1"}), release[0].args);
    EXPECT_EQ("TovUnregisterApp", instance.Sim().CallNames().back()) << "shutdown went on to the end";
}

namespace {

// A writable page of qelapp32.exe's own image in the service's process: its data, the
// library table among it.
LPARAM WritableImagePage(HANDLE process)
{
    HMODULE modules[1] = {};
    DWORD needed = 0;
    if (!K32EnumProcessModules(process, modules, sizeof(modules), &needed) || modules[0] == nullptr)
        return 0;
    const BYTE *cursor = reinterpret_cast<const BYTE *>(modules[0]);
    MEMORY_BASIC_INFORMATION region{};
    while (VirtualQueryEx(process, cursor, &region, sizeof(region)) != 0 && region.AllocationBase == modules[0]) {
        if ((region.Protect & (PAGE_READWRITE | PAGE_WRITECOPY)) != 0)
            return reinterpret_cast<LPARAM>(region.BaseAddress);
        cursor = static_cast<const BYTE *>(region.BaseAddress) + region.RegionSize;
    }
    return 0;
}

} // namespace

TEST_F(ClientMessagesE2E, AddressesIntoTheServicesImageAreRefusedAndItKeepsServing)
{
    const LPARAM imageData = WritableImagePage(instance.Process().Process());
    ASSERT_NE(0, imageData);
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
    EXPECT_EQ(0, instance.Send(WM_QELAPP32_READ, 1024, imageData));
    EXPECT_EQ(static_cast<LRESULT>(QEL_FAILURE),
              instance.Send(WM_QELAPP32_GETDEVICEID, QEL_MAKE_WPARAM(5, 4096), imageData));
    EXPECT_EQ(2u, instance.Process().LogLines().size());

    // The library table is intact: requests that call the library still work.
    EXPECT_TRUE(HasDeviceId(instance));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_OPEN));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_CLOSE));
}

// The serving thread's own block (its exception chain and stack bounds come first) and the
// process's block, found by a client from outside as any program could.
TEST_F(ClientMessagesE2E, AddressesIntoTheServingThreadsBlocksAreRefusedAndItKeepsServing)
{
    const DWORD servingThread = GetWindowThreadProcessId(instance.Window(), nullptr);
    const struct {
        const char *what;
        void *address;
    } blocks[] = {
        {"the serving thread's block", ThreadBlockOf(servingThread)},
        {"the process's block", ProcessBlockOf(instance.Process().Process())},
    };
    for (const auto &block : blocks) {
        ASSERT_NE(nullptr, block.address) << block.what;
        const LPARAM address = reinterpret_cast<LPARAM>(block.address);
        EXPECT_EQ(static_cast<LRESULT>(QEL_FAILURE),
                  instance.Send(WM_QELAPP32_GETDEVICEID, QEL_MAKE_WPARAM(5, 64), address))
            << block.what;
        EXPECT_EQ(0, instance.Send(WM_QELAPP32_READ, 64, address)) << block.what;
    }
    EXPECT_EQ(4u, instance.Process().LogLines().size());

    EXPECT_TRUE(HasDeviceId(instance));
    EXPECT_EQ(1, instance.Send(WM_QELAPP32_NOOP));
}
