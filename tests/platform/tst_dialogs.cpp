// The platform's message dialogs and task-message dialogs: captions, icons, button texts and order,
// modal results, default and cancel buttons, positions, help, routing, and the GUI-thread rule.

#include "platform/dialogs.h"
#include "platform/exception.h"
#include "platform/taskdialog.h"
#include "tests/support/dialogdriver.h"

#include <QLabel>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TMsgDlgType)

namespace {

const QString appTitle = u"Pravik Test"_s;

bool iconShown(QDialog *d)
{
    for (const char *name : { "Image", "Icon" }) {
        auto *l = d->findChild<QLabel *>(QLatin1String(name));
        if (l && !l->isHidden() && !l->pixmap().isNull())
            return true;
    }
    return false;
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(appTitle); }

    void vocabulary()
    {
        QStringList captions;
        QList<int> results;
        for (int b = 0; b < MsgDlgBtnCount; ++b) {
            captions << MsgDlgButtonCaption(TMsgDlgBtn(b));
            results << MsgDlgButtonResult(TMsgDlgBtn(b));
        }
        QCOMPARE(captions,
            QStringList({ u"&Yes"_s, u"&No"_s, u"OK"_s, u"Cancel"_s, u"&Abort"_s, u"&Retry"_s, u"&Ignore"_s,
                u"&All"_s, u"N&o to All"_s, u"Yes to &All"_s, u"&Help"_s, u"&Close"_s }));
        QCOMPARE(results, QList<int>({ 6, 7, 1, 2, 3, 4, 5, 12, 13, 14, 0, 8 }));
        QCOMPARE(TMsgDlgButtons({ mbYes, mbClose }).Bits(), quint16(0x801));
    }

    void messageDialogCaptionAndIcon_data()
    {
        QTest::addColumn<TMsgDlgType>("type");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("icon");
        QTest::newRow("warning") << mtWarning << u"Warning"_s << true;
        QTest::newRow("error") << mtError << u"Error"_s << true;
        QTest::newRow("information") << mtInformation << u"Information"_s << true;
        QTest::newRow("confirmation") << mtConfirmation << u"Confirm"_s << true;
        QTest::newRow("custom: application title, no icon") << mtCustom << appTitle << false;
    }

