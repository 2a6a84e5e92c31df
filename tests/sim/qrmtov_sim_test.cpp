// Behaviour of the simulated communication library, loaded in-process as the service loads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sim_library.h"
#include "support/sim_control.h"
#include "tovlib/tov_abi.h"

namespace {

constexpr DWORD kInvalidArgument = 0x57;
constexpr DWORD kUnknownItem = 0x1002;
constexpr DWORD kInjectedFailure = 0x1234;
constexpr DWORD kSentinel = 0xA5A5A5A5;
constexpr DWORD kStatusRecordSize = 1036;
constexpr UINT kStatusChangedMessage = 1524;
constexpr char kDefaultDeviceId[] = "MFG:Qel;CMD:QPL;MDL:Virtual Printer;CLS:PRINTER;";

// Records handed to the enumeration callback; the callback is a plain function.
std::vector<std::vector<BYTE>> &EnumeratedRecords()
{
    static std::vector<std::vector<BYTE>> records;
    return records;
}

BOOL WINAPI CollectRecord(LPVOID printerInfo)
{
    const auto *bytes = static_cast<const BYTE *>(printerInfo);
    EnumeratedRecords().emplace_back(bytes, bytes + kPrinterInfoSize);
    return TRUE;
}

WORD ReadWord(const std::vector<BYTE> &bytes, size_t offset)
{
    WORD value = 0;
    std::memcpy(&value, &bytes[offset], sizeof(value));
    return value;
}

DWORD ReadDword(const BYTE *bytes, size_t offset)
{
    DWORD value = 0;
    std::memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

class SimLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnumeratedRecords().clear();
        sim_.ApplyToThisProcess();
        Load();
    }

    void Load()
    {
        library_ = std::make_unique<SimLibrary>();
        ASSERT_TRUE(library_->IsLoaded()) << "QRMTOV.DLL not found beside the test program";
    }

    void Unload() { library_.reset(); }

    template <typename Fn>
    Fn Entry(const char *name) const
    {
        Fn entry = library_->Get<Fn>(name);
        EXPECT_NE(entry, nullptr) << name;
        return entry;
    }

    DWORD Ping() const { return Entry<TovPingFn>("TovPing")(0); }

    DWORD QueryState(DWORD *length = nullptr) const
    {
        std::vector<BYTE> record(kStatusRecordSize, 0xEE);
        DWORD reported = 0;
        const DWORD result = Entry<TovQueryPrinterStatusFn>("TovQueryPrinterStatus")(1, 5, 4095, record.data(),
                                                                                     kStatusRecordSize, &reported);
        EXPECT_EQ(result, 0u);
        if (length != nullptr)
            *length = reported;
        return ReadDword(record.data(), 8);
    }

    DWORD Write(const std::string &data, DWORD *count) const
    {
        return Entry<TovWriteFn>("TovWrite")(1, 5, 0, reinterpret_cast<const BYTE *>(data.data()), count, 1);
    }

    DWORD WriteUni(const std::string &data, DWORD *count) const
    {
        return Entry<TovWriteUNIFn>("TovWriteUNI")("LPT1:", reinterpret_cast<const BYTE *>(data.data()), count);
    }

    DWORD Store(const char *item, const std::string &data) const
    {
        return Entry<TovStoreDataFn>("TovStoreData")(1, "Office", 0, item, reinterpret_cast<const BYTE *>(data.data()),
                                                     static_cast<DWORD>(data.size()), 1);
    }

    DWORD Retrieve(const char *item, std::string &data, DWORD size, DWORD *delivered) const
    {
        std::vector<BYTE> buffer(size == 0 ? 1 : size, 0);
        const DWORD result =
            Entry<TovRetrieveDataFn>("TovRetrieveData")(1, "Office", 0, item, buffer.data(), size, delivered, 0);
        if (result == 0)
            data.assign(reinterpret_cast<const char *>(buffer.data()), *delivered);
        return result;
    }

    std::vector<std::string> LogLines() const
    {
        std::vector<std::string> lines;
        const std::string log = ReadWholeFile(sim_.LogPath());
        size_t start = 0;
        for (size_t end = log.find('\n'); end != std::string::npos; end = log.find('\n', start)) {
            lines.push_back(log.substr(start, end - start));
            start = end + 1;
        }
        EXPECT_EQ(start, log.size()) << "the log ends in the middle of a line";
        return lines;
    }

    SimPrinter sim_;
    std::unique_ptr<SimLibrary> library_;
};

// --- Exports ---------------------------------------------------------------------------

