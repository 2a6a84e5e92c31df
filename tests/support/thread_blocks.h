// Where the system keeps a thread's and a process's own records: the thread environment
// block and the process environment block, asked of ntdll from outside, so that a test
// does not take them from the code it checks.
#pragma once

#include <windows.h>

// The thread environment block of a thread of any process; nullptr when it cannot be asked.
void *ThreadBlockOf(DWORD threadId);
// The process environment block of a process opened with PROCESS_QUERY_INFORMATION.
void *ProcessBlockOf(HANDLE process);
