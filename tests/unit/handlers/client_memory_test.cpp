#include <gtest/gtest.h>

#include <vector>

#include "handlers/client_memory.h"

TEST(ClientMemory, JudgesRangesByTheirPages)
{
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    // Three pages: read-write, read-only, no access.
    BYTE *base = static_cast<BYTE *>(VirtualAlloc(nullptr, 3 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(nullptr, base);
    DWORD old = 0;
    VirtualProtect(base + page, page, PAGE_READONLY, &old);
    VirtualProtect(base + 2 * page, page, PAGE_NOACCESS, &old);

    struct Case {
        const void *address;
        size_t size;
        bool readable;
        bool writable;
    };
    const Case cases[] = {
        {base, page, true, true},
        {base, page + 1, true, false},
        {base + page, page, true, false},
        {base + page, page + 1, false, false},
        {base + 2 * page, 1, false, false},
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
    VirtualFree(base, 0, MEM_RELEASE);
}
