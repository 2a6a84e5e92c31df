// Memory in this process laid out to catch overruns: a read-write stretch that ends exactly
// where an inaccessible page begins, then a read-only page. A read or write one byte past the
// stretch is an access violation, not silent damage; the stretch is private memory of its
// own, as a client's buffer placed in the service would be.
//
//     GuardedPages pages(64);
//     std::memcpy(pages.Tail(3), "abc", 3);      // no terminator before the guard
//     const char *name = pages.PlaceText("x");   // "x\0" as the last two bytes
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include "core/owned.h"

class GuardedPages {
public:
    explicit GuardedPages(size_t readWriteBytes = kPage)
        : readWrite_(((readWriteBytes == 0 ? 1 : readWriteBytes) + kPage - 1) / kPage * kPage),
          base_(static_cast<BYTE *>(
              VirtualAlloc(nullptr, readWrite_ + 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)))
    {
        std::memset(base_, 0xCD, readWrite_);
        DWORD old = 0;
        VirtualProtect(Forbidden(), kPage, PAGE_NOACCESS, &old);
        VirtualProtect(ReadOnly(), kPage, PAGE_READONLY, &old);
    }

    // The last size bytes before the inaccessible page.
    BYTE *Tail(size_t size) const { return Forbidden() - size; }
    char *TailText(size_t size) const { return reinterpret_cast<char *>(Tail(size)); }
    BYTE *Forbidden() const { return base_ + readWrite_; }
    BYTE *ReadOnly() const { return base_ + readWrite_ + kPage; }

    // Copies text and its terminator so that the terminator is the last byte before the guard.
    const char *PlaceText(const std::string &text) const
    {
        char *start = TailText(text.size() + 1);
        std::memcpy(start, text.c_str(), text.size() + 1);
        return start;
    }

private:
    static constexpr size_t kPage = 4096;
    size_t readWrite_;
    VirtualMemory region_;
    BYTE *base_;
};
