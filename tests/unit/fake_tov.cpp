#include "fake_tov.h"

#include <cstring>

namespace {

FakeTov *g_current = nullptr;

std::string Num(unsigned long value)
{
    return std::to_string(value);
}

std::string Ptr(const void *pointer)
{
    return std::to_string(reinterpret_cast<uintptr_t>(pointer));
}

std::string Text(const char *text, size_t maximum = 4096)
{
    if (text == nullptr)
        return "(null)";
    size_t length = 0;
    while (length < maximum && text[length] != '\0')
        ++length;
    return std::string(text, length);
}

DWORD Begin(const std::string &name, std::vector<std::string> args)
{
    FakeTov &fake = FakeTov::Current();
    fake.Record(name, std::move(args));
    if (fake.onCall)
        fake.onCall(name);
    return fake.FailureOf(name);
}

void FillRecord(BYTE *record, const char *name)
{
    FakeTov &fake = FakeTov::Current();
    std::memset(record, 0, kPrinterInfoSize);
    std::memcpy(record + kPrinterInfoHandleOffset, &fake.hPrinter, sizeof(WORD));
    record[kPrinterInfoFlagsOffset] = fake.printerFlags;
    std::string remote = Text(name, kPrinterInfoRemoteNameSize - 1);
    std::memcpy(record + kPrinterInfoRemoteNameOffset, remote.c_str(), remote.size() + 1);
}

DWORD Enumerate(const char *name, TOVENUMPROC callback)
{
    FakeTov &fake = FakeTov::Current();
    for (int i = 0; i < fake.enumRecords; ++i) {
        BYTE record[kPrinterInfoSize];
        FillRecord(record, name);
        callback(record);
    }
    return fake.enumMask;
}

DWORD AcceptWrite(const BYTE *data, DWORD *count)
{
    FakeTov &fake = FakeTov::Current();
    DWORD accepted = *count < fake.writeMax ? *count : fake.writeMax;
    std::lock_guard<std::recursive_mutex> lock(fake.mutex);
    fake.written.append(reinterpret_cast<const char *>(data), accepted);
    *count = accepted;
    return 0;
}

WORD WINAPI FakeRegisterApp(HWND window)
{
    Begin("TovRegisterApp", {Ptr(window)});
    return FakeTov::Current().registerAnswer;
}

DWORD WINAPI FakeUnregisterApp(WORD appId)
{
    return Begin("TovUnregisterApp", {Num(appId)});
}

DWORD WINAPI FakeEnumSpecificPort(WORD appId, DWORD flags, LPCSTR port, TOVENUMPROC callback)
{
    DWORD code = Begin("TovEnumSpecificPort", {Num(appId), Num(flags), Text(port)});
    return code != 0 ? code : Enumerate(port, callback);
}

DWORD WINAPI FakeEnumByUNC(WORD appId, DWORD flags, LPCSTR remote, TOVENUMPROC callback)
{
    DWORD code = Begin("TovEnumByUNC", {Num(appId), Num(flags), Text(remote)});
    return code != 0 ? code : Enumerate(remote, callback);
}

DWORD WINAPI FakeCaptureAlerts(WORD appId, WORD hPrinter, const BYTE *mask, HWND window, DWORD zero)
{
    return Begin("TovCaptureAlerts", {Num(appId), Num(hPrinter), ToHex(mask, 4), Ptr(window), Num(zero)});
}

DWORD WINAPI FakeReleaseAlerts(WORD appId, WORD hPrinter, DWORD one)
{
    return Begin("TovReleaseAlerts", {Num(appId), Num(hPrinter), Num(one)});
}

DWORD WINAPI FakeQueryAlerts(WORD appId, WORD high, DWORD wParam, DWORD two, BYTE *buffer, WORD *count)
{
    DWORD code = Begin("TovQueryAlerts", {Num(appId), Num(high), Num(wParam), Num(two), Num(*count)});
    if (code != 0)
        return code;
    const std::string &data = FakeTov::Current().alertData;
    WORD n = static_cast<WORD>(data.size() < *count ? data.size() : *count);
    std::memcpy(buffer, data.data(), n);
    *count = n;
    return 0;
}

DWORD WINAPI FakeQueryPrinterStatus(WORD appId, WORD hPrinter, DWORD flags, BYTE *record, DWORD size, DWORD *length)
{
    DWORD code = Begin("TovQueryPrinterStatus", {Num(appId), Num(hPrinter), Num(flags), Num(size)});
    if (code != 0)
        return code;
    FakeTov &fake = FakeTov::Current();
    DWORD state = fake.statusState;
    {
        std::lock_guard<std::recursive_mutex> lock(fake.mutex);
        if (!fake.statusSequence.empty()) {
            state = fake.statusSequence.front();
            fake.statusSequence.erase(fake.statusSequence.begin());
        }
    }
    std::memset(record, 0, size);
    std::memcpy(record + 8, &state, sizeof(state));
    *length = size;
    return 0;
}

DWORD WINAPI FakeGetDeviceIDStringEx(WORD appId, WORD hPrinter, DWORD flags, LPSTR buffer, DWORD size, DWORD *length)
{
    DWORD code = Begin("TovGetDeviceIDStringEx", {Num(appId), Num(hPrinter), Num(flags), Num(size)});
    if (code != 0)
        return code;
    FakeTov &fake = FakeTov::Current();
    DWORD copied = 0;
    if (size != 0) {
        copied = static_cast<DWORD>(fake.deviceId.size() < size - 1 ? fake.deviceId.size() : size - 1);
        std::memcpy(buffer, fake.deviceId.data(), copied);
        buffer[copied] = '\0';
    }
    *length = fake.deviceIdLengthOverride >= 0 ? static_cast<DWORD>(fake.deviceIdLengthOverride) : copied;
    return 0;
}

DWORD WINAPI FakeSendBidi(WORD appId, WORD tag, DWORD zero, DWORD command, BYTE *reply, DWORD *replyLength,
                          const BYTE *request, DWORD requestLength)
{
    DWORD code = Begin("TovSendBidi", {Num(appId), Num(tag), Num(zero), Num(command), Num(*replyLength),
                                       ToHex(request, requestLength), Num(requestLength)});
    if (code != 0)
        return code;
    FakeTov &fake = FakeTov::Current();
    std::string answer =
        fake.bidiReply.empty() ? std::string(reinterpret_cast<const char *>(request), requestLength) : fake.bidiReply;
    if (answer.size() > *replyLength)
        answer.resize(*replyLength);
    std::memcpy(reply, answer.data(), answer.size());
    *replyLength = fake.bidiReplyLengthOverride >= 0 ? static_cast<DWORD>(fake.bidiReplyLengthOverride)
                                                     : static_cast<DWORD>(answer.size());
    return 0;
}

DWORD WINAPI FakeStartDoc(WORD hPrinter, DWORD zero1, DWORD zero2)
{
    return Begin("TovStartDoc", {Num(hPrinter), Num(zero1), Num(zero2)});
}

DWORD WINAPI FakeEndDoc(WORD hPrinter, DWORD zero)
{
    return Begin("TovEndDoc", {Num(hPrinter), Num(zero)});
}

DWORD WINAPI FakeWrite(WORD appId, WORD hPrinter, DWORD zero, const BYTE *data, DWORD *count, DWORD one)
{
    FakeTov &fake = FakeTov::Current();
    DWORD accepted = *count < fake.writeMax ? *count : fake.writeMax;
    DWORD shown = *count < 64 ? *count : 64;
    DWORD code = Begin(
        "TovWrite", {Num(appId), Num(hPrinter), Num(zero), Num(*count), Num(accepted), Num(one), ToHex(data, shown)});
    return code != 0 ? code : AcceptWrite(data, count);
}

DWORD WINAPI FakeWriteUNI(LPCSTR port, const BYTE *data, DWORD *count)
{
    FakeTov &fake = FakeTov::Current();
    DWORD accepted = *count < fake.writeMax ? *count : fake.writeMax;
    DWORD shown = *count < 64 ? *count : 64;
    DWORD code = Begin("TovWriteUNI", {Text(port), Num(*count), Num(accepted), ToHex(data, shown)});
    return code != 0 ? code : AcceptWrite(data, count);
}

DWORD WINAPI FakeSetJobControlMode(WORD appId, WORD hPrinter, DWORD mode, DWORD arg)
{
    return Begin("TovSetJobControlMode", {Num(appId), Num(hPrinter), Num(mode), Num(arg)});
}

DWORD WINAPI FakeSetJobCancelMode(WORD appId, WORD hPrinter, DWORD mode)
{
    return Begin("TovSetJobCancelMode", {Num(appId), Num(hPrinter), Num(mode)});
}

DWORD WINAPI FakeSetEndOfJobMode(WORD appId, WORD hPrinter, DWORD mode, DWORD arg1, DWORD arg2)
{
    return Begin("TovSetEndOfJobMode", {Num(appId), Num(hPrinter), Num(mode), Num(arg1), Num(arg2)});
}

DWORD WINAPI FakeOpen(WORD appId, WORD hPrinter, DWORD twenty)
{
    return Begin("TovOpen", {Num(appId), Num(hPrinter), Num(twenty)});
}

DWORD WINAPI FakeClose(WORD appId, WORD hPrinter)
{
    return Begin("TovClose", {Num(appId), Num(hPrinter)});
}

DWORD WINAPI FakePing(DWORD zero)
{
    DWORD code = Begin("TovPing", {Num(zero)});
    return code != 0 ? code : FakeTov::Current().pingAnswer;
}

DWORD WINAPI FakeQueryPortType()
{
    return Begin("TovQueryPortType", {});
}

DWORD WINAPI FakeFlushMWOBuffer()
{
    return Begin("TovFlushMWOBuffer", {});
}

DWORD WINAPI FakeStoreData(WORD appId, LPCSTR printer, DWORD zero, const char *item, const BYTE *data, DWORD size,
                           DWORD one)
{
    std::string name = Text(item, 36);
    DWORD code =
        Begin("TovStoreData", {Num(appId), Text(printer), Num(zero), name, ToHex(data, size), Num(size), Num(one)});
    if (code != 0)
        return code;
    FakeTov &fake = FakeTov::Current();
    std::lock_guard<std::recursive_mutex> lock(fake.mutex);
    fake.store[name] = std::string(reinterpret_cast<const char *>(data), size);
    return 0;
}

DWORD WINAPI FakeRetrieveData(WORD appId, LPCSTR printer, DWORD zero, const char *item, BYTE *buffer, DWORD size,
                              DWORD *delivered, DWORD zeroAgain)
{
    std::string name = Text(item, 36);
    DWORD code = Begin("TovRetrieveData", {Num(appId), Text(printer), Num(zero), name, Num(size), Num(zeroAgain)});
    if (code != 0)
        return code;
    FakeTov &fake = FakeTov::Current();
    std::lock_guard<std::recursive_mutex> lock(fake.mutex);
    auto found = fake.store.find(name);
    if (found == fake.store.end())
        return 0x1002;
    DWORD n = static_cast<DWORD>(found->second.size() < size ? found->second.size() : size);
    std::memcpy(buffer, found->second.data(), n);
    *delivered = n;
    return 0;
}

} // namespace

