#include "pravik_startup.h"

#include "units.h"

#include "platform/widgets/application.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

QtMessageHandler g_previousHandler = nullptr;

// While the toolkit starts, its fatal messages (no display, no platform plugin) would abort; a
// window that cannot start ends with status 1 and the toolkit's words instead.
void startMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        if (g_previousHandler)
            g_previousHandler(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qPrintable(message));
        return;
    }
    std::fprintf(stderr, "pravik: the window cannot be started: %s\n", qPrintable(message));
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

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
    g_previousHandler = qInstallMessageHandler(startMessageHandler);
    TApplication app(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    TApplication::setApplicationName(QStringLiteral("Pravik"));
    TApplication::setOrganizationName(QStringLiteral("Zelk Software"));
    // Ties the window to its installed desktop entry, for its icon and name on Wayland.
    TApplication::setDesktopFileName(QStringLiteral("de.zelk.Pravik"));
    return ABody();
}
