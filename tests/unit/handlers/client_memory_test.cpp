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