std::set<std::string> ExportedNames(HMODULE module)
{
    const auto *base = reinterpret_cast<const BYTE *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto *exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + directory.VirtualAddress);
    const auto *nameOffsets = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    std::set<std::string> names;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        names.insert(reinterpret_cast<const char *>(base + nameOffsets[i]));
    }
    return names;
}

TEST_F(SimLibraryTest, ExportsExactlyTheUndecoratedEntryPoints)
{
    const std::set<std::string> expected(std::begin(kTovEntryPointNames), std::end(kTovEntryPointNames));
    EXPECT_EQ(expected.size(), 24u);
    EXPECT_EQ(ExportedNames(library_->Module()), expected);
    for (const char *name : kTovEntryPointNames)
        EXPECT_NE(library_->Resolve(name), nullptr) << name;
}

// --- Defaults --------------------------------------------------------------------------

TEST_F(SimLibraryTest, RegistersAndPingsAsAHealthyPrinterByDefault)
{
    EXPECT_EQ(Entry<TovRegisterAppFn>("TovRegisterApp")(nullptr), 1);
    EXPECT_EQ(Ping(), 0u);
}

TEST_F(SimLibraryTest, RegisterAndPingAnswersAreConfigurable)
{
    sim_.Set("register_answer", "0x8001");
    sim_.Set("ping_answer", "1");
    EXPECT_EQ(Entry<TovRegisterAppFn>("TovRegisterApp")(nullptr), 0x8001);
    EXPECT_EQ(Ping(), 1u);
}

struct EnumerationCase {
    const char *entryPoint;
};

class EnumerationTest : public SimLibraryTest, public ::testing::WithParamInterface<EnumerationCase> {
protected:
    DWORD Enumerate(const char *name) const
    {
        return Entry<TovEnumSpecificPortFn>(GetParam().entryPoint)(1, 4095, name, &CollectRecord);
    }
};

TEST_P(EnumerationTest, DeliversOneRecordAndTheMaskByDefault)
{
    EXPECT_EQ(Enumerate("LPT1:"), 0x10u);
    ASSERT_EQ(EnumeratedRecords().size(), 1u);
    std::vector<BYTE> expected(kPrinterInfoSize, 0);
    expected[kPrinterInfoHandleOffset] = 5;
    expected[kPrinterInfoFlagsOffset] = 1;
    std::memcpy(&expected[kPrinterInfoRemoteNameOffset], "LPT1:", 5);
    EXPECT_EQ(EnumeratedRecords()[0], expected);
}

TEST_P(EnumerationTest, RecordFieldsFollowTheSettings)
{
    sim_.Set("hprinter", "0x1234");
    sim_.Set("printer_flags", "0");
    sim_.Set("enum_mask", "0x400");
    sim_.Set("enum_records", "3");
    EXPECT_EQ(Enumerate("\\\\server\\queue"), 0x400u);
    ASSERT_EQ(EnumeratedRecords().size(), 3u);
    for (const auto &record : EnumeratedRecords()) {
        EXPECT_EQ(ReadWord(record, kPrinterInfoHandleOffset), 0x1234);
        EXPECT_EQ(record[kPrinterInfoFlagsOffset], 0);
        EXPECT_STREQ(reinterpret_cast<const char *>(&record[kPrinterInfoRemoteNameOffset]), "\\\\server\\queue");
    }
}

TEST_P(EnumerationTest, NoRecordsMeansTheCallbackIsNeverCalled)
{
    sim_.Set("enum_records", "0");
    EXPECT_EQ(Enumerate("LPT1:"), 0x10u);
    EXPECT_TRUE(EnumeratedRecords().empty());
}

TEST_P(EnumerationTest, LongNamesAreCutToFitTheRecord)
{
    const std::string longName(500, 'n');
    Enumerate(longName.c_str());
    ASSERT_EQ(EnumeratedRecords().size(), 1u);
    const auto &record = EnumeratedRecords()[0];
    const std::string stored(reinterpret_cast<const char *>(&record[kPrinterInfoRemoteNameOffset]));
    EXPECT_EQ(stored, std::string(kPrinterInfoRemoteNameSize - 1, 'n'));
}

INSTANTIATE_TEST_SUITE_P(BothEnumerations, EnumerationTest,
                         ::testing::Values(EnumerationCase{"TovEnumSpecificPort"}, EnumerationCase{"TovEnumByUNC"}),
                         [](const ::testing::TestParamInfo<EnumerationCase> &info) {
                             return std::string(info.param.entryPoint);
                         });

