#include <gtest/gtest.h>

#include <vector>

#include "handlers/client_memory.h"
#include "support/guarded_pages.h"

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
