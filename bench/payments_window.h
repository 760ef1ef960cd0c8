#pragma once
// The start-up the programs about the page "Zahlungen" share: offscreen unless a platform is named,
// no history of checked files, the window's units and application, the window shown at the size of
// the pictures in docs/; then body reads the file named first into it (the window's friends may) and
// works on it.

#include <QString>

#include <functional>

class TPravik_MAIN_Form;

namespace paymentsbench {

// argc and argv as main has them; arguments: how many it needs after the program's name, usage
// printed when fewer are given. body's answer is the program's.
int run(int argc, char *argv[], int arguments, const char *usage,
    const std::function<int(TPravik_MAIN_Form &form, const QString &file)> &body);

} // namespace paymentsbench
