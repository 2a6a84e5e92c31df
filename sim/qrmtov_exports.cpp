// The 24 entry points of the simulated communication library. Each one logs its
// arguments, waits if told to, fails if told to, and otherwise behaves as a small
// healthy printer would.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qelapp32/client.h"
#include "sim/sim_config.h"
#include "sim/sim_runtime.h"
#include "sim/sim_text.h"
#include "tovlib/tov_abi.h"

using qrmtov_sim::AppendCapture;
using qrmtov_sim::FormatDecimal;
using qrmtov_sim::FormatHandle;
using qrmtov_sim::FormatHex;
using qrmtov_sim::ReadCallerString;
using qrmtov_sim::ResolveCallLogPath;
using qrmtov_sim::ResolveCapturePath;
using qrmtov_sim::ResolveStorePath;
using qrmtov_sim::RetrieveItem;
using qrmtov_sim::SharedConfig;
using qrmtov_sim::SharedState;
using qrmtov_sim::SimConfig;
using qrmtov_sim::StoreItem;
using qrmtov_sim::WriteCallLine;

namespace {

constexpr DWORD kInvalidArgument = 0x57;
constexpr DWORD kUnknownItem = 0x1002;
constexpr DWORD kStoreWriteFailed = 0x1D;
constexpr size_t kItemNameSize = QEL_STORE_NAME_SIZE; // the library's item names, as the service passes them
constexpr DWORD kLoggedWriteBytes = 64;
constexpr size_t kPrinterNameLimit = 4096;

// One call in progress: the settings it runs under, taken once so that a file
// rewritten mid-call cannot mix two versions.
class Call {
public:
    explicit Call(const char *entryPoint) : entryPoint_(entryPoint), config_(SharedConfig().Current()) {}

    const SimConfig &Settings() const { return *config_; }
    std::optional<DWORD> FailCode() const { return config_->FailCodeFor(entryPoint_); }

    // Logged before the delay, so a test can see a call that is still in progress.
    void Enter(const std::vector<std::string> &fields) const
    {
        WriteCallLine(ResolveCallLogPath(*config_), entryPoint_, fields);
        const DWORD delay = config_->DelayFor(entryPoint_);
        if (delay != 0)
            Sleep(delay);
    }

private:
    const char *entryPoint_;
    std::shared_ptr<const SimConfig> config_;
};

std::string Number(unsigned long long value)
{
    return FormatDecimal(value);
}

std::string NumberAt(const DWORD *value)
{
    return value == nullptr ? std::string() : FormatDecimal(*value);
}

std::string NumberAt(const WORD *value)
{
    return value == nullptr ? std::string() : FormatDecimal(*value);
}

std::string Text(const char *text)
{
    return ReadCallerString(text, kPrinterNameLimit);
}

std::string ItemName(const char *itemName)
{
    return ReadCallerString(itemName, kItemNameSize);
}

// A buffer pointer may be null only when it is paired with a zero size.
bool IsMissing(const void *pointer, DWORD size)
{
    return pointer == nullptr && size != 0;
}

void FillPrinterRecord(std::vector<BYTE> &record, const SimConfig &config, const std::string &name)
{
    std::fill(record.begin(), record.end(), BYTE{0});
    std::memcpy(&record[kPrinterInfoHandleOffset], &config.printerHandle, sizeof(WORD));
    record[kPrinterInfoFlagsOffset] = config.printerFlags;
    const size_t copied = std::min<size_t>(name.size(), kPrinterInfoRemoteNameSize - 1);
    std::memcpy(&record[kPrinterInfoRemoteNameOffset], name.data(), copied);
}

// Both enumerations find the same single printer, named after what was asked for.
DWORD EnumeratePrinters(const Call &call, const char *name, TOVENUMPROC callback)
{
    if (auto code = call.FailCode())
        return *code;
    if (name == nullptr || callback == nullptr)
        return kInvalidArgument;
    const SimConfig &config = call.Settings();
    const std::string printerName = Text(name);
    std::vector<BYTE> record(kPrinterInfoSize);
    for (DWORD i = 0; i < config.enumRecords; ++i) {
        FillPrinterRecord(record, config, printerName);
        callback(record.data());
    }
    return config.enumMask;
}

// What a write hands over; failing or malformed calls accept nothing.
DWORD DecideAccepted(const Call &call, const BYTE *data, const DWORD *count)
{
    if (call.FailCode() || count == nullptr || IsMissing(data, *count))
        return 0;
    const std::optional<DWORD> &writeMax = call.Settings().writeMax;
    return writeMax ? std::min(*count, *writeMax) : *count;
}

std::string LoggedWriteBytes(const BYTE *data, const DWORD *count)
{
    if (count == nullptr)
        return std::string();
    return FormatHex(data, std::min(*count, kLoggedWriteBytes));
}

DWORD CompleteWrite(const Call &call, const BYTE *data, DWORD *count, DWORD accepted)
{
    if (auto code = call.FailCode())
        return *code;
    if (count == nullptr || IsMissing(data, *count))
        return kInvalidArgument;
    *count = accepted;
    AppendCapture(ResolveCapturePath(call.Settings()), data, accepted);
    return 0;
}

DWORD CopyBounded(const std::string &source, void *target, DWORD capacity)
{
    const DWORD copied = static_cast<DWORD>(std::min<size_t>(source.size(), capacity));
    if (copied != 0)
        std::memcpy(target, source.data(), copied);
    return copied;
}

void NotifyStatusAfterEndDoc(const SimConfig &config)
{
    if (!config.postStatusAfterEndDoc)
        return;
    const std::optional<HWND> window = SharedState().CapturedWindow();
    if (window)
        PostMessageA(*window, WM_TOV_STATUSCHANGE, 0, static_cast<LPARAM>(*config.postStatusAfterEndDoc));
}

// Entry points that only acknowledge: log, maybe wait, maybe fail, else 0.
DWORD Acknowledge(const char *entryPoint, const std::vector<std::string> &fields)
{
    Call call(entryPoint);
    call.Enter(fields);
    if (auto code = call.FailCode())
        return *code;
    return 0;
}

} // namespace

