// pravik-check: the headless checker of payment files.

#include "checker.h"

#include <QFile>
#include <QStringList>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    return checker::run(arguments, stdout, stderr);
}
