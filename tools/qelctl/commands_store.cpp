// 1139 and 1140: named data items in the printer, passed through registry values
// under the printer's PrinterDriverData key (write the values, send, read back).
#include "commands.h"

#include "exit_codes.h"
#include "packet_decoding.h"
#include "printer_values.h"
#include "qelapp32/client.h"

namespace {

constexpr size_t kMaxItemNameLength = QEL_STORE_NAME_SIZE - 1; // the instance's buffer holds the terminator too

int CheckItemName(CommandContext &context, const std::string &name)
{
    if (name.empty() || name.size() > kMaxItemNameLength)
        return context.out.Fail(kExitUsage,
                                "the item name must have 1 to " + std::to_string(kMaxItemNameLength) + " characters");
    return kExitOk;
}

int FailRegistryWrite(CommandContext &context, const char *value)
{
    return context.out.Fail(kExitSystem, std::string("cannot write \"") + value + "\" under HKLM\\" +
                                             DriverDataKeyPath(context.printer) + " (error " +
                                             std::to_string(GetLastError()) + ")");
}

int ReadItemBytes(CommandContext &context, std::string *bytes)
{
    const std::string *text = OptionValue(context.invocation, "--text");
    if ((text != nullptr) == (context.args.size() == 2))
        return context.out.Fail(kExitUsage, "store takes the data as HEX or as --text TEXT, exactly one of them");
    if (text == nullptr)
        return ParseHexArgument(context, context.args[1], QEL_STORE_DATA_SIZE, bytes);
    if (text->size() > QEL_STORE_DATA_SIZE)
        return context.out.Fail(kExitUsage, "the text has " + std::to_string(text->size()) + " bytes, at most " +
                                                std::to_string(QEL_STORE_DATA_SIZE) + " allowed");
    *bytes = *text;
    return kExitOk;
}

} // namespace

int RunStore(CommandContext &context)
{
    const std::string &name = context.args[0];
    std::string bytes;
    if (const int code = CheckItemName(context, name))
        return code;
    if (const int code = ReadItemBytes(context, &bytes))
        return code;
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    if (!WriteDriverString(context.printer, QEL_VALUE_STORE_NAME, name))
        return FailRegistryWrite(context, QEL_VALUE_STORE_NAME);
    if (!WriteDriverDword(context.printer, QEL_VALUE_STORE_SIZE, static_cast<DWORD>(bytes.size())))
        return FailRegistryWrite(context, QEL_VALUE_STORE_SIZE);
    if (!WriteDriverBinary(context.printer, QEL_VALUE_STORE_DATA, bytes))
        return FailRegistryWrite(context, QEL_VALUE_STORE_DATA);
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, WM_QELAPP32_STOREDATA, 0, 0, &answer))
        return code;
    context.out.Fields().Add("name", name);
    context.out.Fields().Add("size", static_cast<unsigned>(bytes.size()));
    context.out.Fields().Add("hex", FormatHexBytes(bytes));
    return ReportOneOrZero(context, answer,
                           "stored \"" + name + "\" (" + std::to_string(bytes.size()) + " bytes) in the printer",
                           "store failed: TovStoreData refused (see qelctl PRINTER log)");
}

int RunRetrieve(CommandContext &context)
{
    const std::string &name = context.args[0];
    if (const int code = CheckItemName(context, name))
        return code;
    DWORD size = 0;
    if (!ParseNumber(context.args[1], &size) || size == 0 || size > QEL_STORE_DATA_SIZE)
        return context.out.Fail(kExitUsage, "SIZE must be a number from 1 to " + std::to_string(QEL_STORE_DATA_SIZE) +
                                                ", not \"" + context.args[1] + "\"");
    Instance instance;
    if (const int code = ConnectToInstance(context, &instance))
        return code;
    if (!WriteDriverString(context.printer, QEL_VALUE_STORE_NAME, name))
        return FailRegistryWrite(context, QEL_VALUE_STORE_NAME);
    if (!WriteDriverDword(context.printer, QEL_VALUE_STORE_SIZE, size))
        return FailRegistryWrite(context, QEL_VALUE_STORE_SIZE);
    // A failed retrieve writes nothing; without this an earlier item's count would pass for ours.
    DeleteDriverValue(context.printer, QEL_VALUE_STORE_RETRIEVED);
    DWORD answer = 0;
    if (const int code = AskInstance(context, instance, WM_QELAPP32_RETRIEVEDATA, 0, 0, &answer))
        return code;
    context.out.Fields().Add("name", name);
    context.out.Fields().Add("requested", size);
    if (const int code = ReportOneOrZero(context, answer, "retrieved \"" + name + "\"",
                                         "retrieve failed: TovRetrieveData refused (see qelctl PRINTER log)"))
        return code;
    const std::optional<DWORD> count = ReadDriverDword(context.printer, QEL_VALUE_STORE_RETRIEVED);
    const std::optional<std::string> data = ReadDriverBytes(context.printer, QEL_VALUE_STORE_DATA);
    if (!count || !data)
        return context.out.Fail(kExitRefused, "the instance answered 1 but left no " QEL_VALUE_STORE_RETRIEVED
                                              " or " QEL_VALUE_STORE_DATA " value");
    const std::string bytes = data->substr(0, *count);
    context.out.Fields().Add("retrieved", *count);
    context.out.Fields().Add("hex", FormatHexBytes(bytes));
    context.out.Fields().Add("text", FormatPrintable(bytes));
    context.out.Line(std::to_string(*count) + " bytes: " + FormatHexBytes(bytes));
    context.out.Line("as text: " + FormatPrintable(bytes));
    return kExitOk;
}
