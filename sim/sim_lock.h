// Critical-section wrapper: several threads of the caller use the library at once.
// Held through the program's one owner type:
//
//     const CriticalSectionLock guard = Lock(section);
#pragma once

#include <windows.h>

#include "core/owned.h"

namespace qrmtov_sim {

class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection &) = delete;
    CriticalSection &operator=(const CriticalSection &) = delete;

    CRITICAL_SECTION *Native() { return &section_; }

private:
    CRITICAL_SECTION section_;
};

inline CriticalSectionLock Lock(CriticalSection &section)
{
    return LockSection(section.Native());
}

} // namespace qrmtov_sim