TEST_F(SimLibraryTest, StatusIsReadyWithAFullRecordByDefault)
{
    DWORD length = 0;
    EXPECT_EQ(QueryState(&length), 0u);
    EXPECT_EQ(length, kStatusRecordSize);
}

TEST_F(SimLibraryTest, StatusRecordIsZeroFilledAroundTheState)
{
    sim_.Set("status_state", "3");
    std::vector<BYTE> record(64, 0xEE);
    DWORD length = 0;
    EXPECT_EQ(Entry<TovQueryPrinterStatusFn>("TovQueryPrinterStatus")(1, 5, 4095, record.data(), 64, &length), 0u);
    EXPECT_EQ(length, 64u);
    EXPECT_EQ(ReadDword(record.data(), 8), 3u);
    record[8] = 0;
    EXPECT_EQ(record, std::vector<BYTE>(64, 0));
}

TEST_F(SimLibraryTest, StatusSequenceIsConsumedThenTheFixedStateApplies)
{
    sim_.Set("status_state", "1");
    sim_.Set("status_sequence", "2,2,0");
    std::vector<DWORD> states;
    for (int i = 0; i < 5; ++i)
        states.push_back(QueryState());
    EXPECT_EQ(states, (std::vector<DWORD>{2, 2, 0, 1, 1}));
}

TEST_F(SimLibraryTest, StatusSequenceStartsOverWhenTheSettingsChange)
{
    sim_.Set("status_sequence", "7,8");
    EXPECT_EQ(QueryState(), 7u);
    sim_.Set("status_state", "4");
    EXPECT_EQ(QueryState(), 7u);
    EXPECT_EQ(QueryState(), 8u);
    EXPECT_EQ(QueryState(), 4u);
}

struct DeviceIdCase {
    const char *name;
    DWORD bufferSize;
    const char *lengthOverride;
    std::string expectedText;
    DWORD expectedLength;
};

class DeviceIdTest : public SimLibraryTest, public ::testing::WithParamInterface<DeviceIdCase> {};

TEST_P(DeviceIdTest, CopiesTheIdWithinTheBuffer)
{
    const DeviceIdCase &c = GetParam();
    if (c.lengthOverride != nullptr)
        sim_.Set("device_id_length", c.lengthOverride);
    std::vector<char> buffer(c.bufferSize + 1, '#');
    DWORD length = kSentinel;
    EXPECT_EQ(
        Entry<TovGetDeviceIDStringExFn>("TovGetDeviceIDStringEx")(1, 5, 4095, buffer.data(), c.bufferSize, &length),
        0u);
    EXPECT_EQ(length, c.expectedLength);
    if (c.bufferSize == 0) {
        EXPECT_EQ(buffer[0], '#');
    } else {
        EXPECT_EQ(std::string(buffer.data()), c.expectedText);
    }
}

const std::string kDeviceId = kDefaultDeviceId;

INSTANTIATE_TEST_SUITE_P(
    Sizes, DeviceIdTest,
    ::testing::Values(DeviceIdCase{"Roomy", 1024, nullptr, kDeviceId, static_cast<DWORD>(kDeviceId.size())},
                      DeviceIdCase{"Small", 9, nullptr, kDeviceId.substr(0, 8), 8},
                      DeviceIdCase{"Empty", 0, nullptr, "", 0},
                      DeviceIdCase{"LengthOverride", 1024, "0x10", kDeviceId, 16}),
    [](const ::testing::TestParamInfo<DeviceIdCase> &info) { return std::string(info.param.name); });

TEST_F(SimLibraryTest, DeviceIdIsConfigurable)
{
    sim_.Set("device_id", "MFG:Other;MDL:Test;");
    char buffer[64] = {};
    DWORD length = 0;
    Entry<TovGetDeviceIDStringExFn>("TovGetDeviceIDStringEx")(1, 5, 4095, buffer, sizeof(buffer), &length);
    EXPECT_STREQ(buffer, "MFG:Other;MDL:Test;");
    EXPECT_EQ(length, 19u);
}

struct BidiCase {
    const char *name;
    const char *replyHex;
    const char *lengthOverride;
    DWORD capacity;
    std::string expectedReply;
    DWORD expectedLength;
};

class BidiTest : public SimLibraryTest, public ::testing::WithParamInterface<BidiCase> {};

