// One owner for everything the program opens: Owned<Policy> holds a value, closes it once
// on every way out, and never changes GetLastError while closing. The policy says what
// the invalid value is and how to close; the aliases below name each kind of resource.
// Depends on nothing but Windows, so the tools and the simulated library use it too.
//
//     HandleGuard file(CreateFileA(...));
//     if (!file.IsValid()) return 0;
//     RegistryKeyGuard key;
//     if (RegOpenKeyExA(..., key.Receive()) != ERROR_SUCCESS) return 0;
//     const CriticalSectionLock lock = LockSection(&section);
#pragma once

#include <windows.h>

template <typename Policy>
class Owned {
public:
    using Value = typename Policy::Value;

    Owned() : value_(Policy::Invalid()) {}
    explicit Owned(Value value) : value_(value) {}
    ~Owned() { Reset(); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    Owned(Owned &&other) noexcept : value_(other.Release()) {}
    Owned &operator=(Owned &&other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Value Get() const { return value_; }
    bool IsValid() const { return Policy::IsValid(value_); }

    // Closes what is held and takes value instead.
    void Reset(Value value = Policy::Invalid())
    {
        if (Policy::IsValid(value_)) {
            const DWORD lastError = GetLastError();
            Policy::Close(value_);
            SetLastError(lastError);
        }
        value_ = value;
    }

    // Gives the value up without closing it.
    Value Release()
    {
        const Value value = value_;
        value_ = Policy::Invalid();
        return value;
    }

    // For the APIs that hand a new value out through a pointer.
    Value *Receive()
    {
        Reset();
        return &value_;
    }

private:
    Value value_;
};

struct KernelHandlePolicy {
    using Value = HANDLE;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(Value handle) { CloseHandle(handle); }
};

struct RegistryKeyPolicy {
    using Value = HKEY;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value key) { return key != nullptr; }
    static void Close(Value key) { RegCloseKey(key); }
};

struct LocalBlockPolicy {
    using Value = HLOCAL;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value block) { return block != nullptr; }
    static void Close(Value block) { LocalFree(block); }
};

struct GlobalBlockPolicy {
    using Value = HGLOBAL;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value block) { return block != nullptr; }
    static void Close(Value block) { GlobalFree(block); }
};

struct ModulePolicy {
    using Value = HMODULE;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value module) { return module != nullptr; }
    static void Close(Value module) { FreeLibrary(module); }
};

struct VirtualMemoryPolicy {
    using Value = void *;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value region) { return region != nullptr; }
    static void Close(Value region) { VirtualFree(region, 0, MEM_RELEASE); }
};

// A critical section held: "closing" leaves it.
struct HeldSectionPolicy {
    using Value = CRITICAL_SECTION *;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value section) { return section != nullptr; }
    static void Close(Value section) { LeaveCriticalSection(section); }
};

using HandleGuard = Owned<KernelHandlePolicy>;
using RegistryKeyGuard = Owned<RegistryKeyPolicy>;
using LocalBlock = Owned<LocalBlockPolicy>;
using GlobalBlock = Owned<GlobalBlockPolicy>;
using ModuleGuard = Owned<ModulePolicy>;
using VirtualMemory = Owned<VirtualMemoryPolicy>;
using CriticalSectionLock = Owned<HeldSectionPolicy>;

// Enters the section and holds it until the owner goes.
inline CriticalSectionLock LockSection(CRITICAL_SECTION *section)
{
    EnterCriticalSection(section);
    return CriticalSectionLock(section);
}

// A debugger owns the file handles that process-start and DLL-load events hand it: closes
// them, and does nothing for every other event.
inline void CloseDebugEventFile(const DEBUG_EVENT &event)
{
    const HANDLE file = event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT ? event.u.CreateProcessInfo.hFile
                        : event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT     ? event.u.LoadDll.hFile
                                                                             : nullptr;
    const HandleGuard owner(file);
}
