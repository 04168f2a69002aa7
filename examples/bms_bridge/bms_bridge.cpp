// The sample project's user-defined controller library ("Site BMS Bridge"): the solver loads it
// and calls its event handler with the exchange event. A real bridge would read the building
// management system here; the sample's only counts the calls, so the project has a library
// file that exists and loads.
#include <cstdint>

namespace
{
std::int32_t calls = 0;
}

extern "C"
{
/// The event handler the sample project selects; returns 0 (success) as every handler must.
std::int32_t onBmsUpdate(std::int32_t /*eventType*/)
{
    ++calls;
    return 0;
}

/// How often the solver called the handler since the library was loaded.
std::int32_t bmsUpdateCalls() { return calls; }
}
