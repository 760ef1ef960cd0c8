// A gallery of collapse panels for looking at them: every style with expanded, collapsed, half-way
// and plain panels, and one panel caught while it collapses, saved with QWidget::grab.
//
//   panels_gallery OUTDIR [--scale N] [--idle SECONDS] [--per-run]
//
// --scale sets QT_SCALE_FACTOR for the run (the file names carry it); --idle keeps the window open
// and idle that long before it quits, and prints how long the shut-down took, for measurements.
// --per-run draws into a new folder below OUTDIR, removed again when every picture was saved (the
// test's way: no run finds the pictures of another).

#include "components/appservices/zc_thread.h"
#include "components/appservices/zelk_registry.h"
#include "components/panels/collapsepanel.h"
#include "components/panels/xgraphic_cache.h"
#include "components/scaling/zc_scale.h"
#include "platform/settingsstore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

TCollapsePanel *addPanel(QVBoxLayout *column, const QString &caption, int rows)
{
    auto *panel = new TCollapsePanel;
    panel->SetCaption(caption);
    panel->SetExpandSteps(0);
    for (int i = 0; i < rows; ++i) {
        auto *label = new QLabel(u"Zeile %1"_s.arg(i + 1), panel);
        label->setGeometry(14, 28 + i * 22, 160, 20);
    }
    column->addWidget(panel);
    panel->resize(240, 40);
    panel->Loaded();
    return panel;
}

QWidget *makePage(const QString &title)
{
    auto *page = new QWidget;
    page->setWindowTitle(title);
    auto *column = new QVBoxLayout(page);
    column->setSpacing(4);
    addPanel(column, u"Ausgeklappt"_s, 3);
    TCollapsePanel *collapsed = addPanel(column, u"Eingeklappt"_s, 3);
    collapsed->SetExpandImmediately(false);
    TCollapsePanel *halfway = addPanel(column, u"Halb && halb"_s, 3);
    halfway->SetSizeing(true);
    halfway->SetExpandProgress(0.5f);
    TCollapsePanel *plain = addPanel(column, QString(), 2);
    plain->SetAsPanel(true);
    column->addStretch();
    page->resize(260, 420);
    return page;
}

bool save(QWidget *w, const QString &dir, const QString &name, int scale)
{
    const QString file = QDir(dir).filePath(u"%1@%2x.png"_s.arg(name).arg(scale));
    const bool ok = w->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: panels_gallery OUTDIR [--scale N] [--idle SECONDS] [--per-run]\n");
        return 2;
    }
    QString outDir = QString::fromLocal8Bit(argv[1]);
    int scale = 1;
    int idleSeconds = 0;
    bool perRun = false;
    for (int i = 2; i < argc; ++i) {
        const QByteArray option = argv[i];
        if (option == "--per-run")
            perRun = true;
        else if (option == "--scale" && i + 1 < argc)
            scale = std::max(1, atoi(argv[++i]));
        else if (option == "--idle" && i + 1 < argc)
            idleSeconds = std::max(0, atoi(argv[++i]));
    }
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "panels_gallery: cannot make the folder %s\n", argv[1]);
        return 1;
    }
    std::optional<QTemporaryDir> runFolder;
    if (perRun) {
        runFolder.emplace(outDir + u"/run-XXXXXX"_s);
        if (!runFolder->isValid()) {
            std::fprintf(stderr, "panels_gallery: cannot make a folder below %s\n", argv[1]);
            return 1;
        }
        outDir = runFolder->path();
    }
    qputenv("QT_SCALE_FACTOR", QByteArray::number(scale));
    // The gallery keeps no settings of the user's.
    QTemporaryDir settings;
    SetSettingsFolder(settings.path());

    static const TUnit *const units[]
        = { &XGraphicUnit, &Zelk_RegistryUnit, &zc_ScaleUnit, &zc_ThreadUnit, &CollapsePanelUnit };
    std::optional<TUnitRun> run(std::in_place, units);
    int result = 0;
    QElapsedTimer shutdown;
    {
        QApplication app(argc, argv);
        QWidget window;
        auto *row = new QHBoxLayout(&window);
        // The initial style, then the registered standard one: they paint alike.
        QWidget *initial = makePage(u"initial"_s);
        row->addWidget(initial);
        window.resize(280, 440);
        window.show();
        QCoreApplication::processEvents();
        result |= !save(&window, outDir, u"style-initial"_s, scale);
        CollapseHolder()->SetCollapsStyle(u"Standard"_s);
        result |= !save(&window, outDir, u"style-standard"_s, scale);

        // One panel collapsing: a picture at each of its first steps.
        const QList<TCollapsePanel *> panels = initial->findChildren<TCollapsePanel *>();
        TCollapsePanel *animated = panels.first();
        animated->SetExpandSteps(8);
        animated->SetCollapse(true);
        int frame = 0;
        QElapsedTimer timer;
        timer.start();
        int lastHeight = animated->height();
        while (animated->Sizeing() && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            if (animated->height() != lastHeight && frame < 4) {
                lastHeight = animated->height();
                // The panels below move up with it before the picture is taken.
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                result |= !save(&window, outDir, u"collapsing-%1"_s.arg(++frame), scale);
            }
        }
        result |= !save(&window, outDir, u"collapsed"_s, scale);

        if (idleSeconds > 0) {
            QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
            std::printf("idle for %d s, pid %lld\n", idleSeconds, qint64(QCoreApplication::applicationPid()));
            std::fflush(stdout);
            QApplication::exec();
        }
        shutdown.start();
    }
    run.reset();
    if (idleSeconds > 0)
        std::printf(
            "shut-down (application, then units) took %lld ms\n", static_cast<long long>(shutdown.elapsed()));
    if (runFolder && result != 0) {
        // Kept for looking at what went wrong.
        runFolder->setAutoRemove(false);
        std::fprintf(stderr, "panels_gallery: pictures kept in %s\n", qPrintable(outDir));
    }
    return result;
}
