#include "payments_window.h"

#include "Pravik_MAIN.h"
#include "units.h"

#include "platform/widgets/application.h"

#include <QTest>

#include <cstdio>

namespace paymentsbench {

int run(int argc, char *argv[], int arguments, const char *usage,
    const std::function<int(TPravik_MAIN_Form &form, const QString &file)> &body)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc < arguments + 1) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 2;
    }
    qputenv("PRAVIK_NO_HISTORY", "1");
    const TUnitRun units(PravikUnits());
    // The window opens a file named on its command line by itself; this one body gives it.
    int appArgc = 1;
    TApplication app(appArgc, argv);
    TPravik_MAIN_Form form;
    form.resize(1280, 760);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    return body(form, QString::fromLocal8Bit(argv[1]));
}

} // namespace paymentsbench
