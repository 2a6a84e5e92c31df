// The one cast from GetProcAddress's answer to an entry point's own type. Depends on
// nothing but Windows, so the tools, the benchmark and the tests bind the same way.
//
//     const auto ping = BindEntryPoint<TovPingFn>(module, "TovPing"); // nullptr when absent
#pragma once

#include <windows.h>

template <typename EntryPoint>
EntryPoint BindEntryPoint(HMODULE module, const char *name)
{
    // Through void *: a function pointer of one type does not convert to another directly.
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}
