// pravik-check: the headless checker of payment files.

#include "checker.h"
#include "units.h"

#include "platform/filename.h"

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
        arguments.append(decodeFileName(argv[i])); // lossless: a name need not be UTF-8
    return checker::run(arguments, stdout, stderr);
}
