// Prints TVersionInfo's XML summary of the module named by its argument, so that a test can compare
// what separate processes write for the same module.

#include "components/versioninfo/zc_versioninfo.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <module>\n", argv[0]);
        return 2;
    }
    try {
        TVersionInfo info(QString::fromLocal8Bit(argv[1]));
        const QByteArray xml = info.AsXML().toUtf8();
        std::fwrite(xml.constData(), 1, size_t(xml.size()), stdout);
        return 0;
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
}