TEST_P(BidiTest, RepliesWithinTheCapacity)
{
    const BidiCase &c = GetParam();
    if (c.replyHex != nullptr)
        sim_.Set("bidi_reply", c.replyHex);
    if (c.lengthOverride != nullptr)
        sim_.Set("bidi_reply_length", c.lengthOverride);
    const std::string request = FromHex("0a0b0c0d");
    std::vector<BYTE> reply(1024, 0);
    DWORD replyLength = c.capacity;
    EXPECT_EQ(Entry<TovSendBidiFn>("TovSendBidi")(1, 7, 0, 170, reply.data(), &replyLength,
                                                  reinterpret_cast<const BYTE *>(request.data()),
                                                  static_cast<DWORD>(request.size())),
              0u);
    EXPECT_EQ(replyLength, c.expectedLength);
    EXPECT_EQ(ToHex(reply.data(), c.expectedReply.size()), ToHex(c.expectedReply.data(), c.expectedReply.size()));
    EXPECT_EQ(reply[c.expectedReply.size()], 0);
}

INSTANTIATE_TEST_SUITE_P(Replies, BidiTest,
                         ::testing::Values(BidiCase{"EchoByDefault", nullptr, nullptr, 1024, FromHex("0a0b0c0d"), 4},
                                           BidiCase{"EchoCutToCapacity", nullptr, nullptr, 2, FromHex("0a0b"), 2},
                                           BidiCase{"ConfiguredReply", "01 02 03 04 05 06", nullptr, 1024,
                                                    FromHex("010203040506"), 6},
                                           BidiCase{"ConfiguredLength", "0102", "300", 1024, FromHex("0102"), 300}),
                         [](const ::testing::TestParamInfo<BidiCase> &info) { return std::string(info.param.name); });

TEST_F(SimLibraryTest, AlertDataIsCopiedWithinTheCount)
{
    BYTE buffer[200] = {};
    WORD count = 200;
    EXPECT_EQ(Entry<TovQueryAlertsFn>("TovQueryAlerts")(1, 0, 0, 2, buffer, &count), 0u);
    EXPECT_EQ(ToHex(buffer, count), "112233");

    sim_.Set("alert_data", "a1a2a3a4");
    count = 2;
    EXPECT_EQ(Entry<TovQueryAlertsFn>("TovQueryAlerts")(1, 0, 0, 2, buffer, &count), 0u);
    EXPECT_EQ(ToHex(buffer, count), "a1a2");
}

// --- Injected failures and delays --------------------------------------------------------

struct FailCase {
    const char *entryPoint;
    DWORD (*invoke)(const SimLibrary &);
};

DWORD InvokeWithDummies(const SimLibrary &lib, const char *name)
{
    static BYTE buffer[1100];
    static DWORD length;
    static WORD count;
    static const BYTE mask[4] = {1, 2, 3, 4};
    length = 16;
    count = 16;
    const std::string n = name;
    if (n == "TovUnregisterApp")
        return lib.Get<TovUnregisterAppFn>(name)(1);
    if (n == "TovEnumSpecificPort")
        return lib.Get<TovEnumSpecificPortFn>(name)(1, 4095, "LPT1:", &CollectRecord);
    if (n == "TovEnumByUNC")
        return lib.Get<TovEnumByUNCFn>(name)(1, 4095, "\\\\s\\q", &CollectRecord);
    if (n == "TovCaptureAlerts")
        return lib.Get<TovCaptureAlertsFn>(name)(1, 5, mask, nullptr, 0);
    if (n == "TovReleaseAlerts")
        return lib.Get<TovReleaseAlertsFn>(name)(1, 5, 1);
    if (n == "TovQueryAlerts")
        return lib.Get<TovQueryAlertsFn>(name)(1, 0, 0, 2, buffer, &count);
    if (n == "TovQueryPrinterStatus")
        return lib.Get<TovQueryPrinterStatusFn>(name)(1, 5, 4095, buffer, 1036, &length);
    if (n == "TovGetDeviceIDStringEx")
        return lib.Get<TovGetDeviceIDStringExFn>(name)(1, 5, 4095, reinterpret_cast<LPSTR>(buffer), 16, &length);
    if (n == "TovSendBidi")
        return lib.Get<TovSendBidiFn>(name)(1, 7, 0, 170, buffer, &length, mask, 4);
    if (n == "TovStartDoc")
        return lib.Get<TovStartDocFn>(name)(5, 0, 0);
    if (n == "TovEndDoc")
        return lib.Get<TovEndDocFn>(name)(5, 0);
    if (n == "TovWrite")
        return lib.Get<TovWriteFn>(name)(1, 5, 0, mask, &length, 1);
    if (n == "TovWriteUNI")
        return lib.Get<TovWriteUNIFn>(name)("LPT1:", mask, &length);
    if (n == "TovSetJobControlMode")
        return lib.Get<TovSetJobControlModeFn>(name)(1, 5, 1, 0);
    if (n == "TovSetJobCancelMode")
        return lib.Get<TovSetJobCancelModeFn>(name)(1, 5, 1);
    if (n == "TovSetEndOfJobMode")
        return lib.Get<TovSetEndOfJobModeFn>(name)(1, 5, 1, 0, 0);
    if (n == "TovOpen")
        return lib.Get<TovOpenFn>(name)(1, 5, 20);
    if (n == "TovClose")
        return lib.Get<TovCloseFn>(name)(1, 5);
    if (n == "TovPing")
        return lib.Get<TovPingFn>(name)(0);
    if (n == "TovQueryPortType")
        return lib.Get<TovQueryPortTypeFn>(name)();
    if (n == "TovFlushMWOBuffer")
        return lib.Get<TovFlushMWOBufferFn>(name)();
    if (n == "TovStoreData")
        return lib.Get<TovStoreDataFn>(name)(1, "Office", 0, "item", mask, 4, 1);
    if (n == "TovRetrieveData")
        return lib.Get<TovRetrieveDataFn>(name)(1, "Office", 0, "item", buffer, 16, &length, 0);
    ADD_FAILURE() << "no dummy call for " << name;
    return 0;
}

