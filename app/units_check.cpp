#include "units.h"

#include "components/appservices/xprocs.h"
#include "components/appservices/zelk_registry.h"

std::span<const TUnit *const> PravikCheckUnits()
{
    // Only the units of the libraries the console checker links: the application services that need
    // no display.
    static constexpr const TUnit *table[] = {
        &xProcsUnit,
        &Zelk_RegistryUnit,
    };
    return table;
}
