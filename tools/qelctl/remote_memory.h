// Memory inside the instance's process. The instance uses lParam as an address in
// its own address space, so every buffer it reads or writes is placed there.
//
//     RemoteMemory block(process.Get(), 1024);
//     if (!block.IsValid()) ...;
//     SendToInstance(instance, WM_QELAPP32_READ, 1024, block.Address(), ...);
//     std::string bytes = block.Read(answer);
#pragma once

#include <windows.h>

#include <string>

#include "core/remote_memory.h"
#include "instance.h"

// Opens the instance's process for reading and writing its memory and waiting on it.
HANDLE OpenInstanceProcess(const Instance &instance);
