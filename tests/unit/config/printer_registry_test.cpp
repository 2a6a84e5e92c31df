#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "config/printer_registry.h"
#include "core/instance_state.h"
#include "qelapp32/client.h"
#include "support/test_instance.h"

namespace {

// A value of any type and size, written straight to the PrinterDriverData key.
void WriteRaw(const std::string &printer, const char *value, DWORD type, const void *data, DWORD size)
{
    const std::string path = std::string(QEL_PRINTERS_KEY_PREFIX) + printer + QEL_DRIVER_DATA_SUFFIX;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, value, 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(key);
}

bool KeyExists(const std::string &path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

TEST(PrinterRegistry, CreatesAMissingKeyAndRoundTripsValues)
{
    TestPrinterKey printer(UniquePrinterName("reg"), "LPT1:");
    const char *name = printer.Name().c_str();
    EXPECT_EQ(1, SetPrinterRegistryDWORD(name, "QelApp32Hwnd", 0x1234));
    DWORD value = 0;
    EXPECT_EQ(1, GetPrinterRegistryDWORD(name, "QelApp32Hwnd", &value));
    EXPECT_EQ(0x1234u, value);

    const BYTE data[3] = {1, 2, 3};
    EXPECT_EQ(1, SetPrinterRegistryBinary(name, "QelApp32StoreData", data, 3));
    BYTE read[8] = {};
    EXPECT_EQ(1, GetPrinterRegistryBinary(name, "QelApp32StoreData", read, sizeof(read)));
    EXPECT_EQ(0, std::memcmp(data, read, 3));
}

TEST(PrinterRegistry, MissingValueAnswersZeroAndLeavesTheDestination)
{
    TestPrinterKey printer(UniquePrinterName("reg"), "LPT1:");
    DWORD value = 77;
    EXPECT_EQ(0, GetPrinterRegistryDWORD(printer.Name().c_str(), "NON BIDI MODE", &value));
    EXPECT_EQ(77u, value);
}

// A failed start reads the published window handle; for a mistyped printer name that read
// must not leave a phantom key behind.
TEST(PrinterRegistry, ReadsOfAMissingKeyFailAndCreateNothing)
{
    for (const bool printerKeyExists : {false, true}) {
        const std::string name = UniquePrinterName("regnokey");
        const std::string printerPath = std::string(QEL_PRINTERS_KEY_PREFIX) + name;
        {
            std::unique_ptr<TestPrinterKey> printer;
            if (printerKeyExists)
                printer = std::make_unique<TestPrinterKey>(name, "LPT1:");
            DWORD dword = 0;
            BYTE binary[4] = {};
            char text[8] = {};
            DWORD textSize = sizeof(text);
            EXPECT_EQ(0, GetPrinterRegistryDWORD(name.c_str(), "QelApp32Hwnd", &dword));
            EXPECT_EQ(0, GetPrinterRegistryBinary(name.c_str(), "QelApp32StoreData", binary, sizeof(binary)));
            EXPECT_EQ(0, GetPrinterRegistryString(name.c_str(), "QelApp32StoreDataName", text, &textSize));
            EXPECT_FALSE(KeyExists(printerPath + QEL_DRIVER_DATA_SUFFIX)) << printerKeyExists;
            EXPECT_EQ(printerKeyExists, KeyExists(printerPath));
        }
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, printerPath.c_str());
    }
}

// The registry leaves a buffer undefined after a read that does not fit.
TEST(PrinterRegistry, ReadThatDoesNotFitLeavesTheDestinationAsItWas)
{
    TestPrinterKey printer(UniquePrinterName("reg"), "LPT1:");
    const char *name = printer.Name().c_str();
    printer.SetDriverString("QelApp32StoreDataName", std::string(40, 'n'));
    printer.SetDriverBinary("QelApp32StoreData", std::string(40, 'd'));

    const std::string untouched(36, 'x');
    std::string text = untouched;
    DWORD textSize = static_cast<DWORD>(text.size());
    EXPECT_EQ(0, GetPrinterRegistryString(name, "QelApp32StoreDataName", &text[0], &textSize));
    EXPECT_EQ(untouched, text);
    EXPECT_EQ(36u, textSize);

    std::string binary = untouched;
    EXPECT_EQ(0, GetPrinterRegistryBinary(name, "QelApp32StoreData", reinterpret_cast<BYTE *>(&binary[0]),
                                          static_cast<DWORD>(binary.size())));
    EXPECT_EQ(untouched, binary);
}

TEST(PrinterRegistry, DwordReaderTakesAnyTypeThatFitsFourBytes)
{
    struct Case {
        DWORD type;
        std::string bytes;
        int answer;
        DWORD value;
    };
    const Case cases[] = {
        {REG_DWORD, std::string("\x01\x00\x00\x00", 4), 1, 1},
        {REG_BINARY, std::string("\x07\x00", 2), 1, 0xAAAA0007}, // only two bytes are written
        {REG_SZ, std::string("ab\0", 3), 1, 0xAA006261},
        {REG_BINARY, std::string("\x01\x02\x03\x04\x05", 5), 0, 0xAAAAAAAA},
    };
    for (const Case &c : cases) {
        TestPrinterKey printer(UniquePrinterName("reg"), "LPT1:");
        WriteRaw(printer.Name(), "NON BIDI MODE", c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
        DWORD value = 0xAAAAAAAA;
        EXPECT_EQ(c.answer, GetPrinterRegistryDWORD(printer.Name().c_str(), "NON BIDI MODE", &value));
        EXPECT_EQ(c.value, value);
    }
}

TEST(PrinterRegistry, StringReaderReportsTheStoredSizeAndRefusesWhatDoesNotFit)
{
    TestPrinterKey printer(UniquePrinterName("reg"), "LPT1:");
    printer.SetDriverString("QelApp32StoreDataName", "item");
    char buffer[36] = {};
    DWORD size = sizeof(buffer);
    EXPECT_EQ(1, GetPrinterRegistryString(printer.Name().c_str(), "QelApp32StoreDataName", buffer, &size));
    EXPECT_STREQ("item", buffer);
    EXPECT_EQ(5u, size);

    printer.SetDriverString("QelApp32StoreDataName", std::string(40, 'n'));
    size = sizeof(buffer);
    EXPECT_EQ(0, GetPrinterRegistryString(printer.Name().c_str(), "QelApp32StoreDataName", buffer, &size));
}

TEST(PrinterRegistry, ZeroWindowHandleStaysPresent)
{
    TestPrinterKey printer(UniquePrinterName("reg"), "LPT1:");
    EXPECT_EQ(1, SetPrinterRegistryDWORD(printer.Name().c_str(), "QelApp32Hwnd", 0));
    DWORD value = 5;
    EXPECT_TRUE(printer.ReadDriverDword("QelApp32Hwnd", &value));
    EXPECT_EQ(0u, value);
}

TEST(PrinterRegistry, RefusesNamesThatDoNotFitTheKeyPath)
{
    const std::string fits(193, 'f');
    const std::string tooLong(194, 'f');
    char path[kNameBufferSize];
    EXPECT_TRUE(BuildPrinterKeyPath(path, fits.c_str(), QEL_DRIVER_DATA_SUFFIX));
    EXPECT_EQ(kNameBufferSize - 1, std::strlen(path));
    EXPECT_FALSE(BuildPrinterKeyPath(path, tooLong.c_str(), QEL_DRIVER_DATA_SUFFIX));
    EXPECT_EQ(0, SetPrinterRegistryDWORD(tooLong.c_str(), "QelApp32Hwnd", 1));
    DWORD value = 0;
    EXPECT_EQ(0, GetPrinterRegistryDWORD(tooLong.c_str(), "QelApp32Hwnd", &value));
}
