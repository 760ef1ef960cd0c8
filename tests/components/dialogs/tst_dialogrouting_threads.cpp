// The GUI thread switches the routing of the platform's dialogs on while a worker keeps asking for
// one: unrouted, the platform refuses a dialog off the GUI thread; routed, the service shows it.
// Every read and write of the routes must be guarded. Run straight from main, not from a QtTest
// function: the sanitizer's suppressions for Qt's own libraries would hide a race on a stack that
// passes through them, and a test function's stack always does (so does a QThread's).

#include "components/dialogs/zc_dialogs.h"
#include "platform/dialogs.h"
#include "platform/exception.h"
#include "tests/support/dialogdriver.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr auto Patience = std::chrono::seconds(10);

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const TUnitRun units { &zc_DialogsUnit };
    DialogSnapshot shot;
    bool taskDialog = false;
    ModalDialogDriver driver([&](QDialog *d) {
        shot = DialogSnapshot::of(d);
        taskDialog = d->findChild<QLabel *>(u"Content"_s) != nullptr;
        pressButton(d, u"OK"_s);
    });

    std::atomic<bool> go { false };
    std::atomic<bool> giveUp { false };
    std::atomic<bool> finished { false };
    std::atomic<int> refused { 0 };
    // ShowMessage reads both routes: its own, and the message route behind it.
    std::thread worker([&] {
        while (!go.load())
            std::this_thread::yield();
        while (!giveUp.load()) {
            try {
                ::ShowMessage(u"Vom Thread"_s);
                break;
            } catch (const Exception &) {
                ++refused;
            }
        }
        finished = true;
    });

    go = true;
    // Some refusals first, so that the worker is in the middle of asking when the routes change.
    const auto deadline = std::chrono::steady_clock::now() + Patience;
    while (refused.load() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    Tzc_Dialogs::ExchangeDialogAddress();
    // The answer comes back to the worker before the GUI thread records the dialog.
    const auto patienceMs = int(std::chrono::duration_cast<std::chrono::milliseconds>(Patience).count());
    const bool done = QTest::qWaitFor(
        [&] { return finished.load() && Tzc_Dialogs::GetHistorie()->Count() > 0; }, patienceMs);
    giveUp = true;
    worker.join();

    const int history = Tzc_Dialogs::GetHistorie()->Count();
    std::printf("%d refused before routing; %s; %d shown, task dialog %d, text \"%s\"; %d in the history\n",
        refused.load(), done ? "answered" : "not answered", driver.seen(), int(taskDialog),
        qPrintable(shot.text), history);
    return refused > 0 && done && driver.seen() == 1 && taskDialog && shot.text == u"Vom Thread"_s
            && history == 1
        ? 0
        : 1;
}