class FailTest : public SimLibraryTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(FailTest, ReturnsTheInjectedCode)
{
    sim_.Set(std::string("fail.") + GetParam(), "0x1234");
    EXPECT_EQ(InvokeWithDummies(*library_, GetParam()), kInjectedFailure);
    EXPECT_TRUE(sim_.CaptureBytes().empty());
    EXPECT_TRUE(EnumeratedRecords().empty());
    ASSERT_EQ(sim_.CallNames(), std::vector<std::string>{GetParam()}) << "the failing call is still logged";
}

TEST_P(FailTest, SucceedsWithoutInjection)
{
    const DWORD result = InvokeWithDummies(*library_, GetParam());
    const std::string name = GetParam();
    if (name == "TovEnumSpecificPort" || name == "TovEnumByUNC") {
        EXPECT_EQ(result, 0x10u);
    } else if (name == "TovRetrieveData") {
        EXPECT_EQ(result, kUnknownItem);
    } else {
        EXPECT_EQ(result, 0u);
    }
}

// Every entry point that answers a DWORD; TovRegisterApp answers through register_answer instead.
INSTANTIATE_TEST_SUITE_P(DwordEntryPoints, FailTest,
                         ::testing::ValuesIn(kTovEntryPointNames + 1, std::end(kTovEntryPointNames)),
                         [](const ::testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

TEST_F(SimLibraryTest, FailingCallsLeaveOutParametersAlone)
{
    for (const char *name : {"TovWrite", "TovQueryPrinterStatus", "TovGetDeviceIDStringEx", "TovSendBidi",
                             "TovQueryAlerts", "TovRetrieveData"}) {
        sim_.Set(std::string("fail.") + name, "0x1234");
    }
    std::vector<BYTE> record(kStatusRecordSize, 0xEE);
    DWORD length = kSentinel;
    EXPECT_EQ(
        Entry<TovQueryPrinterStatusFn>("TovQueryPrinterStatus")(1, 5, 4095, record.data(), kStatusRecordSize, &length),
        kInjectedFailure);
    EXPECT_EQ(length, kSentinel);
    EXPECT_EQ(record, std::vector<BYTE>(kStatusRecordSize, 0xEE));

    DWORD count = 3;
    EXPECT_EQ(Write("abc", &count), kInjectedFailure);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(sim_.CallsNamed("TovWrite").at(0).args.at(4), "0") << "accepted is logged as 0";

    char id[16] = "untouched";
    length = kSentinel;
    Entry<TovGetDeviceIDStringExFn>("TovGetDeviceIDStringEx")(1, 5, 4095, id, sizeof(id), &length);
    EXPECT_STREQ(id, "untouched");
    EXPECT_EQ(length, kSentinel);

    WORD alertCount = 200;
    BYTE alerts[200] = {};
    Entry<TovQueryAlertsFn>("TovQueryAlerts")(1, 0, 0, 2, alerts, &alertCount);
    EXPECT_EQ(alertCount, 200);
}

TEST_F(SimLibraryTest, ZeroFailureCodeMeansNoFailure)
{
    sim_.Set("fail.TovPing", "0");
    EXPECT_EQ(Ping(), 0u);
}

TEST_F(SimLibraryTest, DelayHoldsTheCallBack)
{
    sim_.Set("delay.TovPing", "200");
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(Ping(), 0u);
    EXPECT_GE(GetTickCount64() - start, 180u);
}

TEST_F(SimLibraryTest, DelayedCallIsLoggedBeforeItReturns)
{
    sim_.Set("delay.TovOpen", "600");
    std::atomic<bool> returned{false};
    std::thread caller([&] {
        Entry<TovOpenFn>("TovOpen")(1, 5, 20);
        returned = true;
    });
    EXPECT_TRUE(WaitForCall(sim_, "TovOpen", 1, 500));
    EXPECT_FALSE(returned.load());
    caller.join();
    EXPECT_TRUE(returned.load());
}

// --- Writing and capture ------------------------------------------------------------------

struct WriteCase {
    const char *name;
    const char *writeMax;
    DWORD expectedAccepted;
};

class WriteTest : public SimLibraryTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteTest, AcceptsUpToTheLimitAndCapturesIt)
{
    const WriteCase &c = GetParam();
    if (c.writeMax != nullptr)
        sim_.Set("write_max", c.writeMax);
    const std::string data = "0123456789";
    DWORD count = static_cast<DWORD>(data.size());
    EXPECT_EQ(Write(data, &count), 0u);
    EXPECT_EQ(count, c.expectedAccepted);
    count = static_cast<DWORD>(data.size());
    EXPECT_EQ(WriteUni(data, &count), 0u);
    EXPECT_EQ(count, c.expectedAccepted);
    const std::string accepted = data.substr(0, c.expectedAccepted);
    EXPECT_EQ(sim_.CaptureBytes(), accepted + accepted);
}

INSTANTIATE_TEST_SUITE_P(Limits, WriteTest,
                         ::testing::Values(WriteCase{"Unlimited", nullptr, 10}, WriteCase{"Four", "4", 4},
                                           WriteCase{"Nothing", "0", 0}, WriteCase{"AboveOffer", "0x100", 10}),
                         [](const ::testing::TestParamInfo<WriteCase> &info) { return std::string(info.param.name); });

TEST_F(SimLibraryTest, CaptureKeyIsUsedWithoutTheEnvironmentVariable)
{
    SetEnvironmentVariableA("QRMTOV_SIM_CAPTURE", nullptr);
    const std::string alternative = sim_.CapturePath() + ".alt";
    sim_.Set("capture", alternative);
    DWORD count = 3;
    EXPECT_EQ(Write("xyz", &count), 0u);
    EXPECT_EQ(ReadWholeFile(alternative), "xyz");
    EXPECT_TRUE(sim_.CaptureBytes().empty());
}

// --- Data store ------------------------------------------------------------------------

TEST_F(SimLibraryTest, StoredItemsComeBack)
{
    const std::string data = "settings\x01\x02";
    EXPECT_EQ(Store("Calibration", data), 0u);
    std::string read;
    DWORD delivered = 0;
    EXPECT_EQ(Retrieve("Calibration", read, 100, &delivered), 0u);
    EXPECT_EQ(delivered, data.size());
    EXPECT_EQ(read, data);
    EXPECT_EQ(Retrieve("Calibration", read, 4, &delivered), 0u);
    EXPECT_EQ(read, "sett");
}

TEST_F(SimLibraryTest, UnknownItemLeavesDeliveredAlone)
{
    std::string read;
    DWORD delivered = kSentinel;
    EXPECT_EQ(Retrieve("Never stored", read, 100, &delivered), kUnknownItem);
    EXPECT_EQ(delivered, kSentinel);
}

TEST_F(SimLibraryTest, StoredItemsSurviveAReload)
{
    EXPECT_EQ(Store("Counter", "\x2a"), 0u);
    EXPECT_EQ(Store("Counter", "\x2b\x2c"), 0u);
    Unload();
    Load();
    std::string read;
    DWORD delivered = 0;
    EXPECT_EQ(Retrieve("Counter", read, 100, &delivered), 0u);
    EXPECT_EQ(read, "\x2b\x2c");
    EXPECT_NE(ReadWholeFile(sim_.StorePath()).find("2b2c"), std::string::npos) << "kept as hex";
}

TEST_F(SimLibraryTest, ItemNamesAreReadForAtMost36Bytes)
{
    char longName[40];
    std::memset(longName, 'i', sizeof(longName)); // no terminating NUL within reach
    EXPECT_EQ(Store(longName, "v"), 0u);
    std::string read;
    DWORD delivered = 0;
    EXPECT_EQ(Retrieve(std::string(36, 'i').c_str(), read, 10, &delivered), 0u);
    EXPECT_EQ(read, "v");
    EXPECT_EQ(sim_.CallsNamed("TovStoreData").at(0).args.at(3), std::string(36, 'i'));
}

// --- Call log --------------------------------------------------------------------------

TEST_F(SimLibraryTest, LogsExactLines)
{
    const BYTE mask[4] = {0x01, 0x02, 0xfe, 0xff};
    const BYTE request[2] = {0x0a, 0x0b};
    BYTE reply[16] = {};
    DWORD replyLength = 16;
    DWORD count = 3;
    WORD alertCount = 200;
    BYTE alerts[200] = {};
    const HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));

    Entry<TovRegisterAppFn>("TovRegisterApp")(window);
    Entry<TovCaptureAlertsFn>("TovCaptureAlerts")(3, 5, mask, window, 0);
    Entry<TovQueryAlertsFn>("TovQueryAlerts")(3, 9, 70000, 2, alerts, &alertCount);
    Entry<TovSendBidiFn>("TovSendBidi")(3, 7, 0, 170, reply, &replyLength, request, 2);
    Entry<TovWriteFn>("TovWrite")(3, 5, 0, reinterpret_cast<const BYTE *>("ABC"), &count, 1);
    Entry<TovSetEndOfJobModeFn>("TovSetEndOfJobMode")(3, 5, 2, 10, 11);
    Entry<TovQueryPortTypeFn>("TovQueryPortType")();
    Entry<TovStoreDataFn>("TovStoreData")(3, "Office", 0, "Item", reinterpret_cast<const BYTE *>("\x01\xab"), 2, 1);
    Entry<TovRetrieveDataFn>("TovRetrieveData")(3, "Office", 0, "Item", reply, 16, &count, 0);
    Entry<TovPingFn>("TovPing")(0);

    const std::vector<std::string> expected = {
        "TovRegisterApp\t4660",
        "TovCaptureAlerts\t3\t5\t0102feff\t4660\t0",
        "TovQueryAlerts\t3\t9\t70000\t2\t200",
        "TovSendBidi\t3\t7\t0\t170\t16\t0a0b\t2",
        "TovWrite\t3\t5\t0\t3\t3\t1\t414243",
        "TovSetEndOfJobMode\t3\t5\t2\t10\t11",
        "TovQueryPortType",
        "TovStoreData\t3\tOffice\t0\tItem\t01ab\t2\t1",
        "TovRetrieveData\t3\tOffice\t0\tItem\t16\t0",
        "TovPing\t0",
    };
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(SimLibraryTest, WriteLogShowsAtMost64Bytes)
{
    const std::string data(100, 'z');
    DWORD count = 100;
    sim_.Set("write_max", "30");
    EXPECT_EQ(WriteUni(data, &count), 0u);
    const std::vector<SimCall> calls = sim_.CallsNamed("TovWriteUNI");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (std::vector<std::string>{"LPT1:", "100", "30", ToHex(data.data(), 64)}))
        << FormatCall(calls[0]);
}

