// pravik-check: the headless checker of payment files.

#include "checker.h"
#include "units.h"

#include <QFile>
#include <QStringList>

#include <cstdio>
#include <optional>

int main(int argc, char *argv[])
{
    std::optional<TUnitRun> units;
    try {
        units.emplace(PravikCheckUnits());
    } catch (const EUnitStartError &e) {
        std::fprintf(stderr, "pravik-check: %s\n", e.what());
        return 2; // nothing could be checked
    }
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    return checker::run(arguments, stdout, stderr);
}
