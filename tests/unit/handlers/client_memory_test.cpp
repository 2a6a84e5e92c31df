#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <winternl.h>

#include "handlers/client_memory.h"
#include "support/guarded_pages.h"
#include "support/thread_blocks.h"

TEST(ClientMemory, JudgesRangesByTheirPages)
{
    constexpr size_t kPage = 4096;
    const GuardedPages pages(kPage); // read-write, then no access, then read-only
    BYTE *const base = pages.Tail(kPage);
    struct Case {
        const void *address;
        size_t size;
        bool readable;
        bool writable;
    };
    const Case cases[] = {
        {base, kPage, true, true},
        {base, kPage + 1, false, false},
        {pages.ReadOnly(), kPage, true, false},
        {pages.ReadOnly(), 1, true, false},
        {pages.Forbidden(), 1, false, false},
        {nullptr, 4, false, false},
        {reinterpret_cast<void *>(0x10), 4, false, false},
        {base, 0, true, true},
        {reinterpret_cast<void *>(~ULONG_PTR(0) - 2), 8, false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.readable, IsClientRangeReadable(c.address, c.size)) << c.address << " " << c.size;
        EXPECT_EQ(c.writable, IsClientRangeWritable(const_cast<void *>(c.address), c.size))
            << c.address << " " << c.size;
    }
}

TEST(ClientMemory, ReadableBytesStopAtTheRegionsEnd)
{
    constexpr size_t kPage = 4096;
    const GuardedPages pages(2 * kPage);
    std::vector<BYTE> heapBlock(64);
    struct Case {
        const void *address;
        size_t most;
        size_t readable;
    };
    const Case cases[] = {
        {pages.Tail(2 * kPage), 100, 100},
        {pages.Tail(2 * kPage), 3 * kPage, 2 * kPage},
        {pages.Tail(3), 100, 3},
        {pages.Forbidden(), 100, 0},
        {pages.ReadOnly(), 10, 10},
        {heapBlock.data(), 10, 0},
        {nullptr, 10, 0},
        {pages.Tail(3), 0, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.readable, ClientReadableBytesAt(c.address, c.most)) << c.address << " " << c.most;
}

namespace {

// Windows keeps the process parameters block (current directory, DLL path, environment
// pointer) and the environment in private regions of their own; Wine keeps them in the
// process heap, which is refused anyway. While an instance lives, the process works with
// copies of both placed as Windows places them. The test finds them with its own copy of
// the layout: 16 bytes of sizes and flags, ten handles and pointers, the image path and the
// command line as counted strings of two words each, then the environment pointer.
class ProcessRecordsInRegionsOfTheirOwn {
public:
    ProcessRecordsInRegionsOfTheirOwn() : process_(static_cast<PEB *>(ProcessBlockOf(GetCurrentProcess())))
    {
        original_ = process_->ProcessParameters;
        const ULONG parametersSize = *reinterpret_cast<const ULONG *>(original_); // its maximum length
        const wchar_t *environment = *EnvironmentField(original_);
        size_t environmentSize = 0;
        while (environment[environmentSize] != L'\0' || environment[environmentSize + 1] != L'\0')
            ++environmentSize;
        environmentSize = (environmentSize + 2) * sizeof(wchar_t);

        parameters_ = VirtualAlloc(nullptr, parametersSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        environment_ = VirtualAlloc(nullptr, environmentSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        std::memcpy(parameters_, original_, parametersSize);
        std::memcpy(environment_, environment, environmentSize);
        *EnvironmentField(parameters_) = static_cast<wchar_t *>(environment_);
        process_->ProcessParameters = static_cast<PRTL_USER_PROCESS_PARAMETERS>(parameters_);
    }
    ~ProcessRecordsInRegionsOfTheirOwn()
    {
        process_->ProcessParameters = original_;
        VirtualFree(parameters_, 0, MEM_RELEASE);
        VirtualFree(environment_, 0, MEM_RELEASE);
    }
    ProcessRecordsInRegionsOfTheirOwn(const ProcessRecordsInRegionsOfTheirOwn &) = delete;
    ProcessRecordsInRegionsOfTheirOwn &operator=(const ProcessRecordsInRegionsOfTheirOwn &) = delete;

    void *Parameters() const { return parameters_; }
    void *Environment() const { return environment_; }

private:
    static wchar_t **EnvironmentField(void *parameters)
    {
        return reinterpret_cast<wchar_t **>(static_cast<BYTE *>(parameters) + 16 + 14 * sizeof(void *));
    }

    PEB *process_;
    PRTL_USER_PROCESS_PARAMETERS original_ = nullptr;
    void *parameters_ = nullptr;
    void *environment_ = nullptr;
};

} // namespace

TEST(ClientMemory, RefusesTheProcessParametersAndItsEnvironment)
{
    const ProcessRecordsInRegionsOfTheirOwn records;
    ASSERT_NE(nullptr, records.Parameters());
    ASSERT_NE(nullptr, records.Environment());
    for (void *record : {records.Parameters(), records.Environment()}) {
        EXPECT_FALSE(IsClientRangeReadable(record, 4)) << record;
        EXPECT_FALSE(IsClientRangeWritable(record, 4)) << record;
        EXPECT_EQ(0u, ClientReadableBytesAt(record, 4)) << record;
    }
}