TEST_F(SimLibraryTest, ConcurrentCallsProduceWholeLines)
{
    constexpr int kThreads = 6;
    constexpr int kCallsEach = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kCallsEach; ++i)
                Entry<TovCloseFn>("TovClose")(static_cast<WORD>(t), static_cast<WORD>(i));
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kCallsEach));
    std::set<std::string> distinct(lines.begin(), lines.end());
    EXPECT_EQ(distinct.size(), lines.size());
    for (const SimCall &call : sim_.Calls())
        EXPECT_EQ(call.args.size(), 2u) << FormatCall(call);
}

// --- Settings while loaded -------------------------------------------------------------

TEST_F(SimLibraryTest, SettingsChangesArePickedUpWhileLoaded)
{
    EXPECT_EQ(Ping(), 0u);
    sim_.Set("ping_answer", "7");
    EXPECT_EQ(Ping(), 7u);
    // Two rewrites in quick succession, same file size: both must be noticed.
    sim_.Set("ping_answer", "8");
    EXPECT_EQ(Ping(), 8u);
    sim_.Set("ping_answer", "9");
    EXPECT_EQ(Ping(), 9u);
    sim_.Clear("ping_answer");
    EXPECT_EQ(Ping(), 0u);
}

TEST_F(SimLibraryTest, MissingSettingsFileMeansDefaults)
{
    SetEnvironmentVariableA("QRMTOV_SIM_CONFIG", (sim_.ConfigPath() + ".absent").c_str());
    sim_.Set("ping_answer", "7");
    EXPECT_EQ(Ping(), 0u);
    EXPECT_EQ(Entry<TovRegisterAppFn>("TovRegisterApp")(nullptr), 1);
}

