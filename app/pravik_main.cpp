// Pravik: the checker window.

#include "Pravik_MAIN.h"

#include "platform/widgets/application.h"

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("Pravik"));
    TApplication::setOrganizationName(QStringLiteral("Zelk Software"));
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
