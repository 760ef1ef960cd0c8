// The time-out of a task dialog: progress bar and countdown only above one second, the countdown's
// wording and number, the shrinking bar, and the one answer by the default button on a real dialog.

#include "components/dialogs/zc_dialogs_answers.h"
#include "platform/format.h"
#include "platform/taskdialog.h"
#include "tests/support/dialogdriver.h"

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString countdown(const QString &seconds, const QString &caption)
{
    return u"Diese Meldung wird in "_s + seconds + u" Sekunden automatisch mit \""_s + caption
        + u"\" beantwortet."_s;
}

struct Fixture
{
    std::unique_ptr<TCustomTaskDialog> dialog = std::make_unique<TCustomTaskDialog>();
    TTaskDialogButtonItem *button = nullptr;

    Fixture(const QString &text, const QString &caption, int result)
    {
        dialog->SetCommonButtons({});
        dialog->SetText(text);
        dialog->AddButton(u"&Abbrechen"_s, mrCancel);
        button = dialog->AddButton(caption, result, true);
    }
};

} // namespace

class TestTimeOutHandler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void attached_data()
    {
        QTest::addColumn<qint64>("timeOut");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("bar");
        QTest::addColumn<QString>("shown");

        const QChar sep = FormatSettings().ThousandSeparator;
        QTest::newRow("1000 ms: no bar, no countdown")
            << qint64(1000) << u"Weiter?"_s << u"OK"_s << false << u"Weiter?"_s;
        QTest::newRow("1001 ms: bar and countdown") << qint64(1001) << u"Weiter?"_s << u"OK"_s << true
                                                    << u"Weiter?\r\r"_s + countdown(u"1"_s, u"OK"_s);
        QTest::newRow("10000 ms with OK") << qint64(10000) << u"Weiter?"_s << u"OK"_s << true
                                          << u"Weiter?\r\r"_s + countdown(u"10"_s, u"OK"_s);
        QTest::newRow("caption &Yes quoted as Yes") << qint64(5000) << u"Weiter?"_s << u"&Yes"_s << true
                                                    << u"Weiter?\r\r"_s + countdown(u"5"_s, u"Yes"_s);
        QTest::newRow("every & removed from the caption")
            << qint64(5000) << u"Weiter?"_s << u"Ja && &Nein"_s << true
            << u"Weiter?\r\r"_s + countdown(u"5"_s, u"Ja  Nein"_s);
        QTest::newRow("an hour with thousands separator")
            << qint64(3600000) << u"Weiter?"_s << u"OK"_s << true
            << u"Weiter?\r\r"_s + countdown(u"3"_s + sep + u"600"_s, u"OK"_s);
        QTest::newRow("text trimmed before the countdown") << qint64(
            2000) << u"  Weiter?\r\n"_s << u"OK"_s << true << u"Weiter?\r\r"_s + countdown(u"2"_s, u"OK"_s);
        QTest::newRow("text trimmed without countdown")
            << qint64(500) << u"  Weiter?\r\n"_s << u"OK"_s << false << u"Weiter?"_s;
    }
    void attached()
    {
        QFETCH(qint64, timeOut);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        QFETCH(bool, bar);
        QFETCH(QString, shown);

        Fixture f(text, caption, mrOk);
        const TTaskDialogFlags before = f.dialog->Flags();
        const TMessageDlgTimeOutHandler handler(f.dialog.get(), f.button, timeOut);
        QCOMPARE(f.dialog->Text(), shown);
        QVERIFY(f.dialog->Flags().testFlag(tfCallbackTimer));
        QCOMPARE(f.dialog->Flags().testFlag(tfShowProgressBar), bar);
        QCOMPARE(f.dialog->Flags() & ~TTaskDialogFlags(tfCallbackTimer | tfShowProgressBar), before);
        QCOMPARE(f.dialog->ProgressBar().Min, 0);
        QCOMPARE(f.dialog->ProgressBar().Max, 100);
        QCOMPARE(f.dialog->ProgressBar().Position, 100);
        QVERIFY(bool(f.dialog->OnTimer));
        QVERIFY(!handler.TimeOutRaised());
    }

    // The dialog's timer calls with the milliseconds since it was shown; driven here by hand.
    void ticks_data()
    {
        QTest::addColumn<qint64>("timeOut");
        QTest::addColumn<quint32>("elapsed");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("seconds"); // empty: no countdown

        QTest::newRow("a quarter gone") << qint64(10000) << quint32(2600) << 74 << u"7"_s;
        QTest::newRow("half a second rounds up") << qint64(10000) << quint32(1500) << 85 << u"9"_s;
        QTest::newRow("at the time-out") << qint64(10000) << quint32(10000) << 0 << u"0"_s;
        QTest::newRow("short time-out: bar moves, no countdown")
            << qint64(1000) << quint32(333) << 67 << QString();
    }
    void ticks()
    {
        QFETCH(qint64, timeOut);
        QFETCH(quint32, elapsed);
        QFETCH(int, position);
        QFETCH(QString, seconds);

        Fixture f(u"Weiter?"_s, u"OK"_s, mrOk);
        const TMessageDlgTimeOutHandler handler(f.dialog.get(), f.button, timeOut);
        bool reset = false;
        f.dialog->OnTimer(f.dialog.get(), elapsed, reset);
        QCOMPARE(f.dialog->ProgressBar().Position, position);
        QCOMPARE(f.dialog->Text(),
            seconds.isEmpty() ? u"Weiter?"_s : u"Weiter?\r\r"_s + countdown(seconds, u"OK"_s));
        QVERIFY(!handler.TimeOutRaised());
        QVERIFY(f.dialog->Flags().testFlag(tfCallbackTimer));
    }

    void pastTheTimeOutRestoresTheTextOnce()
    {
        Fixture f(u"  Weiter?\r\n"_s, u"OK"_s, mrOk);
        const TMessageDlgTimeOutHandler handler(f.dialog.get(), f.button, 2000);
        auto timer = f.dialog->OnTimer;
        bool reset = false;
        timer(f.dialog.get(), 2001, reset);
        QVERIFY(handler.TimeOutRaised());
        QCOMPARE(f.dialog->Text(), u"  Weiter?\r\n"_s); // untrimmed, as it was
        QVERIFY(!f.dialog->Flags().testFlag(tfCallbackTimer));
        QVERIFY(!f.dialog->OnTimer);
        // A late tick of a copy still running changes nothing.
        timer(f.dialog.get(), 1000, reset);
        QCOMPARE(f.dialog->Text(), u"  Weiter?\r\n"_s);
    }

    void handlerFreedFirstDetaches()
    {
        Fixture f(u"Weiter?"_s, u"OK"_s, mrOk);
        {
            const TMessageDlgTimeOutHandler handler(f.dialog.get(), f.button, 2000);
        }
        QVERIFY(!f.dialog->OnTimer);
    }

    void answersOnAShownDialog_data()
    {
        QTest::addColumn<qint64>("timeOut");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("bar");

        QTest::newRow("1000 ms: no bar, no countdown") << qint64(1000) << u"OK"_s << int(mrOk) << false;
        QTest::newRow("1001 ms: bar and countdown") << qint64(1001) << u"OK"_s << int(mrOk) << true;
        QTest::newRow("Yes as default answers Yes") << qint64(300) << u"&Yes"_s << int(mrYes) << false;
    }
    void answersOnAShownDialog()
    {
        QFETCH(qint64, timeOut);
        QFETCH(QString, caption);
        QFETCH(int, result);
        QFETCH(bool, bar);

        Fixture f(u"Weiter?"_s, caption, result);
        f.dialog->SetTimerInterval(50);
        const TMessageDlgTimeOutHandler handler(f.dialog.get(), f.button, timeOut);
        bool barShown = !bar;
        QString firstText;
        ModalDialogDriver driver([&](QDialog *d) {
            barShown = d->findChild<QProgressBar *>(u"ProgressBar"_s)->isVisible();
            firstText = DialogSnapshot::of(d).text;
        });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(f.dialog->Execute());
        QVERIFY(clock.elapsed() >= timeOut);
        QCOMPARE(driver.seen(), 1);
        QCOMPARE(barShown, bar);
        if (bar)
            QVERIFY2(firstText.startsWith(u"Weiter?\n\nDiese Meldung wird in "_s), qPrintable(firstText));
        else
            QCOMPARE(firstText, u"Weiter?"_s);
        QVERIFY(handler.TimeOutRaised());
        QCOMPARE(f.dialog->ModalResult(), result);
        QCOMPARE(f.dialog->Button(), f.button);
        QCOMPARE(f.dialog->Text(), u"Weiter?"_s);
    }

    void missingDialogOrButtonRaises()
    {
        Fixture f(u"Weiter?"_s, u"OK"_s, mrOk);
        QVERIFY_THROWS_EXCEPTION(Exception, TMessageDlgTimeOutHandler(nullptr, f.button, 1000));
        QVERIFY_THROWS_EXCEPTION(Exception, TMessageDlgTimeOutHandler(f.dialog.get(), nullptr, 1000));
        QCOMPARE(f.dialog->Text(), u"Weiter?"_s);
    }
};

QTEST_MAIN(TestTimeOutHandler)
#include "tst_timeouthandler.moc"
