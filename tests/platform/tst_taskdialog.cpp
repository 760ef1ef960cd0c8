// The task dialog: buttons and results, events in their order, the periodic timer, the progress
// bar, the verification check box, live changes while shown, programmatic clicks from any thread,
// and exceptions from handlers.

#include "platform/exception.h"
#include "platform/taskdialog.h"
#include "tests/support/dialogdriver.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

class TestTaskDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void closesWithTheResultOfThePressedButton_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("customButton");
        QTest::newRow("first custom button") << u"&Speichern"_s << 100 << true;
        QTest::newRow("second custom button") << u"&Verwerfen"_s << 101 << true;
        QTest::newRow("common OK") << u"OK"_s << 1 << false;
        QTest::newRow("common Cancel") << u"Cancel"_s << 2 << false;
    }

    void closesWithTheResultOfThePressedButton()
    {
        QFETCH(QString, press);
        QFETCH(int, result);
        QFETCH(bool, customButton);
        TCustomTaskDialog dlg;
        dlg.SetCaption(u"Caption"_s);
        dlg.SetTitle(u"Instruction"_s);
        dlg.SetText(u"Line 1\r\nLine 2"_s);
        dlg.AddButton(u"&Speichern"_s, 100);
        dlg.AddButton(u"&Verwerfen"_s, 101, true);
        DialogSnapshot shot;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            pressButton(d, press);
        });
        QVERIFY(dlg.Execute());
        QCOMPARE(dlg.ModalResult(), result);
        QCOMPARE(dlg.Button() != nullptr, customButton);
        if (customButton)
            QCOMPARE(dlg.Button()->Caption(), press);
        QCOMPARE(shot.caption, u"Caption"_s);
        QCOMPARE(shot.instruction, u"Instruction"_s);
        QCOMPARE(shot.text, u"Line 1\nLine 2"_s);
        // Custom buttons first, then the platform's common buttons OK and Cancel.
        QCOMPARE(shot.buttons, QStringList({ u"&Speichern"_s, u"&Verwerfen"_s, u"OK"_s, u"Cancel"_s }));
        QCOMPARE(shot.results, QList<int>({ 100, 101, 1, 2 }));
        QCOMPARE(shot.defaultButton, u"&Verwerfen"_s);
        QCOMPARE(dlg.Handle(), nullptr);
    }

    void escapeAnswersCancelOnlyWhenAllowed_data()
    {
        QTest::addColumn<bool>("allowed");
        QTest::newRow("cancellation allowed") << true;
        QTest::newRow("cancellation not allowed") << false;
    }

    void escapeAnswersCancelOnlyWhenAllowed()
    {
        QFETCH(bool, allowed);
        TCustomTaskDialog dlg;
        dlg.SetCommonButtons({});
        dlg.SetFlags(allowed ? TTaskDialogFlags(tfAllowDialogCancellation) : TTaskDialogFlags());
        dlg.AddButton(u"&Yes"_s, 6);
        ModalDialogDriver driver([&](QDialog *d) {
            QTest::keyClick(d, Qt::Key_Escape);
            if (d->isVisible())
                pressButton(d, u"&Yes"_s);
        });
        QVERIFY(dlg.Execute());
        QCOMPARE(dlg.ModalResult(), allowed ? 2 : 6);
    }

    void eventsComeInTheirOrder()
    {
        TCustomTaskDialog dlg;
        QStringList log;
        dlg.OnDialogConstructed = [&](TCustomTaskDialog *s) {
            log << u"constructed, visible=%1"_s.arg(s->Handle()->isVisible());
        };
        dlg.OnDialogCreated
            = [&](TCustomTaskDialog *s) { log << u"created, visible=%1"_s.arg(s->Handle()->isVisible()); };
        dlg.OnButtonClicked = [&](TCustomTaskDialog *, int r, bool &) { log << u"clicked %1"_s.arg(r); };
        dlg.OnDialogDestroyed = [&](TCustomTaskDialog *) { log << u"destroyed"_s; };
        ModalDialogDriver driver([&](QDialog *d) { pressButton(d, u"OK"_s); });
        QVERIFY(dlg.Execute());
        QCOMPARE(log,
            QStringList(
                { u"constructed, visible=0"_s, u"created, visible=1"_s, u"clicked 1"_s, u"destroyed"_s }));
    }

    void buttonClickedCanKeepTheDialogOpen()
    {
        TCustomTaskDialog dlg;
        dlg.SetCommonButtons({});
        dlg.AddButton(u"&Later"_s, 20);
        dlg.AddButton(u"&Now"_s, 21);
        int refusals = 0;
        dlg.OnButtonClicked = [&](TCustomTaskDialog *, int r, bool &CanClose) {
            if (r == 20) {
                CanClose = false;
                ++refusals;
            }
        };
        ModalDialogDriver driver([&](QDialog *d) {
            pressButton(d, u"&Later"_s);
            QVERIFY(d->isVisible());
            pressButton(d, u"&Now"_s);
        });
        QVERIFY(dlg.Execute());
        QCOMPARE(refusals, 1);
        QCOMPARE(dlg.ModalResult(), 21);
    }

    // The way a time-out works: the timer counts the shown time, shrinks the progress bar and,
    // when time is up, drops its own handler and presses the default button. Time is up only after
    // a second tick as well, so that a loaded machine that delays the first tick past the time-out
    // still shows the count going on.
    void timerCountsShownTimeAndCanPressAButton()
    {
        TCustomTaskDialog dlg;
        dlg.SetCommonButtons({});
        TTaskDialogButtonItem *ok = dlg.AddButton(u"OK"_s, 1, true);
        dlg.AddButton(u"Cancel"_s, 2);
        dlg.SetFlags(dlg.Flags() | tfCallbackTimer | tfShowProgressBar);
        dlg.SetProgressBar({ 0, 100, 100 });
        dlg.SetTimerInterval(10);
        QList<quint32> ticks;
        QList<int> shownPositions;
        dlg.OnTimer = [&](TCustomTaskDialog *s, quint32 TickCount, bool &) {
            ticks << TickCount;
            s->SetProgressPosition(100 - int(TickCount / 3));
            shownPositions << s->Handle()->findChild<QProgressBar *>(u"ProgressBar"_s)->value();
            if (ticks.size() >= 2 && TickCount > 150) {
                s->OnTimer = nullptr;
                s->SetFlags(s->Flags() & ~TTaskDialogFlags(tfCallbackTimer));
                ok->Click();
            }
        };
        bool barVisible = false;
        ModalDialogDriver driver(
            [&](QDialog *d) { barVisible = d->findChild<QProgressBar *>(u"ProgressBar"_s)->isVisible(); });
        QVERIFY(dlg.Execute());
        QCOMPARE(dlg.ModalResult(), 1);
        QVERIFY(barVisible);
        QVERIFY(ticks.size() >= 2);
        QVERIFY(std::is_sorted(ticks.begin(), ticks.end()));
        QVERIFY(ticks.last() > 150);
        QCOMPARE(shownPositions.last(), 100 - int(ticks.last() / 3));
        QVERIFY(!dlg.OnTimer);
    }

    void timerResetStartsTheCountAgain()
    {
        TCustomTaskDialog dlg;
        dlg.SetFlags(dlg.Flags() | tfCallbackTimer);
        dlg.SetTimerInterval(10);
        QList<quint32> ticks;
        // Started before the handler asks for the reset, so a count that started again is never
        // above it, however late the next tick comes; a count that went on is 200 ms above it.
        QElapsedTimer sinceReset;
        qint64 sinceResetAtNextTick = -1;
        dlg.OnTimer = [&](TCustomTaskDialog *s, quint32 TickCount, bool &Reset) {
            ticks << TickCount;
            if (sinceReset.isValid()) {
                sinceResetAtNextTick = sinceReset.elapsed();
                s->FindButton(1)->Click();
            } else if (TickCount >= 200) {
                sinceReset.start();
                Reset = true;
            }
        };
        dlg.SetCommonButtons({});
        dlg.AddButton(u"OK"_s, 1);
        QVERIFY(dlg.Execute());
        QVERIFY(ticks.size() >= 2);
        QVERIFY(ticks[ticks.size() - 2] >= 200);
        QVERIFY(sinceResetAtNextTick >= 0);
        QVERIFY(qint64(ticks.last()) <= sinceResetAtNextTick);
    }

    void verificationCheckBox()
    {
        TCustomTaskDialog dlg;
        dlg.SetVerificationText(u"Dialog immer genauso beantworten."_s);
        int clicks = 0;
        dlg.OnVerificationClicked = [&](TCustomTaskDialog *) { ++clicks; };
        QString shownText;
        bool startedChecked = true;
        ModalDialogDriver driver([&](QDialog *d) {
            auto *box = d->findChild<QCheckBox *>(u"Verification"_s);
            shownText = box->text();
            startedChecked = box->isChecked();
            box->click();
            pressButton(d, u"OK"_s);
        });
        QVERIFY(dlg.Execute());
        QCOMPARE(shownText, u"Dialog immer genauso beantworten."_s);
        QVERIFY(!startedChecked);
        QCOMPARE(clicks, 1);
        QVERIFY(dlg.Flags().testFlag(tfVerificationFlagChecked));
    }

    void changesReachTheOpenWindow()
    {
        TCustomTaskDialog dlg;
        dlg.SetText(u"before"_s);
        TTaskDialogButtonItem *ok = dlg.FindButton(1); // common buttons are no items
        QCOMPARE(ok, nullptr);
        TTaskDialogButtonItem *go = dlg.AddButton(u"&Go"_s, 5);
        DialogSnapshot after;
        bool goEnabled = true;
        ModalDialogDriver driver([&](QDialog *d) {
            dlg.SetText(u"after\rsecond line"_s);
            dlg.SetTitle(u"Now with instruction"_s);
            go->SetEnabled(false);
            go->SetCaption(u"&Gone"_s);
            goEnabled = findButtonByResult(d, 5)->isEnabled();
            after = DialogSnapshot::of(d);
            pressButton(d, u"Cancel"_s);
        });
        QVERIFY(dlg.Execute());
        QCOMPARE(after.text, u"after\nsecond line"_s);
        QCOMPARE(after.instruction, u"Now with instruction"_s);
        QCOMPARE(after.buttons.first(), u"&Gone"_s);
        QVERIFY(!goEnabled);
        QCOMPARE(dlg.ModalResult(), 2);
    }

    void clickFromAnotherThreadClosesTheDialog()
    {
        TCustomTaskDialog dlg;
        TTaskDialogButtonItem *no = dlg.AddButton(u"&No"_s, 7);
        std::thread worker;
        dlg.OnDialogCreated = [&](TCustomTaskDialog *) { worker = std::thread([no] { no->Click(); }); };
        ModalDialogDriver driver([](QDialog *) {});
        QVERIFY(dlg.Execute());
        worker.join();
        QCOMPARE(dlg.ModalResult(), 7);
    }

    void clickWhileNotShownDoesNothing()
    {
        TCustomTaskDialog dlg;
        TTaskDialogButtonItem *b = dlg.AddButton(u"&No"_s, 7);
        b->Click();
        QCOMPARE(dlg.ModalResult(), 0);
    }

    void exceptionFromAHandlerClosesAndPropagates()
    {
        TCustomTaskDialog dlg;
        dlg.SetFlags(dlg.Flags() | tfCallbackTimer);
        dlg.SetTimerInterval(10);
        dlg.OnTimer = [](TCustomTaskDialog *, quint32, bool &) { throw EConvertError(u"from the timer"_s); };
        try {
            dlg.Execute();
            QFAIL("no exception");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), u"from the timer"_s);
        }
        QCOMPARE(dlg.Handle(), nullptr);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    void constructedHandlerMayCustomiseAndRaise()
    {
        TCustomTaskDialog dlg;
        dlg.OnDialogConstructed = [](TCustomTaskDialog *) { throw Exception(u"refused"_s); };
        QVERIFY_THROWS_EXCEPTION(Exception, dlg.Execute());
        QCOMPARE(dlg.Handle(), nullptr);
        // Usable again afterwards.
        dlg.OnDialogConstructed = nullptr;
        ModalDialogDriver driver([](QDialog *d) { pressButton(d, u"OK"_s); });
        QVERIFY(dlg.Execute());
        QCOMPARE(dlg.ModalResult(), 1);
    }

    void executeWhileShownReturnsFalse()
    {
        TCustomTaskDialog dlg;
        bool second = true;
        ModalDialogDriver driver([&](QDialog *d) {
            second = dlg.Execute();
            pressButton(d, u"OK"_s);
        });
        QVERIFY(dlg.Execute());
        QVERIFY(!second);
    }

    void executeOnAnotherThreadRaises()
    {
        TCustomTaskDialog dlg;
        bool raised = false;
        std::thread([&] {
            try {
                dlg.Execute();
            } catch (const Exception &) {
                raised = true;
            }
        }).join();
        QVERIFY(raised);
    }
};

QTEST_MAIN(TestTaskDialog)
#include "tst_taskdialog.moc"
