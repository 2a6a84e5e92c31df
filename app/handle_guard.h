// Small owners for kernel objects, so that every return path closes what it opened.
// Closing never changes GetLastError.
//
//     HandleGuard file(CreateFileA(...));
//     if (!file.IsValid()) return 0;
#pragma once

#include <windows.h>

class HandleGuard {
public:
    explicit HandleGuard(HANDLE handle = nullptr) : handle_(handle) {}
    ~HandleGuard() { Close(); }
    HandleGuard(const HandleGuard &) = delete;
    HandleGuard &operator=(const HandleGuard &) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (IsValid()) {
            DWORD lastError = GetLastError();
            CloseHandle(handle_);
            SetLastError(lastError);
        }
        handle_ = nullptr;
    }

private:
    HANDLE handle_;
};

// Owns an open registry key.
//
//     RegistryKeyGuard key;
//     if (RegCreateKeyExA(..., key.Receive(), nullptr) != ERROR_SUCCESS) return 0;
class RegistryKeyGuard {
public:
    RegistryKeyGuard() = default;
    ~RegistryKeyGuard()
    {
        if (key_ != nullptr) {
            DWORD lastError = GetLastError();
            RegCloseKey(key_);
            SetLastError(lastError);
        }
    }
    RegistryKeyGuard(const RegistryKeyGuard &) = delete;
    RegistryKeyGuard &operator=(const RegistryKeyGuard &) = delete;

    HKEY Get() const { return key_; }
    PHKEY Receive() { return &key_; }

private:
    HKEY key_ = nullptr;
};

// Holds a critical section for the lifetime of a scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION *section) : section_(section) { EnterCriticalSection(section_); }
    ~CriticalSectionLock() { LeaveCriticalSection(section_); }
    CriticalSectionLock(const CriticalSectionLock &) = delete;
    CriticalSectionLock &operator=(const CriticalSectionLock &) = delete;

private:
    CRITICAL_SECTION *section_;
};
