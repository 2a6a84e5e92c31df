// Inputs that do not come through messages: the command line, registry values of any
// type and size, a "Port" value too long for its buffer, keys that are missing. Run in
// this process with every buffer the service is handed ending at a page no one may touch,
// so that reading or writing one byte too far is an access violation, not silent damage.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "battery.h"
#include "battery_support.h"
#include "config/port_discovery.h"
#include "config/printer_registry.h"
#include "core/instance_state.h"
#include "fake_tov.h"
#include "handlers/message_handlers.h"
#include "platform_recorder.h"
#include "qelapp32/client.h"
#include "support/test_instance.h"

namespace {

constexpr size_t kPortBufferSize = 260;

struct RawValue {
    const char *label;
    DWORD type;
    std::string bytes;
};

std::string Repeat(char c, size_t count)
{
    return std::string(count, c);
}

std::string Terminated(const std::string &text)
{
    return text + std::string(1, '\0');
}

// Values of every type and of sizes around each buffer the service reads into.
std::vector<RawValue> OddValues()
{
    return {
        {"dword", REG_DWORD, std::string("\x01\x00\x00\x00", 4)},
        {"empty binary", REG_BINARY, ""},
        {"binary 1", REG_BINARY, "\x07"},
        {"binary 3", REG_BINARY, "abc"},
        {"binary 5", REG_BINARY, "abcde"},
        {"binary 36 unterminated", REG_BINARY, Repeat('n', 36)},
        {"binary 37", REG_BINARY, Repeat('n', 37)},
        {"binary 512", REG_BINARY, Repeat('\x5A', 512)},
        {"binary 513", REG_BINARY, Repeat('\x5A', 513)},
        {"binary 4096", REG_BINARY, Repeat('\x5A', 4096)},
        {"empty string", REG_SZ, Terminated("")},
        {"string 35", REG_SZ, Terminated(Repeat('s', 35))},
        {"string 36", REG_SZ, Terminated(Repeat('s', 36))},
        {"string 300", REG_SZ, Terminated(Repeat('s', 300))},
        {"string unterminated", REG_SZ, Repeat('u', 36)},
        {"string of digits", REG_SZ, Terminated("512")},
        {"expand string", REG_EXPAND_SZ, Terminated("%SystemRoot%\\" + Repeat('e', 40))},
        {"multi string", REG_MULTI_SZ, std::string("ab\0cd\0\0", 7)},
        {"qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {"none", REG_NONE, "\x01\x02"},
    };
}

bool WriteRawValue(const std::string &path, const std::string &value, const RawValue &raw)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG result =
        RegSetValueExA(key, value.c_str(), 0, raw.type, reinterpret_cast<const BYTE *>(raw.bytes.data()),
                       static_cast<DWORD>(raw.bytes.size()));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

// The size the registry reports to a reader of the ANSI interface.
DWORD StoredSize(const std::string &path, const std::string &value)
{
    HKEY key = nullptr;
    DWORD size = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0xFFFFFFFF;
    if (RegQueryValueExA(key, value.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        size = 0xFFFFFFFF;
    RegCloseKey(key);
    return size;
}

std::string PrinterKeyPath(const std::string &printer)
{
    return QEL_PRINTERS_KEY_PREFIX + printer;
}

std::string DriverDataPath(const std::string &printer)
{
    return PrinterKeyPath(printer) + QEL_DRIVER_DATA_SUFFIX;
}

bool IsTerminatedWithin(const char *text, size_t size)
{
    return std::memchr(text, '\0', size) != nullptr;
}

// The service's state as a fresh instance has it, for the in-process calls.
class InstanceStateScope {
public:
    explicit InstanceStateScope(const char *printerName)
    {
        g_printerName = printerName;
        g_appId = 1;
        g_nonBidiMode = 0;
        g_portName[0] = '\0';
        g_portType = kPortUnknown;
        g_hPrinter = 0;
        g_reEnumerate = 1;
    }
    ~InstanceStateScope()
    {
        g_printerName = nullptr;
        g_appId = kUnregisteredAppId;
        g_portName[0] = '\0';
        g_portType = kPortUnknown;
        g_hPrinter = 0;
        g_reEnumerate = 1;
    }
    InstanceStateScope(const InstanceStateScope &) = delete;
    InstanceStateScope &operator=(const InstanceStateScope &) = delete;
};

} // namespace

TEST(OddInputs, CommandLinesAreNeverReadPastTheirEnd)
{
    std::mt19937 random = MakeGenerator("command-line-in-process");
    std::vector<std::string> lines = {
        "",
        "prog",
        "prog ",
        "prog /",
        "prog /Q",
        "prog /q ",
        "prog //////",
        "prog /x/Q Name",
        "prog \x81",
        "prog /\x81",
        "prog /Q\x81\x40",
        "prog Name\x82",
        "\x81\x81\x81\x81",
        "prog " + Repeat('x', 10000),
        "prog " + Repeat('/', 9999),
        "prog " + Repeat(' ', 9999),
    };
    for (int i = 0; i < 200; ++i) {
        std::string line(random() % 300, '\0');
        for (char &c : line)
            c = static_cast<char>(1 + random() % 255);
        lines.push_back(line);
    }
    ReportFigure("ansi_code_page", std::to_string(GetACP()));
    for (const std::string &text : lines) {
        GuardedPages buffer(text.size() + 1);
        const char *line = buffer.PlaceText(text);
        g_checkOnly = false;
        const char *name = ParseCommandLine(line);
        ASSERT_NE(nullptr, name);
        EXPECT_GE(name, line);
        EXPECT_LE(name, line + text.size()) << "the printer name starts past the terminator";
    }
    g_checkOnly = false;
    EXPECT_EQ(nullptr, ParseCommandLine(nullptr));
}

TEST(OddInputs, RegistryValuesOfAnyTypeAndSizeStayInTheirBuffers)
{
    TestPrinterKey printer(UniquePrinterName("regodd"), "LPT1:");
    GuardedPages name(printer.Name().size() + 1);
    const char *printerName = name.PlaceText(printer.Name());
    const std::string path = DriverDataPath(printer.Name());
    const char *valueNames[] = {QEL_VALUE_NON_BIDI, QEL_VALUE_STORE_NAME, QEL_VALUE_STORE_SIZE, QEL_VALUE_STORE_DATA};

    for (const char *valueName : valueNames) {
        for (const RawValue &raw : OddValues()) {
            SCOPED_TRACE(std::string(valueName) + ": " + raw.label);
            ASSERT_TRUE(WriteRawValue(path, valueName, raw));
            const DWORD stored = StoredSize(path, valueName);

            GuardedPages dword(sizeof(DWORD));
            std::memset(dword.Tail(sizeof(DWORD)), 0xEE, sizeof(DWORD));
            const int dwordRead =
                GetPrinterRegistryDWORD(printerName, valueName, reinterpret_cast<DWORD *>(dword.Tail(sizeof(DWORD))));
            EXPECT_EQ(stored <= sizeof(DWORD) ? 1 : 0, dwordRead);

            GuardedPages text(QEL_STORE_NAME_SIZE);
            DWORD textSize = QEL_STORE_NAME_SIZE;
            const int textRead =
                GetPrinterRegistryString(printerName, valueName, text.TailText(QEL_STORE_NAME_SIZE), &textSize);
            EXPECT_EQ(stored <= QEL_STORE_NAME_SIZE ? 1 : 0, textRead);

            for (DWORD size : {0u, 4u, 36u, 512u}) {
                GuardedPages binary(size);
                const int binaryRead = GetPrinterRegistryBinary(printerName, valueName, binary.Tail(size), size);
                EXPECT_EQ(stored <= size ? 1 : 0, binaryRead) << "into " << size << " bytes";
            }
        }
    }
}

TEST(OddInputs, PortValuesOfAnyShapeAreReadIntoTheirBuffer)
{
    PlatformRecorder platform;
    FakeTov tov;
    TestPrinterKey printer(UniquePrinterName("portodd"), "LPT1:");
    GuardedPages name(printer.Name().size() + 1);
    const InstanceStateScope state(name.PlaceText(printer.Name()));

    struct PortCase {
        RawValue value;
        int answer;
    };
    const PortCase cases[] = {
        {{"string 259", REG_SZ, Terminated(Repeat('P', 259))}, 1},
        {{"string 260", REG_SZ, Terminated(Repeat('P', 260))}, 0},
        {{"string 300", REG_SZ, Terminated(Repeat('P', 300))}, 0},
        {{"binary 260 unterminated", REG_BINARY, Repeat('B', 260)}, 1},
        {{"binary 261", REG_BINARY, Repeat('B', 261)}, 0},
        {{"empty binary", REG_BINARY, ""}, 1},
        {{"dword", REG_DWORD, std::string("\x4C\x50\x54\x00", 4)}, 1},
        {{"multi string", REG_MULTI_SZ, std::string("USB001\0LPT1:\0\0", 14)}, 1},
        {{"usb string", REG_SZ, Terminated("USB" + Repeat('9', 250))}, 1},
        {{"unc string", REG_SZ, Terminated("\\\\" + Repeat('s', 257))}, 1},
    };
    for (const PortCase &port : cases) {
        SCOPED_TRACE(port.value.label);
        ASSERT_TRUE(WriteRawValue(PrinterKeyPath(printer.Name()), QEL_VALUE_PORT, port.value));
        tov.ResetCalls();
        EXPECT_EQ(port.answer, RefreshPrinterPort());
        EXPECT_TRUE(IsTerminatedWithin(g_portName, kPortBufferSize));
        for (const SimCall &call : tov.Calls()) {
            if (call.name == "TovEnumSpecificPort" || call.name == "TovEnumByUNC") {
                EXPECT_LT(call.args.at(2).size(), kPortBufferSize) << "the name the library was given";
            }
        }
    }
    // A missing value, then a printer whose key is gone: nothing found, one line each.
    printer.DeletePortValue();
    platform.ClearLines();
    EXPECT_EQ(0, RefreshPrinterPort());
    EXPECT_EQ(1u, platform.Lines().size());
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, PrinterKeyPath(printer.Name()).c_str());
    platform.ClearLines();
    EXPECT_EQ(0, RefreshPrinterPort());
    EXPECT_EQ(1u, platform.Lines().size());
    EXPECT_TRUE(IsTerminatedWithin(g_portName, kPortBufferSize));

    // Printer names around the key path's limit.
    for (size_t length : {193u, 194u, 250u, 400u}) {
        GuardedPages longName(length + 1);
        g_printerName = longName.PlaceText(Repeat('L', length));
        EXPECT_EQ(0, RefreshPrinterPort()) << length << " characters: no such printer";
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, PrinterKeyPath(g_printerName).c_str());
    }
}

TEST(OddInputs, StoreMailboxOfAnyShapeNeverPassesMoreThanItsBuffers)
{
    PlatformRecorder platform;
    FakeTov tov;
    TestPrinterKey printer(UniquePrinterName("mailodd"), "LPT1:");
    GuardedPages name(printer.Name().size() + 1);
    const InstanceStateScope state(name.PlaceText(printer.Name()));
    const std::string path = DriverDataPath(printer.Name());

    struct Mailbox {
        RawValue name;
        RawValue size;
        RawValue data;
    };
    const RawValue goodName{"good name", REG_SZ, Terminated("item")};
    const RawValue goodSize{"size 4", REG_DWORD, std::string("\x04\x00\x00\x00", 4)};
    const RawValue size512{"size 512", REG_DWORD, std::string("\x00\x02\x00\x00", 4)};
    const RawValue goodData{"good data", REG_BINARY, "\x01\x02\x03\x04"};
    const RawValue longData{"data 600", REG_BINARY, Repeat('D', 600)};
    std::vector<RawValue> sizes = OddValues();
    sizes.push_back({"size 0", REG_DWORD, std::string(4, '\0')});
    sizes.push_back(size512);
    sizes.push_back({"size 513", REG_DWORD, std::string("\x01\x02\x00\x00", 4)});
    sizes.push_back({"size max", REG_DWORD, std::string(4, '\xFF')});
    // Each value in turn takes every odd shape while the others are sound.
    std::vector<Mailbox> mailboxes;
    for (const RawValue &odd : OddValues())
        mailboxes.push_back({odd, goodSize, goodData});
    for (const RawValue &odd : sizes) {
        mailboxes.push_back({goodName, odd, goodData});
        mailboxes.push_back({goodName, odd, longData});
    }
    for (const RawValue &odd : OddValues()) {
        mailboxes.push_back({goodName, goodSize, odd});
        mailboxes.push_back({goodName, size512, odd});
    }
    for (const Mailbox &mailbox : mailboxes) {
        SCOPED_TRACE(std::string(mailbox.name.label) + " / " + mailbox.size.label + " / " + mailbox.data.label);
        ASSERT_TRUE(WriteRawValue(path, QEL_VALUE_STORE_NAME, mailbox.name));
        ASSERT_TRUE(WriteRawValue(path, QEL_VALUE_STORE_SIZE, mailbox.size));
        ASSERT_TRUE(WriteRawValue(path, QEL_VALUE_STORE_DATA, mailbox.data));
        tov.ResetCalls();
        const LRESULT stored = OnStoreData();
        // Whatever name reaches the library finds 600 bytes to hand back.
        for (const SimCall &call : tov.CallsNamed("TovStoreData"))
            tov.store[call.args.at(3)] = Repeat('R', 600);
        tov.store["item"] = Repeat('R', 600);
        const LRESULT retrieved = OnRetrieveData();
        for (const SimCall &call : tov.Calls()) {
            EXPECT_LT(call.args.at(3).size(), QEL_STORE_NAME_SIZE) << FormatCall(call);
            if (call.name == "TovStoreData") {
                EXPECT_LE(std::stoul(call.args.at(5)), QEL_STORE_DATA_SIZE);
                EXPECT_EQ(2 * std::stoul(call.args.at(5)), call.args.at(4).size()) << "the bytes it was given";
            } else {
                EXPECT_LE(std::stoul(call.args.at(4)), QEL_STORE_DATA_SIZE);
            }
        }
        EXPECT_EQ(tov.CallsNamed("TovStoreData").empty() ? 0 : 1, stored);
        EXPECT_EQ(tov.CallsNamed("TovRetrieveData").empty() ? 0 : 1, retrieved);
        if (retrieved == 1) {
            EXPECT_LE(StoredSize(path, QEL_VALUE_STORE_DATA), QEL_STORE_DATA_SIZE);
        }
    }
    // A mailbox value missing, then the mailbox key itself: refused, and nothing is called.
    for (const char *value : {QEL_VALUE_STORE_NAME, QEL_VALUE_STORE_SIZE}) {
        ASSERT_TRUE(WriteRawValue(path, QEL_VALUE_STORE_NAME, goodName));
        ASSERT_TRUE(WriteRawValue(path, QEL_VALUE_STORE_SIZE, goodSize));
        printer.DeleteDriverValue(value);
        tov.ResetCalls();
        EXPECT_EQ(0, OnStoreData()) << value;
        EXPECT_EQ(0, OnRetrieveData()) << value;
        EXPECT_TRUE(tov.Calls().empty()) << value;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    tov.ResetCalls();
    EXPECT_EQ(0, OnStoreData());
    EXPECT_EQ(0, OnRetrieveData());
    EXPECT_TRUE(tov.Calls().empty());
}
