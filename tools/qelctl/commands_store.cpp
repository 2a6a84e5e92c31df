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

// The mailbox values could not be written (or, after a retrieve, read).
int FailMailbox(CommandContext &context)
{
    return context.out.Fail(kExitSystem, "cannot use the store values under HKLM\\" +
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
    // The library holds the printer's mailbox mutex from the values to the answer.
    DWORD_PTR raw = 0;
    const QelResult result = QelStoreData(instance.Client(), name.c_str(), bytes.data(),
                                          static_cast<DWORD>(bytes.size()), context.answerTimeoutMs, &raw);
    if (result == QEL_SYSTEM)
        return FailMailbox(context);
    if (const int code = CheckDelivered(context, result, WM_QELAPP32_STOREDATA))
        return code;
    const DWORD answer = QEL_ANSWER(raw);
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
    std::string bytes(size, '\0');
    DWORD delivered = 0;
    DWORD_PTR raw = 0;
    const QelResult result =
        QelRetrieveData(instance.Client(), name.c_str(), &bytes[0], size, &delivered, context.answerTimeoutMs, &raw);
    if (result == QEL_SYSTEM && QEL_ANSWER(raw) != 1)
        return FailMailbox(context);
    if (const int code = CheckDelivered(context, result, WM_QELAPP32_RETRIEVEDATA))
        return code;
    context.out.Fields().Add("name", name);
    context.out.Fields().Add("requested", size);
    if (const int code = ReportOneOrZero(context, QEL_ANSWER(raw), "retrieved \"" + name + "\"",
                                         "retrieve failed: TovRetrieveData refused (see qelctl PRINTER log)"))
        return code;
    if (result == QEL_SYSTEM)
        return context.out.Fail(kExitRefused, "the instance answered 1 but left no " QEL_VALUE_STORE_RETRIEVED
                                              " or " QEL_VALUE_STORE_DATA " value");
    bytes.resize(delivered);
    context.out.Fields().Add("retrieved", delivered);
    context.out.Fields().Add("hex", FormatHexBytes(bytes));
    context.out.Fields().Add("text", FormatPrintable(bytes));
    context.out.Line(std::to_string(delivered) + " bytes: " + FormatHexBytes(bytes));
    context.out.Line("as text: " + FormatPrintable(bytes));
    return kExitOk;
}
