// The dialog family of TMessageObject: the checker's overwrite question answered Yes and No, every
// member reaching its platform dialog with the right text, title, buttons and result, format errors
// raised before any dialog, and the 16-bit result of MessageDlgPos.

#include "components/messages/messagecntr.h"
#include "platform/formstream.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/unitsmain.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString appTitle = u"Pravik Test"_s;

// Calls one member of the family by name; `fmt` picks the Fmt twin with args.
int callMember(const TMessageObject &mo, const QString &member, bool fmt, const QVariantList &args)
{
    const QString help = u"hilfe.chm"_s;
    if (member == u"ShowMessage"_s) {
        fmt ? mo.ShowMessageFmt(args) : mo.ShowMessage();
        return 0;
    }
    if (member == u"CreateMessageDialog"_s) {
        auto form = fmt ? mo.CreateMessageDialogFmt(args, mtError, { mbOK, mbCancel })
                        : mo.CreateMessageDialog(mtError, { mbOK, mbCancel });
        return form->ShowModal();
    }
    if (member == u"MessageDlgPos"_s)
        return fmt ? mo.MessageDlgPosFmt(args, mtError, { mbOK, mbCancel }, 0, 10, 20)
                   : mo.MessageDlgPos(mtError, { mbOK, mbCancel }, 0, 10, 20);
    if (member == u"TaskMessageDlg"_s)
        return fmt ? mo.TaskMessageDlgFmt(args, mtInformation, { mbYes, mbNo }, 0)
                   : mo.TaskMessageDlg(mtInformation, { mbYes, mbNo }, 0);
    if (member == u"TaskMessageDlg+Default"_s)
        return fmt ? mo.TaskMessageDlgFmt(args, mtInformation, { mbYes, mbNo }, 0, mbNo)
                   : mo.TaskMessageDlg(mtInformation, { mbYes, mbNo }, 0, mbNo);
    if (member == u"TaskMessageDlgPos"_s)
        return fmt ? mo.TaskMessageDlgPosFmt(args, mtInformation, { mbYes, mbNo }, 0, 10, 20)
                   : mo.TaskMessageDlgPos(mtInformation, { mbYes, mbNo }, 0, 10, 20);
    if (member == u"TaskMessageDlgPos+Default"_s)
        return fmt ? mo.TaskMessageDlgPosFmt(args, mtInformation, { mbYes, mbNo }, 0, 10, 20, mbNo)
                   : mo.TaskMessageDlgPos(mtInformation, { mbYes, mbNo }, 0, 10, 20, mbNo);
    if (member == u"TaskMessageDlgPosHelp"_s)
        return fmt ? mo.TaskMessageDlgPosHelpFmt(args, mtInformation, { mbYes, mbNo }, 0, 10, 20, help)
                   : mo.TaskMessageDlgPosHelp(mtInformation, { mbYes, mbNo }, 0, 10, 20, help);
    if (member == u"TaskMessageDlgPosHelp+Default"_s)
        return fmt ? mo.TaskMessageDlgPosHelpFmt(args, mtInformation, { mbYes, mbNo }, 0, 10, 20, help, mbNo)
                   : mo.TaskMessageDlgPosHelp(mtInformation, { mbYes, mbNo }, 0, 10, 20, help, mbNo);
    qFatal("unknown member %s", qPrintable(member));
}

struct Expected
{
    QString caption;
    bool titleShown;
    QStringList buttons;
    QString defaultButton;
    QString press;
    int result;
    QPoint position; // (-1, -1): not checked
    QString helpFile;
};

} // namespace

Q_DECLARE_METATYPE(Expected)

class TestMessageDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(appTitle); }

    void overwriteQuestion_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("result");
        QTest::newRow("Yes pressed") << u"&Yes"_s << 6;
        QTest::newRow("No pressed") << u"&No"_s << 7;
    }

    // The checker's question, from its own form resource.
    void overwriteQuestion()
    {
        QFETCH(QString, press);
        QFETCH(int, result);
        TComponent form;
        ReadComponentResource(&form, u":/forms/Pravik_MAIN.form"_s);
        auto *mo = form.FindComponent<TMessageObject>(u"MO_FileOverwrite"_s);
        QVERIFY(mo);
        DialogSnapshot shot;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            QVERIFY(pressButton(d, press));
        });
        const QString file = u"/home/anna/Zahlungen/pain.001 März.xml"_s;
        QCOMPARE(mo->TaskMessageDlgFmt({ file }, mtWarning, { mbYes, mbNo }, 0, mbNo), result);
        QCOMPARE(driver.seen(), 1);
        QCOMPARE(shot.caption, u"Warning"_s);
        QCOMPARE(shot.instruction, QString());
        QCOMPARE(shot.text.split(u'\n'),
            QStringList({ u"Die Datei "_s + file + u" existiert bereits! "_s,
                u"Wollen Sie die Datei überschreiben?"_s }));
        QCOMPARE(shot.buttons, QStringList({ u"&Yes"_s, u"&No"_s }));
        QCOMPARE(shot.defaultButton, u"&No"_s);
    }

    void everyMemberReachesItsDialog_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<bool>("fmt");
        QTest::addColumn<Expected>("expected");

        const QPoint none(-1, -1);
        const QStringList yesNo { u"&Yes"_s, u"&No"_s };
        const QStringList okCancel { u"OK"_s, u"Cancel"_s };
        const QList<std::pair<QString, Expected>> members = {
            { u"ShowMessage"_s, { appTitle, false, { u"OK"_s }, u"OK"_s, u"OK"_s, 0, none, {} } },
            { u"CreateMessageDialog"_s, { u"Error"_s, false, okCancel, u"OK"_s, u"Cancel"_s, 2, none, {} } },
            { u"MessageDlgPos"_s, { u"Error"_s, false, okCancel, u"OK"_s, u"Cancel"_s, 2, { 10, 20 }, {} } },
            { u"TaskMessageDlg"_s, { u"Information"_s, true, yesNo, u"&Yes"_s, u"&No"_s, 7, none, {} } },
            { u"TaskMessageDlg+Default"_s,
                { u"Information"_s, true, yesNo, u"&No"_s, u"&Yes"_s, 6, none, {} } },
            { u"TaskMessageDlgPos"_s,
                { u"Information"_s, true, yesNo, u"&Yes"_s, u"&Yes"_s, 6, { 10, 20 }, {} } },
            { u"TaskMessageDlgPos+Default"_s,
                { u"Information"_s, true, yesNo, u"&No"_s, u"&No"_s, 7, { 10, 20 }, {} } },
            { u"TaskMessageDlgPosHelp"_s,
                { u"Information"_s, true, yesNo, u"&Yes"_s, u"&Yes"_s, 6, { 10, 20 }, u"hilfe.chm"_s } },
            { u"TaskMessageDlgPosHelp+Default"_s,
                { u"Information"_s, true, yesNo, u"&No"_s, u"&No"_s, 7, { 10, 20 }, u"hilfe.chm"_s } },
        };
        for (const auto &[member, expected] : members) {
            QTest::addRow("%s", qPrintable(member)) << member << false << expected;
            QTest::addRow("%sFmt", qPrintable(member)) << member << true << expected;
        }
    }

    void everyMemberReachesItsDialog()
    {
        QFETCH(QString, member);
        QFETCH(bool, fmt);
        QFETCH(Expected, expected);
        TMessageObject mo;
        mo.SetText(u"Datei %s\r\nzweite Zeile"_s);
        mo.SetTitle(u"Überschrift"_s);
        DialogSnapshot shot;
        QString helpFile;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            helpFile = d->property("HelpFile").toString();
            QVERIFY(pressButton(d, expected.press));
        });
        QCOMPARE(callMember(mo, member, fmt, { u"a.xml"_s }), expected.result);
        QCOMPARE(driver.seen(), 1);
        QCOMPARE(shot.caption, expected.caption);
        QCOMPARE(shot.text, fmt ? u"Datei a.xml\nzweite Zeile"_s : u"Datei %s\nzweite Zeile"_s);
        QCOMPARE(shot.instruction, expected.titleShown ? u"Überschrift"_s : QString());
        QCOMPARE(shot.buttons, expected.buttons);
        QCOMPARE(shot.defaultButton, expected.defaultButton);
        if (expected.position != QPoint(-1, -1))
            QCOMPARE(shot.position, expected.position);
        QCOMPARE(helpFile, expected.helpFile);
    }

    void formatErrorsComeBeforeAnyDialog_data()
    {
        QTest::addColumn<QString>("member");
        for (const char *m : { "ShowMessage", "CreateMessageDialog", "MessageDlgPos", "TaskMessageDlg",
                 "TaskMessageDlg+Default", "TaskMessageDlgPos", "TaskMessageDlgPos+Default",
                 "TaskMessageDlgPosHelp", "TaskMessageDlgPosHelp+Default" })
            QTest::addRow("%sFmt", m) << QString::fromLatin1(m);
    }

    void formatErrorsComeBeforeAnyDialog()
    {
        QFETCH(QString, member);
        TMessageObject mo;
        mo.SetText(u"Die Datei %s und %s"_s);
        ModalDialogDriver driver([](QDialog *d) { d->done(0); });
        try {
            callMember(mo, member, true, { u"a.xml"_s });
            QFAIL("no error");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), u"No argument for format 'Die Datei %s und %s'"_s);
        }
        QCOMPARE(driver.seen(), 0);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
    }

    // The member hands on the dialog's result as an unsigned 16-bit value, and its exceptions unchanged.
    void messageDlgPosResultAndErrors_data()
    {
        QTest::addColumn<int>("dialogResult");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("raises");
        QTest::newRow("ordinary result") << 7 << 7 << false;
        QTest::newRow("-1 arrives as 65535") << -1 << 65535 << false;
        QTest::newRow("only the low 16 bits") << 0x12345 << 0x2345 << false;
        QTest::newRow("exception from the dialog") << 0 << 0 << true;
    }

    void messageDlgPosResultAndErrors()
    {
        QFETCH(int, dialogResult);
        QFETCH(int, expected);
        QFETCH(bool, raises);
        SetMessageDlgRoute([&](const QString &, TMsgDlgType, TMsgDlgButtons, int, int, int, const QString &,
                               std::optional<TMsgDlgBtn>) {
            if (raises)
                throw EFOpenError(u"dialog failed"_s);
            return dialogResult;
        });
        TMessageObject mo;
        mo.SetText(u"%d"_s);
        int got = -2;
        QString error;
        try {
            got = mo.MessageDlgPosFmt({ 1 }, mtInformation, { mbOK }, 0, -1, -1);
        } catch (const EFOpenError &e) {
            error = e.message();
        }
        SetMessageDlgRoute({});
        if (raises) {
            QCOMPARE(error, u"dialog failed"_s);
        } else {
            QCOMPARE(got, expected);
        }
    }
};

namespace {
const TUnit *const units[] = { &MessageCntrUnit };
}
PRAVIK_TEST_MAIN(TestMessageDialogs, units)
#include "tst_messagedialogs.moc"
