// Routing of the platform's message dialogs to the service: once on, platform calls show service
// task dialogs (no main instruction, the type's caption, the service's buttons) and are recorded;
// an application with a style sheet of its own keeps the platform's dialogs; the task dialogs of
// the platform are never routed; the unit's end hands the dialogs back.

#include "components/dialogs/zc_dialogs.h"
#include "platform/dialogs.h"
#include "tests/support/dialogdriver.h"

#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TMsgDlgButtons)

namespace {

struct Shown
{
    DialogSnapshot shot;
    bool taskDialog = false; // a task dialog has a "Content" label, the platform's message dialog "Message"
};

template <class F> Shown showAndPress(int result, F &&call)
{
    Shown shown;
    ModalDialogDriver driver([&](QDialog *d) {
        shown.shot = DialogSnapshot::of(d);
        shown.taskDialog = d->findChild<QLabel *>(u"Content"_s) != nullptr;
        if (QPushButton *b = findButtonByResult(d, result))
            b->click();
    });
    call();
    return shown;
}

int historyCount()
{
    return Tzc_Dialogs::GetHistorie()->Count();
}

} // namespace

class TestDialogRouting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QCoreApplication::setApplicationName(u"Prüfprogramm"_s); }

    void platformDialogsGoToTheService()
    {
        const TUnitRun units { &zc_DialogsUnit };
        Tzc_Dialogs::ExchangeDialogAddress();

        Shown shown = showAndPress(mrOk, [] { ::ShowMessage(u"Hallo"_s); });
        QVERIFY(shown.taskDialog);
        QCOMPARE(shown.shot.caption, u"Prüfprogramm"_s);
        QCOMPARE(shown.shot.instruction, QString());
        QCOMPARE(shown.shot.text, u"Hallo"_s);
        QCOMPARE(shown.shot.buttons, QStringList { u"OK"_s });
        QCOMPARE(historyCount(), 1);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Items(0).AnswerTyp(), AnswerTypUser);

        int result = 0;
        shown = showAndPress(mrIgnore, [&] {
            result = ::MessageDlg(u"Weiter?"_s, mtWarning, { mbAbort, mbIgnore }, 0);
        });
        QCOMPARE(result, int(mrIgnore));
        QVERIFY(shown.taskDialog);
        QCOMPARE(shown.shot.caption, u"Warning"_s);
        QCOMPARE(shown.shot.instruction, QString());
        QCOMPARE(shown.shot.buttons, QStringList({ u"&Abort"_s, u"&Ignore"_s }));
        // The platform's pick (Retry) is not in this set; the service's rule takes the lowest button.
        QCOMPARE(shown.shot.defaultButton, u"&Abort"_s);
        QCOMPARE(historyCount(), 2);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Items(0).Instruction(), u"&"_s);

        shown = showAndPress(mrNo, [&] {
            result = ::MessageDlgPos(u"Sicher?"_s, mtConfirmation, { mbYes, mbNo }, 0, 10, 10, mbNo);
        });
        QCOMPARE(result, int(mrNo));
        QCOMPARE(shown.shot.defaultButton, u"&No"_s);
        QCOMPARE(historyCount(), 3);

        // Task-message dialogs of the platform stay its own.
        showAndPress(mrOk, [] { ::TaskMessageDlg(u"Kopf"_s, u"Text"_s, mtInformation, { mbOK }, 0); });
        QCOMPARE(historyCount(), 3);
    }

    void routedDefaultButton_data()
    {
        QTest::addColumn<TMsgDlgButtons>("buttons");
        QTest::addColumn<int>("given"); // -1: the caller names no default button
        QTest::addColumn<QString>("defaultButton");
        QTest::newRow("none given for Retry and Cancel: Cancel")
            << TMsgDlgButtons { mbRetry, mbCancel } << -1 << u"Cancel"_s;
        QTest::newRow("none given for Abort, Retry and Ignore: Abort")
            << TMsgDlgButtons { mbAbort, mbRetry, mbIgnore } << -1 << u"&Abort"_s;
        QTest::newRow("none given for Yes, No, Retry and Cancel: Yes")
            << TMsgDlgButtons { mbYes, mbNo, mbRetry, mbCancel } << -1 << u"&Yes"_s;
        QTest::newRow("Retry given for Retry and Cancel: Retry")
            << TMsgDlgButtons { mbRetry, mbCancel } << int(mbRetry) << u"&Retry"_s;
    }

    // A routed dialog whose caller names no default button gets the service's own rule, not the
    // platform's pick.
    void routedDefaultButton()
    {
        QFETCH(TMsgDlgButtons, buttons);
        QFETCH(int, given);
        QFETCH(QString, defaultButton);
        const TUnitRun units { &zc_DialogsUnit };
        Tzc_Dialogs::ExchangeDialogAddress();
        const Shown shown = showAndPress(MsgDlgButtonResult(mbRetry), [&] {
            if (given < 0)
                ::MessageDlg(u"Nochmal?"_s, mtWarning, buttons, 0);
            else
                ::MessageDlg(u"Nochmal?"_s, mtWarning, buttons, 0, TMsgDlgBtn(given));
        });
        QVERIFY(shown.taskDialog);
        QCOMPARE(shown.shot.defaultButton, defaultButton);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Items(0).DefaultButton(),
            given < 0 ? Tzc_Dialogs::CalcDefaultButton(buttons) : TMsgDlgBtn(given));
    }

    void secondCallChangesNothing()
    {
        const TUnitRun units { &zc_DialogsUnit };
        Tzc_Dialogs::ExchangeDialogAddress();
        Tzc_Dialogs::ExchangeDialogAddress();
        showAndPress(mrOk, [] { ::ShowMessage(u"Einmal"_s); });
        QCOMPARE(historyCount(), 1);
    }

    void applicationStyleSheetKeepsThePlatformDialogs()
    {
        const TUnitRun units { &zc_DialogsUnit };
        qApp->setStyleSheet(u"QPushButton { color: navy; }"_s);
        Tzc_Dialogs::ExchangeDialogAddress();
        qApp->setStyleSheet(QString());
        // Once refused, a later call may route: the style is looked at when the call is made.
        const Shown shown = showAndPress(mrOk, [] { ::ShowMessage(u"Eigen"_s); });
        QVERIFY(!shown.taskDialog);
        QCOMPARE(historyCount(), 0);
    }

    void applicationStyleKeepsThePlatformDialogs_data()
    {
        QTest::addColumn<QString>("style"); // a style of the factory, or "proxy" for one of its own
        QTest::addColumn<bool>("routed");
        QTest::newRow("another style of the platform") << u"other"_s << false;
        QTest::newRow("a style of the application's own") << u"proxy"_s << false;
        QTest::newRow("the system's own style set again") << u"system"_s << true;
    }

    // A style the application set with QApplication::setStyle dresses its platform dialogs as much as
    // a style sheet does: they are not routed.
    void applicationStyleKeepsThePlatformDialogs()
    {
        QFETCH(QString, style);
        QFETCH(bool, routed);
        const TUnitRun units { &zc_DialogsUnit };
        const QString system = QApplication::style()->name();
        QString other;
        for (const QString &key : QStyleFactory::keys()) {
            if (key.compare(system, Qt::CaseInsensitive) != 0)
                other = key;
        }
        if (style == u"other"_s && other.isEmpty())
            QSKIP("this system offers one style only");
        if (style == u"proxy"_s)
            QApplication::setStyle(new QProxyStyle(QStyleFactory::create(system)));
        else
            QApplication::setStyle(style == u"other"_s ? other : system);
        Tzc_Dialogs::ExchangeDialogAddress();
        const Shown shown = showAndPress(mrOk, [] { ::ShowMessage(u"Gestylt"_s); });
        QApplication::setStyle(system);
        QCOMPARE(shown.taskDialog, routed);
        QCOMPARE(historyCount(), routed ? 1 : 0);
    }

    void withoutTaskDialogsNothingIsRouted()
    {
        const TUnitRun units { &zc_DialogsUnit };
        Tzc_Dialogs::SetUseLatestCommonDialogs(false);
        Tzc_Dialogs::ExchangeDialogAddress();
        const Shown shown = showAndPress(mrOk, [] { ::ShowMessage(u"Klassisch"_s); });
        QVERIFY(!shown.taskDialog);
        QCOMPARE(historyCount(), 0);
    }

    void unitEndHandsThePlatformDialogsBack()
    {
        {
            const TUnitRun units { &zc_DialogsUnit };
            Tzc_Dialogs::ExchangeDialogAddress();
        }
        const Shown shown = showAndPress(mrOk, [] { ::ShowMessage(u"Wieder eigen"_s); });
        QVERIFY(!shown.taskDialog);
        QCOMPARE(shown.shot.text, u"Wieder eigen"_s);
    }
};

QTEST_MAIN(TestDialogRouting)
#include "tst_dialogrouting.moc"
