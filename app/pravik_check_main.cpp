// pravik-check: the headless checker of payment files.

#include "checker.h"

#include "platform/filename.h"

#include <QStringList>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(decodeFileName(argv[i])); // lossless: a name need not be UTF-8
    return checker::run(arguments, stdout, stderr);
}
