#include <array>
#include <cstring>

#include "config/printer_registry.h"
#include "core/instance_state.h"
#include "core/log.h"
#include "handlers/message_handlers.h"
#include "qelapp32/client.h"
#include "tovlib/tov_library.h"

namespace {

constexpr DWORD kStoreNone = 0;
constexpr DWORD kStoreReplace = 1;
constexpr DWORD kRetrieveNone = 0;

using ItemName = std::array<char, QEL_STORE_NAME_SIZE>;
using ItemData = std::array<BYTE, QEL_STORE_DATA_SIZE>;

// The name and byte count a client left in the mailbox. Both buffers are fixed, so a
// request that would not fit them is refused before anything reaches the library.
bool ReadItemRequest(const char *messageName, ItemName &name, DWORD &count)
{
    name.fill('\0');
    DWORD nameSize = QEL_STORE_NAME_SIZE;
    if (!GetPrinterRegistryString(g_printerName, QEL_VALUE_STORE_NAME, name.data(), &nameSize)) {
        LogError("%s: %s missing or longer than %u bytes\n", messageName, QEL_VALUE_STORE_NAME, QEL_STORE_NAME_SIZE);
        return false;
    }
    if (std::memchr(name.data(), '\0', name.size()) == nullptr) {
        LogError("%s: %s not terminated within %u bytes\n", messageName, QEL_VALUE_STORE_NAME, QEL_STORE_NAME_SIZE);
        return false;
    }
    count = 0;
    if (!GetPrinterRegistryDWORD(g_printerName, QEL_VALUE_STORE_SIZE, &count)) {
        LogError("%s: %s missing\n", messageName, QEL_VALUE_STORE_SIZE);
        return false;
    }
    if (count > QEL_STORE_DATA_SIZE) {
        LogError("%s: %s %lu above %u bytes\n", messageName, QEL_VALUE_STORE_SIZE, count, QEL_STORE_DATA_SIZE);
        return false;
    }
    return true;
}

// The registry read succeeds for a value shorter than asked, which would pass zeros the
// client never wrote; one byte less must then fail, or the value is short.
bool ReadItemData(ItemData &data, DWORD count)
{
    data.fill(0);
    if (!GetPrinterRegistryBinary(g_printerName, QEL_VALUE_STORE_DATA, data.data(), count))
        return false;
    if (count == 0)
        return true;
    ItemData probe{};
    return GetPrinterRegistryBinary(g_printerName, QEL_VALUE_STORE_DATA, probe.data(), count - 1) == 0;
}

} // namespace

LRESULT OnStoreData()
{
    ItemName name;
    DWORD count = 0;
    if (!ReadItemRequest("WM_QELAPP32_STOREDATA", name, count))
        return 0;
    ItemData data;
    if (!ReadItemData(data, count)) {
        LogError("WM_QELAPP32_STOREDATA: %s missing or not %lu bytes\n", QEL_VALUE_STORE_DATA, count);
        return 0;
    }
    DWORD code =
        g_tov.TovStoreData(CurrentAppId(), g_printerName, kStoreNone, name.data(), data.data(), count, kStoreReplace);
    if (code != 0) {
        LogError("WM_QELAPP32_STOREDATA: TovStoreData failed (%Xh)\n", code);
        return 0;
    }
    return 1;
}

LRESULT OnRetrieveData()
{
    ItemName name;
    DWORD count = 0;
    if (!ReadItemRequest("WM_QELAPP32_RETRIEVEDATA", name, count))
        return 0;
    ItemData data{};
    DWORD delivered = 0;
    DWORD code = g_tov.TovRetrieveData(CurrentAppId(), g_printerName, kStoreNone, name.data(), data.data(), count,
                                       &delivered, kRetrieveNone);
    if (code != 0) {
        LogError("WM_QELAPP32_RETRIEVEDATA: TovRetrieveData failed (%Xh)\n", code);
        return 0;
    }
    // The library was offered count bytes; a larger report is not believed.
    if (delivered > count) {
        LogError("WM_QELAPP32_RETRIEVEDATA: TovRetrieveData delivered %lu of %lu bytes\n", delivered, count);
        delivered = count;
    }
    // Clients read the count first, then the data: written in that order.
    SetPrinterRegistryDWORD(g_printerName, QEL_VALUE_STORE_RETRIEVED, delivered);
    SetPrinterRegistryBinary(g_printerName, QEL_VALUE_STORE_DATA, data.data(), delivered);
    return 1;
}
