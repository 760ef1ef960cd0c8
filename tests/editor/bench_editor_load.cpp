// Measures the editor on a large file: loading it, handing its text to a validator (UTF-16 and
// UTF-8 forms), jumping to its last line, and saving it; with the process's peak memory after each
// step. Usage: bench_editor_load <file.xml> [<save-to.xml>]

#include "editor/xmleditor.h"
#include "platform/exception.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <sys/resource.h>

namespace {

double peakMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void report(const char *step, qint64 ms, qint64 fileBytes)
{
    const double peak = peakMiB();
    std::printf("%-28s %7lld ms   peak %8.1f MiB = %4.2f x file\n", step, static_cast<long long>(ms), peak,
        peak * 1024.0 * 1024.0 / double(fileBytes));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_editor_load <file.xml> [<save-to.xml>]\n");
        return 2;
    }
    const QString path = args.at(1);
    const qint64 fileBytes = QFileInfo(path).size();
    std::printf("file %s: %lld bytes\n", qPrintable(path), static_cast<long long>(fileBytes));
    report("start", 0, fileBytes);

    try {
        TXMLEditor editor;
        editor.resize(1000, 700);
        editor.show();
        QCoreApplication::processEvents();

        QElapsedTimer timer;
        timer.start();
        editor.loadFromFile(path);
        QCoreApplication::processEvents();
        report("load and first paint", timer.elapsed(), fileBytes);
        std::printf(
            "  %d lines, encoding %s\n", editor.lineCount(), qPrintable(encodingName(editor.encoding())));

        timer.restart();
        const bool blank = editor.isBlank();
        report(blank ? "blank check (blank)" : "blank check", timer.elapsed(), fileBytes);

        timer.restart();
        {
            const QByteArray utf8 = editor.textUtf8();
            report("textUtf8() CR LF, UTF-8", timer.elapsed(), fileBytes);
        }
        timer.restart();
        {
            const QString text = editor.text();
            report("text() CR LF, UTF-16", timer.elapsed(), fileBytes);
        }

        timer.restart();
        editor.clearErrorMarks();
        for (int line = 0; line < editor.lineCount(); line += 1000)
            editor.setLineTag(line, line + 1);
        report("tag every 1000th line", timer.elapsed(), fileBytes);

        timer.restart();
        editor.gotoLine(editor.lineCount());
        QCoreApplication::processEvents();
        report("jump to the last line", timer.elapsed(), fileBytes);

        if (args.size() > 2) {
            timer.restart();
            editor.saveToFile(args.at(2));
            report("save", timer.elapsed(), fileBytes);
        }
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
