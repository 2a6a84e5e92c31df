// The simulated library loaded into this process, to time one of its calls alone.
#pragma once

#include <windows.h>

#include "core/owned.h"
#include "tovlib/tov_abi.h"

class InProcessLibrary {
public:
    InProcessLibrary();
    InProcessLibrary(const InProcessLibrary &) = delete;
    InProcessLibrary &operator=(const InProcessLibrary &) = delete;

    bool IsLoaded() const { return queryStatus_ != nullptr; }
    // One TovQueryPrinterStatus call as the status thread makes it, in microseconds.
    double TimeStatusQuery();

private:
    ModuleGuard module_;
    TovQueryPrinterStatusFn queryStatus_ = nullptr;
};
