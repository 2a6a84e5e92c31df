#include "remote_memory.h"

HANDLE OpenInstanceProcess(const Instance &instance)
{
    const DWORD processId = InstanceProcessId(instance);
    if (processId == 0)
        return nullptr;
    return OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION |
                           SYNCHRONIZE,
                       FALSE, processId);
}
