#include "sim_library.h"

#include "bench_clock.h"

namespace {

// GetProcAddress's answer as the entry point's own type.
template <typename EntryPoint>
EntryPoint Resolve(HMODULE module, const char *name)
{
    return reinterpret_cast<EntryPoint>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}


} // namespace

InProcessLibrary::InProcessLibrary() : module_(LoadLibraryA("QRMTOV.DLL"))
{
    if (module_ != nullptr)
        queryStatus_ = Resolve<TovQueryPrinterStatusFn>(module_, "TovQueryPrinterStatus");
}

InProcessLibrary::~InProcessLibrary()
{
    if (module_ != nullptr)
        FreeLibrary(module_);
}

double InProcessLibrary::TimeStatusQuery()
{
    BYTE record[kStatusRecordSize] = {};
    DWORD length = 0;
    const double start = NowMicroseconds();
    queryStatus_(1, 5, kTovAllFlags, record, kStatusRecordSize, &length);
    return NowMicroseconds() - start;
}
