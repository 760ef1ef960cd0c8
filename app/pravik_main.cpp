// Pravik: the checker window.

#include "Pravik_MAIN.h"
#include "units.h"

#include "platform/widgets/application.h"

#include <cstdio>
#include <optional>

int main(int argc, char *argv[])
{
    // The library's units run around the program body: started before the application exists,
    // finished after it is gone.
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
    int result = 0;
    try {
        TPravik_MAIN_Form form;
        form.show();
        result = TApplication::exec();
    } catch (...) {
        // The window could not be built (for example a broken form resource): say so and stop.
        TApplication::HandleException();
        result = 1;
    }
    return result;
}