// --- Alert window ------------------------------------------------------------------------

class MessageWindow {
public:
    MessageWindow() : window_(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr))
    {
    }
    ~MessageWindow()
    {
        if (window_ != nullptr)
            DestroyWindow(window_);
    }
    MessageWindow(const MessageWindow &) = delete;
    MessageWindow &operator=(const MessageWindow &) = delete;
    HWND Get() const { return window_; }

    bool TakeStatusMessage(MSG &message) const
    {
        return PeekMessageA(&message, window_, kStatusChangedMessage, kStatusChangedMessage, PM_REMOVE) != FALSE;
    }

private:
    HWND window_;
};

TEST_F(SimLibraryTest, EndDocPostsStatusWhileAlertsAreCaptured)
{
    MessageWindow window;
    ASSERT_NE(window.Get(), nullptr);
    const BYTE mask[4] = {0xff, 0xff, 0xff, 0xff};
    sim_.Set("post_status_after_enddoc", "20000");
    Entry<TovRegisterAppFn>("TovRegisterApp")(window.Get());
    ASSERT_EQ(Entry<TovCaptureAlertsFn>("TovCaptureAlerts")(1, 5, mask, window.Get(), 0), 0u);
    EXPECT_EQ(Entry<TovEndDocFn>("TovEndDoc")(5, 0), 0u);
    MSG message{};
    ASSERT_TRUE(window.TakeStatusMessage(message));
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_EQ(message.lParam, 0x20000);

    Entry<TovReleaseAlertsFn>("TovReleaseAlerts")(1, 5, 1);
    EXPECT_EQ(Entry<TovEndDocFn>("TovEndDoc")(5, 0), 0u);
    EXPECT_FALSE(window.TakeStatusMessage(message));
}

