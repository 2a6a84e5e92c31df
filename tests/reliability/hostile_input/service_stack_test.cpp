// A client address inside a stack of the service is committed read-write memory, yet no
// client's: a request must not write it while the thread lives. Once the thread has
// ended, the address space may serve a client again. The same holds for the blocks the
// system keeps for each thread and for the process.
#include <gtest/gtest.h>

#include <windows.h>

#include "handlers/client_memory.h"
#include "support/thread_blocks.h"

namespace {

// A thread that shows where its stack is and waits.
struct ParkedThread {
    HANDLE ready = nullptr;
    HANDLE release = nullptr;
    int *local = nullptr;
};
ParkedThread g_parked;

DWORD WINAPI ParkThread(LPVOID)
{
    int local = 0;
    g_parked.local = &local;
    SetEvent(g_parked.ready);
    WaitForSingleObject(g_parked.release, INFINITE);
    return static_cast<DWORD>(local);
}

} // namespace

TEST(ServiceStacks, ClientAddressesInTheServiceStacksAreRefused)
{
    int unlisted = 0;
    EXPECT_TRUE(IsClientRangeWritable(&unlisted, sizeof(unlisted))) << "a thread that is not the service's";
    {
        const ServiceThreadRegions stack;
        int listed = 0;
        EXPECT_FALSE(IsClientRangeWritable(&listed, sizeof(listed)));
        EXPECT_FALSE(IsClientRangeReadable(&listed, sizeof(listed)));
        EXPECT_FALSE(IsClientRangeWritable(&unlisted, sizeof(unlisted))) << "the whole stack, not one frame";
    }
    EXPECT_TRUE(IsClientRangeWritable(&unlisted, sizeof(unlisted))) << "forgotten when the guard ends";

    // Another thread of the service, waiting: its stack is refused to a request on this one.
    g_parked.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_parked.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, RunAsServiceThread<ParkThread>, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_parked.ready, 10000));
    EXPECT_FALSE(IsClientRangeWritable(g_parked.local, sizeof(int)));
    EXPECT_FALSE(IsClientRangeReadable(g_parked.local, sizeof(int)));
    SetEvent(g_parked.release);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(g_parked.ready);
    CloseHandle(g_parked.release);
}

// The thread environment block and the process environment block are committed read-write
// private memory too: the records the system keeps for the thread (its exception chain,
// its stack bounds) and for the process. The process's is never a client's buffer; a
// thread's is not while the thread is one of the service's.
TEST(ServiceStacks, ClientAddressesInTheThreadAndProcessBlocksAreRefused)
{
    void *const ownBlock = ThreadBlockOf(GetCurrentThreadId());
    void *const processBlock = ProcessBlockOf(GetCurrentProcess());
    ASSERT_NE(nullptr, ownBlock);
    ASSERT_NE(nullptr, processBlock);
    EXPECT_FALSE(IsClientRangeWritable(processBlock, 64));
    EXPECT_FALSE(IsClientRangeReadable(processBlock, 64));

    {
        const ServiceThreadRegions guard;
        EXPECT_FALSE(IsClientRangeWritable(ownBlock, 64));
        EXPECT_FALSE(IsClientRangeReadable(ownBlock, 64));
    }

    // Another thread of the service, waiting: its block is refused to a request on this one.
    g_parked.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_parked.release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, RunAsServiceThread<ParkThread>, nullptr, 0, &threadId);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_parked.ready, 10000));
    void *const parkedBlock = ThreadBlockOf(threadId);
    ASSERT_NE(nullptr, parkedBlock);
    EXPECT_FALSE(IsClientRangeWritable(parkedBlock, 64));
    SetEvent(g_parked.release);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    CloseHandle(g_parked.ready);
    CloseHandle(g_parked.release);
}
