// Loads the simulated library from the test program's own folder and resolves its
// entry points by their plain names, as the service does.
#pragma once

#include <windows.h>

#include <string>

#include "core/entry_point.h"
#include "support/test_files.h"
#include "tovlib/tov_abi.h"

std::string TestProgramDirectory();

class SimLibrary {
public:
    SimLibrary();
    ~SimLibrary();
    SimLibrary(const SimLibrary &) = delete;
    SimLibrary &operator=(const SimLibrary &) = delete;

    bool IsLoaded() const { return module_ != nullptr; }
    HMODULE Module() const { return module_; }
    FARPROC Resolve(const char *name) const { return GetProcAddress(module_, name); }

    // Typed lookup through the ABI's typedefs; null when the name is not exported.
    template <typename Fn>
    Fn Get(const char *name) const
    {
        return BindEntryPoint<Fn>(module_, name);
    }

private:
    HMODULE module_;
};
