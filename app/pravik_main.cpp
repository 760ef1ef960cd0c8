// Pravik: the checker window.

#include "Pravik_MAIN.h"
#include "pravik_startup.h"

#include "platform/widgets/application.h"

int main(int argc, char *argv[])
{
    return RunPravik(argc, argv, [] {
        try {
            TPravik_MAIN_Form form;
            form.show();
            return TApplication::exec();
        } catch (...) {
            // The window could not be built (for example a broken form resource): say so and stop.
            TApplication::HandleException();
            return 1;
        }
    });
}
