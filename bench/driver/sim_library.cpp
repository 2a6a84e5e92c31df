#include "sim_library.h"
#include "core/entry_point.h"

#include "bench_clock.h"

namespace {

} // namespace

InProcessLibrary::InProcessLibrary() : module_(LoadLibraryA("QRMTOV.DLL"))
{
    if (module_.IsValid())
        queryStatus_ = BindEntryPoint<TovQueryPrinterStatusFn>(module_.Get(), "TovQueryPrinterStatus");
}

double InProcessLibrary::TimeStatusQuery()
{
    BYTE record[kStatusRecordSize] = {};
    DWORD length = 0;
    const double start = NowMicroseconds();
    queryStatus_(1, 5, kTovAllFlags, record, kStatusRecordSize, &length);
    return NowMicroseconds() - start;
}