extern "C" {

WORD WINAPI TovRegisterApp(HWND alertWindow)
{
    Call call("TovRegisterApp");
    call.Enter({FormatHandle(alertWindow)});
    SharedState().RememberRegisteredWindow(alertWindow);
    return call.Settings().registerAnswer;
}

DWORD WINAPI TovUnregisterApp(WORD appId)
{
    Call call("TovUnregisterApp");
    call.Enter({Number(appId)});
    if (auto code = call.FailCode())
        return *code;
    SharedState().ForgetCapture();
    return 0;
}

DWORD WINAPI TovEnumSpecificPort(WORD appId, DWORD flags, LPCSTR portName, TOVENUMPROC callback)
{
    Call call("TovEnumSpecificPort");
    call.Enter({Number(appId), Number(flags), Text(portName)});
    return EnumeratePrinters(call, portName, callback);
}

DWORD WINAPI TovEnumByUNC(WORD appId, DWORD flags, LPCSTR remoteName, TOVENUMPROC callback)
{
    Call call("TovEnumByUNC");
    call.Enter({Number(appId), Number(flags), Text(remoteName)});
    return EnumeratePrinters(call, remoteName, callback);
}

DWORD WINAPI TovCaptureAlerts(WORD appId, WORD hPrinter, const BYTE *alertMask, HWND alertWindow, DWORD zero)
{
    Call call("TovCaptureAlerts");
    call.Enter({Number(appId), Number(hPrinter), FormatHex(alertMask, 4), FormatHandle(alertWindow), Number(zero)});
    if (auto code = call.FailCode())
        return *code;
    if (alertMask == nullptr)
        return kInvalidArgument;
    SharedState().RememberCapture(alertWindow);
    return 0;
}

DWORD WINAPI TovReleaseAlerts(WORD appId, WORD hPrinter, DWORD one)
{
    Call call("TovReleaseAlerts");
    call.Enter({Number(appId), Number(hPrinter), Number(one)});
    if (auto code = call.FailCode())
        return *code;
    SharedState().ForgetCapture();
    return 0;
}

DWORD WINAPI TovQueryAlerts(WORD appId, WORD wParamHigh, DWORD wParam, DWORD two, BYTE *buffer, WORD *count)
{
    Call call("TovQueryAlerts");
    call.Enter({Number(appId), Number(wParamHigh), Number(wParam), Number(two), NumberAt(count)});
    if (auto code = call.FailCode())
        return *code;
    if (count == nullptr || IsMissing(buffer, *count))
        return kInvalidArgument;
    *count = static_cast<WORD>(CopyBounded(call.Settings().alertData, buffer, *count));
    return 0;
}

DWORD WINAPI TovQueryPrinterStatus(WORD appId, WORD hPrinter, DWORD flags, BYTE *record, DWORD recordSize,
                                   DWORD *length)
{
    Call call("TovQueryPrinterStatus");
    call.Enter({Number(appId), Number(hPrinter), Number(flags), Number(recordSize)});
    if (auto code = call.FailCode())
        return *code;
    if (length == nullptr || IsMissing(record, recordSize))
        return kInvalidArgument;
    const DWORD state = SharedState().NextStatusState(call.Settings());
    if (recordSize != 0)
        std::memset(record, 0, recordSize);
    if (recordSize >= kStatusStateOffset + sizeof(DWORD))
        std::memcpy(record + kStatusStateOffset, &state, sizeof(DWORD));
    *length = std::min(recordSize, kStatusRecordSize);
    return 0;
}

DWORD WINAPI TovGetDeviceIDStringEx(WORD appId, WORD hPrinter, DWORD flags, LPSTR buffer, DWORD bufferSize,
                                    DWORD *length)
{
    Call call("TovGetDeviceIDStringEx");
    call.Enter({Number(appId), Number(hPrinter), Number(flags), Number(bufferSize)});
    if (auto code = call.FailCode())
        return *code;
    if (length == nullptr || IsMissing(buffer, bufferSize))
        return kInvalidArgument;
    DWORD copied = 0;
    if (bufferSize != 0) {
        copied = CopyBounded(call.Settings().deviceId, buffer, bufferSize - 1);
        buffer[copied] = '\0';
    }
    *length = call.Settings().deviceIdLength.value_or(copied);
    return 0;
}

DWORD WINAPI TovSendBidi(WORD appId, WORD tag, DWORD zero, DWORD command, BYTE *reply, DWORD *replyLength,
                         const BYTE *request, DWORD requestLength)
{
    Call call("TovSendBidi");
    call.Enter({Number(appId), Number(tag), Number(zero), Number(command), NumberAt(replyLength),
                FormatHex(request, requestLength), Number(requestLength)});
    if (auto code = call.FailCode())
        return *code;
    if (replyLength == nullptr || IsMissing(reply, *replyLength) || IsMissing(request, requestLength)) {
        return kInvalidArgument;
    }
    const SimConfig &config = call.Settings();
    const std::string echo =
        request == nullptr ? std::string() : std::string(reinterpret_cast<const char *>(request), requestLength);
    const DWORD copied = CopyBounded(config.bidiReply.value_or(echo), reply, *replyLength);
    *replyLength = config.bidiReplyLength.value_or(copied);
    return 0;
}

DWORD WINAPI TovStartDoc(WORD hPrinter, DWORD zero1, DWORD zero2)
{
    return Acknowledge("TovStartDoc", {Number(hPrinter), Number(zero1), Number(zero2)});
}

DWORD WINAPI TovEndDoc(WORD hPrinter, DWORD zero)
{
    Call call("TovEndDoc");
    call.Enter({Number(hPrinter), Number(zero)});
    if (auto code = call.FailCode())
        return *code;
    NotifyStatusAfterEndDoc(call.Settings());
    return 0;
}

DWORD WINAPI TovWrite(WORD appId, WORD hPrinter, DWORD zero, const BYTE *data, DWORD *count, DWORD one)
{
    Call call("TovWrite");
    const DWORD accepted = DecideAccepted(call, data, count);
    call.Enter({Number(appId), Number(hPrinter), Number(zero), NumberAt(count), Number(accepted), Number(one),
                LoggedWriteBytes(data, count)});
    return CompleteWrite(call, data, count, accepted);
}

DWORD WINAPI TovWriteUNI(LPCSTR portName, const BYTE *data, DWORD *count)
{
    Call call("TovWriteUNI");
    const DWORD accepted = portName == nullptr ? 0 : DecideAccepted(call, data, count);
    call.Enter({Text(portName), NumberAt(count), Number(accepted), LoggedWriteBytes(data, count)});
    if (auto code = call.FailCode())
        return *code;
    if (portName == nullptr)
        return kInvalidArgument;
    return CompleteWrite(call, data, count, accepted);
}

DWORD WINAPI TovSetJobControlMode(WORD appId, WORD hPrinter, DWORD mode, DWORD arg)
{
    return Acknowledge("TovSetJobControlMode", {Number(appId), Number(hPrinter), Number(mode), Number(arg)});
}

DWORD WINAPI TovSetJobCancelMode(WORD appId, WORD hPrinter, DWORD mode)
{
    return Acknowledge("TovSetJobCancelMode", {Number(appId), Number(hPrinter), Number(mode)});
}

DWORD WINAPI TovSetEndOfJobMode(WORD appId, WORD hPrinter, DWORD mode, DWORD arg1, DWORD arg2)
{
    return Acknowledge("TovSetEndOfJobMode",
                       {Number(appId), Number(hPrinter), Number(mode), Number(arg1), Number(arg2)});
}

DWORD WINAPI TovOpen(WORD appId, WORD hPrinter, DWORD twenty)
{
    return Acknowledge("TovOpen", {Number(appId), Number(hPrinter), Number(twenty)});
}

DWORD WINAPI TovClose(WORD appId, WORD hPrinter)
{
    return Acknowledge("TovClose", {Number(appId), Number(hPrinter)});
}

DWORD WINAPI TovPing(DWORD zero)
{
    Call call("TovPing");
    call.Enter({Number(zero)});
    if (auto code = call.FailCode())
        return *code;
    return call.Settings().pingAnswer;
}

DWORD WINAPI TovQueryPortType(void)
{
    return Acknowledge("TovQueryPortType", {});
}

DWORD WINAPI TovFlushMWOBuffer(void)
{
    return Acknowledge("TovFlushMWOBuffer", {});
}

DWORD WINAPI TovStoreData(WORD appId, LPCSTR printerName, DWORD zero, const char *itemName, const BYTE *data,
                          DWORD size, DWORD one)
{
    Call call("TovStoreData");
    call.Enter({Number(appId), Text(printerName), Number(zero), ItemName(itemName), FormatHex(data, size), Number(size),
                Number(one)});
    if (auto code = call.FailCode())
        return *code;
    if (printerName == nullptr || itemName == nullptr || IsMissing(data, size))
        return kInvalidArgument;
    const std::string bytes = size == 0 ? std::string() : std::string(reinterpret_cast<const char *>(data), size);
    const std::string storePath = ResolveStorePath(call.Settings());
    return StoreItem(storePath, Text(printerName), ItemName(itemName), bytes) ? 0 : kStoreWriteFailed;
}

DWORD WINAPI TovRetrieveData(WORD appId, LPCSTR printerName, DWORD zero, const char *itemName, BYTE *buffer, DWORD size,
                             DWORD *delivered, DWORD zeroAgain)
{
    Call call("TovRetrieveData");
    call.Enter({Number(appId), Text(printerName), Number(zero), ItemName(itemName), Number(size), Number(zeroAgain)});
    if (auto code = call.FailCode())
        return *code;
    if (printerName == nullptr || itemName == nullptr || delivered == nullptr || IsMissing(buffer, size)) {
        return kInvalidArgument;
    }
    const std::optional<std::string> stored =
        RetrieveItem(ResolveStorePath(call.Settings()), Text(printerName), ItemName(itemName));
    if (!stored)
        return kUnknownItem;
    *delivered = CopyBounded(*stored, buffer, size);
    return 0;
}

} // extern "C"
