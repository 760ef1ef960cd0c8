#include "units.h"

std::span<const TUnit *const> PravikCheckUnits()
{
    // The console checker links none of the library's units yet; the application services will be
    // the first.
    return {};
}
