// The graphic cache shared by the GUI thread and a worker: both draw the same gradients (so both
// find them missing at once) while the worker replaces a graphic the GUI thread reads. Every access
// must go through the cache's lock. Run straight from main, not from a QtTest function: the
// sanitizer's suppressions for Qt's own libraries would hide a race on a stack that passes through
// them, and a test function's stack always does.

#include "components/panels/xgraphic_cache.h"

#include <QGuiApplication>
#include <QPainter>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int Rounds = 2000;
constexpr int Colours = 7;
constexpr int Heights = 50;

// Returns how many times a graphic read back was not one the other thread wrote.
int drawAll(const std::atomic<bool> &go, bool replace)
{
    QImage canvas(4, 64, QImage::Format_RGB32);
    QPainter p(&canvas);
    while (!go.load())
        std::this_thread::yield();
    int wrong = 0;
    for (int i = 0; i < Rounds; ++i) {
        p.setBrush(QColor(i % Colours, 2, 3));
        DrawCachedGradient(p, QRect(0, 0, 4, 8 + i % Heights), clWhite, 1.0f);
        if (replace) {
            QImage image(1 + i % 3, 1, QImage::Format_RGB32);
            image.fill(Qt::red);
            GraphicCache()->AddOrSetValue(u"replaced"_s, image);
        } else {
            QImage value;
            if (GraphicCache()->TryGetValue(u"replaced"_s, value))
                wrong += value.width() < 1 || value.width() > 3;
        }
    }
    return wrong;
}

} // namespace

int main(int argc, char *argv[])
{
    const TUnitRun units { &XGraphicUnit };
    QGuiApplication app(argc, argv);
    std::atomic<bool> go { false };
    int workerWrong = 0;
    std::thread worker([&] { workerWrong = drawAll(go, true); });
    go = true;
    const int wrong = drawAll(go, false);
    worker.join();
    int missing = 0;
    for (int c = 0; c < Colours; ++c) {
        for (int h = 0; h < Heights; ++h) {
            QImage strip;
            const bool found = GraphicCache()->TryGetBitmap(u"%1;%2"_s.arg(RGB(c, 2, 3)).arg(8 + h), strip);
            missing += !found || strip.height() != 8 + h;
        }
    }
    std::printf("%d strips missing, %d graphics read wrong\n", missing, wrong + workerWrong);
    return missing == 0 && wrong == 0 && workerWrong == 0 ? 0 : 1;
}
