#include "pravik_startup.h"

#include "units.h"

#include "platform/widgets/application.h"

#include <cstdio>
#include <optional>

int RunPravik(int &argc, char **argv, const std::function<int()> &ABody)
{
    // Nothing of the library needs the application to start: what depends on the screen, the
    // palette or the fonts is read when it is first needed, after the application exists.
    std::optional<TUnitRun> units;
    try {
        units.emplace(PravikUnits());
    } catch (const EUnitStartError &e) {
        std::fprintf(stderr, "pravik: %s\n", e.what());
        return 1;
    }
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("Pravik"));
    TApplication::setOrganizationName(QStringLiteral("Zelk Software"));
    // Ties the window to its installed desktop entry, for its icon and name on Wayland.
    TApplication::setDesktopFileName(QStringLiteral("de.zelk.Pravik"));
    return ABody();
}