TEST_F(SimLibraryTest, EndDocPostsNothingByDefault)
{
    MessageWindow window;
    const BYTE mask[4] = {0xff, 0xff, 0xff, 0xff};
    Entry<TovCaptureAlertsFn>("TovCaptureAlerts")(1, 5, mask, window.Get(), 0);
    Entry<TovEndDocFn>("TovEndDoc")(5, 0);
    MSG message{};
    EXPECT_FALSE(window.TakeStatusMessage(message));
}

// --- Defensive against null pointers -----------------------------------------------------

TEST_F(SimLibraryTest, NullPointersAreRefused)
{
    BYTE buffer[16] = {};
    DWORD length = 16;
    const DWORD results[] = {
        Entry<TovEnumSpecificPortFn>("TovEnumSpecificPort")(1, 4095, nullptr, &CollectRecord),
        Entry<TovEnumByUNCFn>("TovEnumByUNC")(1, 4095, "\\\\s\\q", nullptr),
        Entry<TovCaptureAlertsFn>("TovCaptureAlerts")(1, 5, nullptr, nullptr, 0),
        Entry<TovQueryAlertsFn>("TovQueryAlerts")(1, 0, 0, 2, buffer, nullptr),
        Entry<TovQueryPrinterStatusFn>("TovQueryPrinterStatus")(1, 5, 4095, nullptr, 1036, &length),
        Entry<TovGetDeviceIDStringExFn>("TovGetDeviceIDStringEx")(1, 5, 4095, nullptr, 16, &length),
        Entry<TovSendBidiFn>("TovSendBidi")(1, 7, 0, 170, buffer, nullptr, buffer, 2),
        Entry<TovSendBidiFn>("TovSendBidi")(1, 7, 0, 170, buffer, &length, nullptr, 2),
        Entry<TovWriteFn>("TovWrite")(1, 5, 0, nullptr, &length, 1),
        Entry<TovWriteFn>("TovWrite")(1, 5, 0, buffer, nullptr, 1),
        Entry<TovWriteUNIFn>("TovWriteUNI")(nullptr, buffer, &length),
        Entry<TovStoreDataFn>("TovStoreData")(1, nullptr, 0, "item", buffer, 2, 1),
        Entry<TovStoreDataFn>("TovStoreData")(1, "Office", 0, nullptr, buffer, 2, 1),
        Entry<TovRetrieveDataFn>("TovRetrieveData")(1, "Office", 0, "item", buffer, 16, nullptr, 0),
    };
    for (size_t i = 0; i < std::size(results); ++i)
        EXPECT_EQ(results[i], kInvalidArgument) << "case " << i;
    EXPECT_TRUE(sim_.CaptureBytes().empty());
    EXPECT_EQ(sim_.Calls().size(), std::size(results)) << "refused calls are still logged";
}

} // namespace