FakeTov::FakeTov() : saved_(g_tov)
{
    g_current = this;
    g_tov = TovApi{FakeRegisterApp,
                   FakeUnregisterApp,
                   FakeEnumSpecificPort,
                   FakeEnumByUNC,
                   FakeCaptureAlerts,
                   FakeReleaseAlerts,
                   FakeQueryAlerts,
                   FakeQueryPrinterStatus,
                   FakeGetDeviceIDStringEx,
                   FakeSendBidi,
                   FakeStartDoc,
                   FakeEndDoc,
                   FakeWrite,
                   FakeWriteUNI,
                   FakeSetJobControlMode,
                   FakeSetJobCancelMode,
                   FakeSetEndOfJobMode,
                   FakeOpen,
                   FakeClose,
                   FakePing,
                   FakeQueryPortType,
                   FakeFlushMWOBuffer,
                   FakeStoreData,
                   FakeRetrieveData};
}

FakeTov::~FakeTov()
{
    g_tov = saved_;
    g_current = nullptr;
}

FakeTov &FakeTov::Current()
{
    return *g_current;
}

void FakeTov::Fail(const std::string &entryPoint, DWORD code)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    failures_[entryPoint] = code;
}

DWORD FakeTov::FailureOf(const std::string &entryPoint) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    auto found = failures_.find(entryPoint);
    return found == failures_.end() ? 0 : found->second;
}

void FakeTov::Record(const std::string &name, std::vector<std::string> args)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    calls_.push_back(SimCall{name, std::move(args)});
}

std::vector<SimCall> FakeTov::Calls() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return calls_;
}

std::vector<SimCall> FakeTov::CallsNamed(const std::string &name) const
{
    std::vector<SimCall> named;
    for (const SimCall &call : Calls()) {
        if (call.name == name)
            named.push_back(call);
    }
    return named;
}

std::vector<std::string> FakeTov::CallNames() const
{
    std::vector<std::string> names;
    for (const SimCall &call : Calls())
        names.push_back(call.name);
    return names;
}

std::string FakeTov::CallText(size_t index) const
{
    std::vector<SimCall> calls = Calls();
    return index < calls.size() ? FormatCall(calls[index]) : std::string("(no call)");
}

void FakeTov::ResetCalls()
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    calls_.clear();
}