    void messageDialogCaptionAndIcon()
    {
        QFETCH(TMsgDlgType, type);
        QFETCH(QString, caption);
        QFETCH(bool, icon);
        DialogSnapshot shot;
        bool hasIcon = !icon;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            hasIcon = iconShown(d);
            pressButton(d, u"OK"_s);
        });
        QCOMPARE(MessageDlg(u"Zeile 1\r\nZeile 2"_s, type, { mbOK }, 0), 1);
        QCOMPARE(shot.caption, caption);
        QCOMPARE(shot.text, u"Zeile 1\nZeile 2"_s);
        QCOMPARE(hasIcon, icon);
    }

    void messageDialogButtons_data()
    {
        QTest::addColumn<quint16>("set");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("defaultCaption");
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("escapeResult");

        QTest::newRow("Yes and No: Yes default, Esc is No")
            << TMsgDlgButtons({ mbYes, mbNo }).Bits() << QStringList({ u"&Yes"_s, u"&No"_s }) << u"&Yes"_s
            << u"&No"_s << 7 << 7;
        QTest::newRow("OK and Cancel")
            << TMsgDlgButtons({ mbOK, mbCancel }).Bits() << QStringList({ u"OK"_s, u"Cancel"_s }) << u"OK"_s
            << u"Cancel"_s << 2 << 2;
        QTest::newRow("Abort, Retry, Ignore: the lowest, Abort, default, Esc cancels")
            << TMsgDlgButtons({ mbAbort, mbRetry, mbIgnore }).Bits()
            << QStringList({ u"&Abort"_s, u"&Retry"_s, u"&Ignore"_s }) << u"&Abort"_s << u"&Ignore"_s << 5
            << 2;
        QTest::newRow("Abort alone: Abort default")
            << TMsgDlgButtons({ mbAbort }).Bits() << QStringList({ u"&Abort"_s }) << u"&Abort"_s
            << u"&Abort"_s << 3 << 2;
        QTest::newRow("every button, in set order; No to all")
            << quint16(0x0FFF)
            << QStringList({ u"&Yes"_s, u"&No"_s, u"OK"_s, u"Cancel"_s, u"&Abort"_s, u"&Retry"_s,
                   u"&Ignore"_s, u"&All"_s, u"N&o to All"_s, u"Yes to &All"_s, u"&Help"_s, u"&Close"_s })
            << u"OK"_s << u"N&o to All"_s << 13 << 2;
        QTest::newRow("Yes to all") << TMsgDlgButtons({ mbYesToAll, mbNoToAll }).Bits()
                                    << QStringList({ u"N&o to All"_s, u"Yes to &All"_s }) << u"N&o to All"_s
                                    << u"Yes to &All"_s << 14 << 2;
        QTest::newRow("All and Close")
            << TMsgDlgButtons({ mbAll, mbClose }).Bits() << QStringList({ u"&All"_s, u"&Close"_s })
            << u"&All"_s << u"&All"_s << 12 << 2;
        QTest::newRow("Close") << TMsgDlgButtons({ mbAll, mbClose }).Bits()
                               << QStringList({ u"&All"_s, u"&Close"_s }) << u"&All"_s << u"&Close"_s << 8
                               << 2;
    }

    void messageDialogButtons()
    {
        QFETCH(quint16, set);
        QFETCH(QStringList, captions);
        QFETCH(QString, defaultCaption);
        QFETCH(QString, press);
        QFETCH(int, result);
        QFETCH(int, escapeResult);
        const TMsgDlgButtons buttons = TMsgDlgButtons::FromBits(set);
        DialogSnapshot shot;
        {
            ModalDialogDriver driver([&](QDialog *d) {
                shot = DialogSnapshot::of(d);
                QVERIFY(pressButton(d, press));
            });
            QCOMPARE(MessageDlg(u"Frage"_s, mtConfirmation, buttons, 0), result);
        }
        QCOMPARE(shot.buttons, captions);
        QCOMPARE(shot.defaultButton, defaultCaption);
        ModalDialogDriver escape([](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); });
        QCOMPARE(MessageDlg(u"Frage"_s, mtConfirmation, buttons, 0), escapeResult);
    }

    // One rule for the platform's dialogs and the dialog service, routed or not.
    void defaultButtonRule_data()
    {
        QTest::addColumn<quint16>("set");
        QTest::addColumn<int>("expected");
        QTest::newRow("Yes and No: Yes") << TMsgDlgButtons({ mbYes, mbNo }).Bits() << int(mbYes);
        QTest::newRow("OK and Cancel: OK") << TMsgDlgButtons({ mbOK, mbCancel }).Bits() << int(mbOK);
        QTest::newRow("Yes, OK: OK first") << TMsgDlgButtons({ mbYes, mbOK }).Bits() << int(mbOK);
        QTest::newRow("Abort, Retry and Ignore: Abort")
            << TMsgDlgButtons({ mbAbort, mbRetry, mbIgnore }).Bits() << int(mbAbort);
        QTest::newRow("Retry and Cancel: Cancel")
            << TMsgDlgButtons({ mbRetry, mbCancel }).Bits() << int(mbCancel);
        QTest::newRow("Help and Close: Help") << TMsgDlgButtons({ mbHelp, mbClose }).Bits() << int(mbHelp);
        QTest::newRow("empty set: Abort") << quint16(0) << int(mbAbort);
    }

    void defaultButtonRule()
    {
        QFETCH(quint16, set);
        QFETCH(int, expected);
        QCOMPARE(int(DefaultMsgDlgButton(TMsgDlgButtons::FromBits(set))), expected);
    }

    void explicitDefaultButton()
    {
        DialogSnapshot shot;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            pressButton(d, u"&Yes"_s);
        });
        QCOMPARE(MessageDlgPos(u"x"_s, mtWarning, { mbYes, mbNo }, 0, -1, -1, mbNo), 6);
        QCOMPARE(shot.defaultButton, u"&No"_s);
    }

    void helpButtonAsksForHelpAndStaysOpen()
    {
        auto form = CreateMessageDialog(u"Hilfe?"_s, mtInformation, { mbOK, mbHelp });
        form->SetHelpContext(77);
        form->SetHelpFile(u"pravik.chm"_s);
        QList<int> contexts;
        QObject::connect(form.get(), &TMessageForm::HelpRequested, [&](int ctx, const QString &file) {
            contexts << ctx;
            QCOMPARE(file, u"pravik.chm"_s);
        });
        bool openAfterHelp = false;
        ModalDialogDriver driver([&](QDialog *d) {
            pressButton(d, u"&Help"_s);
            openAfterHelp = d->isVisible();
            pressButton(d, u"OK"_s);
        });
        QCOMPARE(form->ShowModal(), 1);
        QVERIFY(openAfterHelp);
        QCOMPARE(contexts, QList<int> { 77 });
    }

    void createMessageDialogIsNotShownYet()
    {
        auto form = CreateMessageDialog(u"Text"_s, mtError, { mbOK });
        QVERIFY(!form->isVisible());
        QCOMPARE(form->Message(), u"Text"_s);
        QCOMPARE(form->DlgType(), mtError);
        QVERIFY(form->Button(mbOK));
        QCOMPARE(form->Button(mbCancel), nullptr);
    }

    void showMessagePos()
    {
        DialogSnapshot shot;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            pressButton(d, u"OK"_s);
        });
        ShowMessagePos(u"Hallo"_s, 40, 50);
        QCOMPARE(driver.seen(), 1);
        QCOMPARE(shot.caption, appTitle);
        QCOMPARE(shot.text, u"Hallo"_s);
        QCOMPARE(shot.buttons, QStringList { u"OK"_s });
        QCOMPARE(shot.position, QPoint(40, 50));
    }

    void routesTakeOverTheMessageDialogs()
    {
        QStringList calls;
        SetMessageDlgRoute(
            [&](const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y,
                const QString &HelpFileName, std::optional<TMsgDlgBtn> DefaultButton) {
                calls << u"%1|%2|%3|%4|%5,%6|%7|%8"_s.arg(Msg)
                             .arg(DlgType)
                             .arg(Buttons.Bits())
                             .arg(HelpCtx)
                             .arg(X)
                             .arg(Y)
                             .arg(HelpFileName)
                             .arg(DefaultButton ? QString::number(*DefaultButton) : u"none"_s);
                return 65535;
            });
        SetShowMessageRoute([&](const QString &Msg) { calls << u"show "_s + Msg; });
        ModalDialogDriver driver([](QDialog *d) { d->done(0); });
        const int r = MessageDlgPos(u"m"_s, mtError, { mbYes, mbNo }, 5, 1, 2);
        MessageDlgPos(u"d"_s, mtError, { mbYes, mbNo }, 5, 1, 2, mbNo);
        ShowMessage(u"s"_s);
        ShowMessagePos(u"p"_s, -1, -1);
        SetMessageDlgRoute({});
        SetShowMessageRoute({});
        QCOMPARE(r, 65535);
        // The route hears whether the caller named a default button.
        QCOMPARE(calls,
            QStringList(
                { u"m|1|3|5|1,2||none"_s, u"d|1|3|5|1,2||1"_s, u"show s"_s, u"p|4|4|0|-1,-1||none"_s }));
        QCOMPARE(driver.seen(), 0);
    }

    void taskMessageDialog_data()
    {
        QTest::addColumn<TMsgDlgType>("type");
        QTest::addColumn<QString>("title");
        QTest::addColumn<quint16>("set");
        QTest::addColumn<int>("defaultButton"); // -1: the overload without one
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("icon");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("defaultCaption");
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("result");

        const quint16 yesNo = TMsgDlgButtons({ mbYes, mbNo }).Bits();
        QTest::newRow("warning without title, No default, Yes pressed")
            << mtWarning << QString() << yesNo << int(mbNo) << u"Warning"_s << true
            << QStringList({ u"&Yes"_s, u"&No"_s }) << u"&No"_s << u"&Yes"_s << 6;
        QTest::newRow("warning without title, No pressed")
            << mtWarning << QString() << yesNo << int(mbNo) << u"Warning"_s << true
            << QStringList({ u"&Yes"_s, u"&No"_s }) << u"&No"_s << u"&No"_s << 7;
        QTest::newRow("error with title, platform default")
            << mtError << u"Titel"_s << TMsgDlgButtons({ mbOK, mbCancel }).Bits() << -1 << u"Error"_s << true
            << QStringList({ u"OK"_s, u"Cancel"_s }) << u"OK"_s << u"Cancel"_s << 2;
        QTest::newRow("information") << mtInformation << u"Info"_s << TMsgDlgButtons({ mbOK }).Bits() << -1
                                     << u"Information"_s << true << QStringList({ u"OK"_s }) << u"OK"_s
                                     << u"OK"_s << 1;
        QTest::newRow("confirmation with question icon")
            << mtConfirmation << QString() << yesNo << -1 << u"Confirm"_s << true
            << QStringList({ u"&Yes"_s, u"&No"_s }) << u"&Yes"_s << u"&No"_s << 7;
        QTest::newRow("custom: application title, no icon")
            << mtCustom << QString() << TMsgDlgButtons({ mbOK }).Bits() << -1 << appTitle << false
            << QStringList({ u"OK"_s }) << u"OK"_s << u"OK"_s << 1;
        QTest::newRow("help button closes with -1")
            << mtInformation << QString() << TMsgDlgButtons({ mbOK, mbHelp }).Bits() << -1 << u"Information"_s
            << true << QStringList({ u"OK"_s, u"&Help"_s }) << u"OK"_s << u"&Help"_s << -1;
        QTest::newRow("Abort, Retry, Ignore: the lowest, Abort, default")
            << mtError << QString() << TMsgDlgButtons({ mbAbort, mbRetry, mbIgnore }).Bits() << -1
            << u"Error"_s << true << QStringList({ u"&Abort"_s, u"&Retry"_s, u"&Ignore"_s }) << u"&Abort"_s
            << u"&Abort"_s << 3;
    }

    void taskMessageDialog()
    {
        QFETCH(TMsgDlgType, type);
        QFETCH(QString, title);
        QFETCH(quint16, set);
        QFETCH(int, defaultButton);
        QFETCH(QString, caption);
        QFETCH(bool, icon);
        QFETCH(QStringList, captions);
        QFETCH(QString, defaultCaption);
        QFETCH(QString, press);
        QFETCH(int, result);
        DialogSnapshot shot;
        bool hasIcon = !icon;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            hasIcon = iconShown(d);
            QVERIFY(pressButton(d, press));
        });
        const TMsgDlgButtons buttons = TMsgDlgButtons::FromBits(set);
        const int r = defaultButton < 0
            ? TaskMessageDlg(title, u"Inhalt\r\nzweite Zeile"_s, type, buttons, 0)
            : TaskMessageDlg(title, u"Inhalt\r\nzweite Zeile"_s, type, buttons, 0, TMsgDlgBtn(defaultButton));
        QCOMPARE(r, result);
        QCOMPARE(shot.caption, caption);
        QCOMPARE(shot.instruction, title);
        QCOMPARE(shot.text, u"Inhalt\nzweite Zeile"_s);
        QCOMPARE(shot.buttons, captions);
        QCOMPARE(shot.defaultButton, defaultCaption);
        QCOMPARE(hasIcon, icon);
    }

    void taskMessageDialogEscapeCancels()
    {
        ModalDialogDriver driver([](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); });
        QCOMPARE(TaskMessageDlg(QString(), u"x"_s, mtWarning, { mbYes, mbNo }, 0, mbNo), 2);
    }

    void taskMessageDlgPosHelpPlacesAndCarriesTheHelpFile()
    {
        QPoint pos;
        QString helpFile;
        ModalDialogDriver driver([&](QDialog *d) {
            pos = d->pos();
            helpFile = d->property("HelpFile").toString();
            pressButton(d, u"OK"_s);
        });
        QCOMPARE(
            TaskMessageDlgPosHelp(u"T"_s, u"x"_s, mtInformation, { mbOK }, 3, 30, 60, u"hilfe.chm"_s, mbOK),
            1);
        QCOMPARE(pos, QPoint(30, 60));
        QCOMPARE(helpFile, u"hilfe.chm"_s);
    }

    // The one way from a message's parameters to a task dialog, which the platform's task-message
    // dialog and the dialog service both fill theirs with.
    void buildTaskMessageDialog_data()
    {
        QTest::addColumn<TMsgDlgType>("type");
        QTest::addColumn<quint16>("set");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("mainIcon");
        QTest::addColumn<bool>("customIcon");
        QTest::addColumn<QStringList>("buttons"); // caption:result, * for the default one

        QTest::newRow("warning, Yes and No, No default")
            << mtWarning << TMsgDlgButtons({ mbNo, mbYes }).Bits() << int(mbNo) << u"Warning"_s
            << int(tdiWarning) << false << QStringList({ u"&Yes:6"_s, u"&No:7*"_s });
        QTest::newRow("error, Abort, Retry, Ignore")
            << mtError << TMsgDlgButtons({ mbAbort, mbRetry, mbIgnore }).Bits() << int(mbRetry) << u"Error"_s
            << int(tdiError) << false << QStringList({ u"&Abort:3"_s, u"&Retry:4*"_s, u"&Ignore:5"_s });
        QTest::newRow("information, Help closes with -1")
            << mtInformation << TMsgDlgButtons({ mbOK, mbHelp }).Bits() << int(mbOK) << u"Information"_s
            << int(tdiInformation) << false << QStringList({ u"OK:1*"_s, u"&Help:-1"_s });
        QTest::newRow("confirmation: the question icon as custom icon")
            << mtConfirmation << TMsgDlgButtons({ mbYes, mbNo, mbCancel }).Bits() << int(mbYes)
            << u"Confirm"_s << int(tdiInformation) << true
            << QStringList({ u"&Yes:6*"_s, u"&No:7"_s, u"Cancel:2"_s });
        QTest::newRow("custom: the application's title, no icon, default not in the set")
            << mtCustom << TMsgDlgButtons({ mbAll, mbClose }).Bits() << int(mbOK) << appTitle << int(tdiNone)
            << false << QStringList({ u"&All:12"_s, u"&Close:8"_s });
    }

    void buildTaskMessageDialog()
    {
        QFETCH(TMsgDlgType, type);
        QFETCH(quint16, set);
        QFETCH(int, defaultButton);
        QFETCH(QString, caption);
        QFETCH(int, mainIcon);
        QFETCH(bool, customIcon);
        QFETCH(QStringList, buttons);
        TCustomTaskDialog dialog;
        BuildTaskMessageDialog(dialog, type, TMsgDlgButtons::FromBits(set), TMsgDlgBtn(defaultButton), 42);
        QCOMPARE(dialog.Caption(), caption);
        QCOMPARE(int(dialog.MainIcon()), mainIcon);
        QCOMPARE(dialog.Flags().testFlag(tfUseHiconMain), customIcon);
        QCOMPARE(!dialog.CustomMainIcon().isNull(), customIcon);
        QStringList seen;
        for (int i = 0; i < dialog.ButtonCount(); ++i) {
            const TTaskDialogButtonItem *b = dialog.Buttons(i);
            seen << u"%1:%2%3"_s.arg(b->Caption())
                        .arg(b->ModalResult())
                        .arg(b->Default() ? u"*"_s : QString());
        }
        QCOMPARE(seen, buttons);
        QCOMPARE(dialog.CommonButtons(), TTaskDialogCommonButtons());
        QCOMPARE(dialog.HelpContext(), 42);
        QVERIFY(dialog.Title().isEmpty());
        QVERIFY(dialog.Text().isEmpty());
    }

    void dialogsOnAnotherThreadRaise()
    {
        int raised = 0;
        std::thread([&] {
            try {
                MessageDlg(u"x"_s, mtError, { mbOK }, 0);
            } catch (const Exception &) {
                ++raised;
            }
            try {
                TaskMessageDlg(QString(), u"x"_s, mtError, { mbOK }, 0);
            } catch (const Exception &) {
                ++raised;
            }
        }).join();
        QCOMPARE(raised, 2);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
