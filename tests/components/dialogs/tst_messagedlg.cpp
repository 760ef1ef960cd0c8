// The dialog service's message dialogs: what each overload shows (captions, main instruction, button
// texts, results and the default button), the classic path, the default-button rule, long-run
// breaking, exception texts, the overwrite question and the history entry of every dialog.

#include "components/dialogs/zc_customtaskdialog.h"
#include "components/dialogs/zc_dialogs.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testfiles.h"
#include "tests/support/unitsmain.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TMsgDlgType)
Q_DECLARE_METATYPE(TMsgDlgButtons)
Q_DECLARE_METATYPE(TMsgDlgBtn)

namespace {

const TUnit *const Units[] = { &zc_DialogsUnit };

const THistorieItem &newestEntry()
{
    return Tzc_Dialogs::GetHistorie()->Items(0);
}

// Presses the button with that modal result and keeps what the dialog showed.
struct Answer
{
    explicit Answer(int result)
        : driver([this, result](QDialog *d) {
            shot = DialogSnapshot::of(d);
            if (QPushButton *b = findButtonByResult(d, result))
                b->click();
        })
    {
    }
    DialogSnapshot shot;
    ModalDialogDriver driver;
};

QString run(QChar c, int n)
{
    return QString(n, c);
}

} // namespace

class TestMessageDlg : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QCoreApplication::setApplicationName(u"Prüfprogramm"_s);
        Tzc_Dialogs::SetUseLatestCommonDialogs(true);
        Tzc_Dialogs::GetHistorie()->Clear();
    }

    void taskDialogShows_data()
    {
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<TMsgDlgType>("type");
        QTest::addColumn<TMsgDlgButtons>("buttons");
        QTest::addColumn<TMsgDlgBtn>("defaultButton");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shownInstruction");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QList<int>>("results");

        QTest::newRow("empty instruction shows the type's caption")
            << QString() << mtWarning << TMsgDlgButtons { mbOK } << mbOK << u"Warning"_s << u"Warning"_s
            << QStringList { u"OK"_s } << QList<int> { 1 };
        QTest::newRow("marker shows no instruction")
            << u"&"_s << mtError << TMsgDlgButtons { mbOK } << mbOK << u"Error"_s << QString()
            << QStringList { u"OK"_s } << QList<int> { 1 };
        QTest::newRow("custom type: application title, no instruction")
            << QString() << mtCustom << TMsgDlgButtons { mbOK } << mbOK << u"Prüfprogramm"_s << QString()
            << QStringList { u"OK"_s } << QList<int> { 1 };
        QTest::newRow("own instruction")
            << u"Speichern?"_s << mtConfirmation << TMsgDlgButtons { mbYes, mbNo, mbCancel } << mbNo
            << u"Confirm"_s << u"Speichern?"_s << QStringList { u"&Yes"_s, u"&No"_s, u"Cancel"_s }
            << QList<int> { 6, 7, 2 };
        QTest::newRow("every button in table order")
            << u"Alle"_s << mtInformation
            << TMsgDlgButtons { mbClose, mbHelp, mbYesToAll, mbNoToAll, mbAll, mbIgnore, mbRetry, mbAbort,
                   mbCancel, mbOK, mbNo, mbYes }
            << mbRetry << u"Information"_s << u"Alle"_s
            << QStringList { u"&Yes"_s, u"&No"_s, u"OK"_s, u"Cancel"_s, u"&Abort"_s, u"&Retry"_s,
                   u"&Ignore"_s, u"&All"_s, u"N&o to All"_s, u"Yes to &All"_s, u"&Help"_s, u"&Close"_s }
            << QList<int> { 6, 7, 1, 2, 3, 4, 5, 12, 13, 14, -1, 8 };
    }

    void taskDialogShows()
    {
        QFETCH(QString, instruction);
        QFETCH(TMsgDlgType, type);
        QFETCH(TMsgDlgButtons, buttons);
        QFETCH(TMsgDlgBtn, defaultButton);
        QFETCH(QString, caption);
        QFETCH(QString, shownInstruction);
        QFETCH(QStringList, captions);
        QFETCH(QList<int>, results);

        for (int i = 0; i < results.size(); ++i) {
            Answer answer(results.at(i));
            const int result = Tzc_Dialogs::MessageDlg(
                instruction, u"Inhalt"_s, type, buttons, 0, defaultButton, QString(), {}, 0, nullptr);
            QCOMPARE(result, results.at(i));
            QCOMPARE(answer.shot.caption, caption);
            QCOMPARE(answer.shot.instruction, shownInstruction);
            QCOMPARE(answer.shot.text, u"Inhalt"_s);
            QCOMPARE(answer.shot.buttons, captions);
            QCOMPARE(answer.shot.results, results);
            QCOMPARE(answer.shot.defaultButton, MsgDlgButtonCaption(defaultButton));

            const THistorieItem &entry = newestEntry();
            QCOMPARE(entry.Instruction(), instruction);
            QCOMPARE(entry.Content(), u"Inhalt"_s);
            QCOMPARE(entry.DlgType(), type);
            QCOMPARE(entry.Buttons(), buttons);
            QCOMPARE(entry.DefaultButton(), defaultButton);
            QCOMPARE(entry.AnswerTyp(), AnswerTypUser);
            QCOMPARE(entry.Result(), results.at(i));
        }
    }

    void overloadsFillInInstructionAndDefault()
    {
        {
            Answer answer(mrNo);
            QCOMPARE(Tzc_Dialogs::MessageDlg(
                         u"Nur Inhalt"_s, mtWarning, { mbYes, mbNo }, 0, mbNo, QString(), {}, 0, nullptr),
                mrNo);
            QCOMPARE(answer.shot.instruction, u"Warning"_s);
            QCOMPARE(answer.shot.defaultButton, u"&No"_s);
        }
        {
            Answer answer(mrCancel);
            QCOMPARE(Tzc_Dialogs::MessageDlg(u"Frage"_s, u"Inhalt"_s, mtError, { mbRetry, mbCancel }, 0,
                         QString(), {}, 0, nullptr),
                mrCancel);
            QCOMPARE(answer.shot.instruction, u"Frage"_s);
            QCOMPARE(answer.shot.defaultButton, u"Cancel"_s);
        }
        {
            Answer answer(mrOk);
            QCOMPARE(Tzc_Dialogs::MessageDlg(
                         u"Inhalt"_s, mtInformation, { mbOK, mbCancel }, 0, QString(), {}, 0, nullptr),
                mrOk);
            QCOMPARE(answer.shot.instruction, u"Information"_s);
            QCOMPARE(answer.shot.defaultButton, u"OK"_s);
        }
        QCOMPARE(newestEntry().DefaultButton(), mbOK);
    }

    void showMessage()
    {
        Answer answer(mrOk);
        QCOMPARE(Tzc_Dialogs::ShowMessage(u"Hallo"_s), mrOk);
        QCOMPARE(answer.shot.caption, u"Prüfprogramm"_s);
        QCOMPARE(answer.shot.instruction, QString());
        QCOMPARE(answer.shot.buttons, QStringList { u"OK"_s });
        QCOMPARE(newestEntry().Instruction(), u"&"_s);
        QCOMPARE(newestEntry().DlgType(), mtCustom);
    }

    void escapeAnswersCancel()
    {
        ModalDialogDriver driver([](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); });
        QCOMPARE(
            Tzc_Dialogs::MessageDlg(u"Inhalt"_s, mtWarning, { mbYes, mbNo }, 0, QString(), {}, 0, nullptr),
            mrCancel);
        QCOMPARE(newestEntry().AnswerTyp(), AnswerTypUser);
    }

    void callbackChangesWhatIsShown()
    {
        Answer answer(mrOk);
        Tzc_Dialogs::MessageDlg(u"Vorher"_s, u"Text"_s, mtInformation, { mbOK }, 0, QString(), {}, 0,
            [](Tzc_CustomTaskDialog *dialog) {
                dialog->SetTitle(u"Nachher"_s);
                dialog->SetText(u"Neuer Text"_s);
            });
        QCOMPARE(answer.shot.instruction, u"Nachher"_s);
        QCOMPARE(answer.shot.text, u"Neuer Text"_s);
        QCOMPARE(newestEntry().Instruction(), u"Vorher"_s);
    }

    void callbackThatRaisesIsStillRecorded()
    {
        ModalDialogDriver driver([](QDialog *d) { d->done(0); });
        QVERIFY_THROWS_EXCEPTION(EConvertError,
            Tzc_Dialogs::MessageDlg(u"Kaputt"_s, u"Text"_s, mtError, { mbOK }, 0, QString(), {}, 0,
                [](Tzc_CustomTaskDialog *) { throw EConvertError(u"im Callback"_s); }));
        QCOMPARE(driver.seen(), 0);
        QCOMPARE(newestEntry().Instruction(), u"Kaputt"_s);
        QCOMPARE(newestEntry().AnswerTyp(), AnswerTypNone);
        QCOMPARE(newestEntry().Result(), 0);
        QCOMPARE(QApplication::topLevelWidgets().count(), 0);
    }

    void guidIsNormalised_data()
    {
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("recorded");
        QTest::newRow("lower case with blanks")
            << u"  {0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d} "_s << u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s;
        QTest::newRow("malformed") << u"{0a1b2c3d-4e5f}"_s << QString();
        QTest::newRow("blank") << u"   "_s << QString();
    }

    void guidIsNormalised()
    {
        QFETCH(QString, guid);
        QFETCH(QString, recorded);
        bool checkBoxShown = true;
        ModalDialogDriver driver([&](QDialog *d) {
            checkBoxShown = d->findChild<QCheckBox *>(u"Verification"_s)->isVisibleTo(d);
            pressButton(d, u"OK"_s);
        });
        QCOMPARE(
            Tzc_Dialogs::MessageDlg(u"GUID"_s, u"Text"_s, mtInformation, { mbOK }, 0, guid, {}, 0, nullptr),
            mrOk);
        QCOMPARE(newestEntry().Guid(), recorded);
        // No store of answers is configured: nothing can be remembered, so nothing is offered.
        QVERIFY(!checkBoxShown);
    }

    void classicPath_data()
    {
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("text");
        QTest::newRow("instruction and content joined") << u"Kopf"_s << u"Inhalt"_s << u"Kopf\rInhalt"_s;
        QTest::newRow("marker dropped") << u"&"_s << u"Inhalt"_s << u"Inhalt"_s;
        QTest::newRow("empty instruction trimmed away") << QString() << u" Inhalt\r\n"_s << u"Inhalt"_s;
    }

    void classicPath()
    {
        QFETCH(QString, instruction);
        QFETCH(QString, content);
        QFETCH(QString, text);
        Tzc_Dialogs::SetUseLatestCommonDialogs(false);
        QVERIFY(!Tzc_Dialogs::TaskDialogsAvailable());
        Answer answer(mrNo);
        QCOMPARE(Tzc_Dialogs::MessageDlg(instruction, content, mtConfirmation, { mbYes, mbNo }, 0, mbNo,
                     u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s, {}, 5000, nullptr),
            mrNo);
        QCOMPARE(answer.shot.text, QString(text).replace(u'\r', u'\n'));
        QCOMPARE(answer.shot.caption, u"Confirm"_s);
        QCOMPARE(answer.shot.defaultButton, u"&No"_s);
        const THistorieItem &entry = newestEntry();
        QCOMPARE(entry.Instruction(), QString());
        QCOMPARE(entry.Content(), text);
        QCOMPARE(entry.Guid(), QString());
        QCOMPARE(entry.AnswerTyp(), AnswerTypOldStyle);
        QCOMPARE(entry.Result(), mrNo);
    }

    void classicPathPlacesTheDialog()
    {
        Tzc_Dialogs::SetUseLatestCommonDialogs(false);
        Answer answer(mrOk);
        Tzc_Dialogs::MessageDlgPosHelp(u"Kopf"_s, u"Inhalt"_s, mtInformation, { mbOK }, 0, 40, 30, QString(),
            mbOK, QString(), {}, 0, nullptr);
        QCOMPARE(answer.shot.position, QPoint(40, 30));
    }

    void calcDefaultButton_data()
    {
        QTest::addColumn<TMsgDlgButtons>("buttons");
        QTest::addColumn<TMsgDlgBtn>("expected");
        QTest::newRow("Yes and No") << TMsgDlgButtons { mbYes, mbNo } << mbYes;
        QTest::newRow("OK and Cancel") << TMsgDlgButtons { mbOK, mbCancel } << mbOK;
        QTest::newRow("Yes and OK") << TMsgDlgButtons { mbYes, mbOK } << mbOK;
        QTest::newRow("Abort, Retry and Ignore") << TMsgDlgButtons { mbAbort, mbRetry, mbIgnore } << mbAbort;
        QTest::newRow("Retry and Cancel") << TMsgDlgButtons { mbRetry, mbCancel } << mbCancel;
        QTest::newRow("Help and Close") << TMsgDlgButtons { mbHelp, mbClose } << mbHelp;
        QTest::newRow("empty set") << TMsgDlgButtons {} << mbAbort;
    }

    void calcDefaultButton()
    {
        QFETCH(TMsgDlgButtons, buttons);
        QFETCH(TMsgDlgBtn, expected);
        QCOMPARE(Tzc_Dialogs::CalcDefaultButton(buttons), expected);
    }

    void breakLongRuns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("breaks"); // where carriage returns were inserted
        QTest::newRow("4096 characters unchanged") << run(u'x', 4096) << QList<int> {};
        QTest::newRow("4098 characters: no break after the last") << run(u'x', 4098) << QList<int> {};
        QTest::newRow("4099 characters") << run(u'x', 4099) << QList<int> { 4098 };
        QTest::newRow("5000 characters without a blank") << run(u'x', 5000) << QList<int> { 4098 };
        QTest::newRow("10000 characters without a blank") << run(u'x', 10000) << QList<int> { 4098, 8197 };
        QTest::newRow("blanks reset the run")
            << QString(run(u'x', 3000) + u' ' + run(u'x', 3000)) << QList<int> {};
        QTest::newRow("line feed resets the run")
            << QString(run(u'x', 4000) + u'\n' + run(u'x', 4200)) << QList<int> { 4001 + 4098 };
        QTest::newRow("three breaks in a long text")
            << run(u'x', 3 * 4099 + 10) << QList<int> { 4098, 8197, 12296 };
        // A character outside the BMP (two code units) where the break would come: the break follows it.
        const QString face = QString::fromUcs4(U"\U0001F600");
        QTest::newRow("a character outside the BMP at the break")
            << QString(run(u'x', 4097) + face + run(u'x', 100)) << QList<int> { 4099 };
        QTest::newRow("characters outside the BMP only")
            << QString(u'x' + face.repeated(3000)) << QList<int> { 4099 };
    }

    void breakLongRuns()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, breaks);
        const QString broken = Tzc_Dialogs::BreakLongRuns(text);
        QString expected = text;
        for (int at : breaks)
            expected.insert(at, u'\r');
        QCOMPARE(broken.size(), expected.size());
        QVERIFY(broken == expected);
    }

    void longContentIsBrokenInTheDialog()
    {
        Answer answer(mrOk);
        const QString content = run(u'y', 5000);
        Tzc_Dialogs::MessageDlg(u"Lang"_s, content, mtInformation, { mbOK }, 0, QString(), {}, 0, nullptr);
        QCOMPARE(answer.shot.text.indexOf(u'\n'), 4098);
        QCOMPARE(newestEntry().Content(), content); // the history keeps the text as given
    }

    void exceptionLeerCleanUp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("message between marker and location")
            << u"EAccessViolation\r\nEXCEPT_LEER\r\nZugriff verweigert\r\nAT 0040123 Modul.pas"_s
            << u"Zugriff verweigert"_s;
        QTest::newRow("location in lower case")
            << u"Kopf\nEXCEPT_LEER\nMeldung\nat Zeile 12"_s << u"Meldung"_s;
        QTest::newRow("several message lines")
            << u"Kopf\rEXCEPT_LEER\rEins\rZwei\rAt Ende"_s << u"Eins\rZwei"_s;
        QTest::newRow("without marker unchanged")
            << u"  Kopf\nMeldung\nAT x  "_s << u"  Kopf\nMeldung\nAT x  "_s;
        QTest::newRow("marker as first line unchanged")
            << u"EXCEPT_LEER\nMeldung\nAT x"_s << u"EXCEPT_LEER\nMeldung\nAT x"_s;
        QTest::newRow("only two lines unchanged") << u"Kopf\nEXCEPT_LEER"_s << u"Kopf\nEXCEPT_LEER"_s;
    }

    void exceptionLeerCleanUp()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(Tzc_Dialogs::ExceptionLeerCleanUp(text), expected);
        try {
            Tzc_Dialogs::RaiseMessageDlgException(text);
            QFAIL("no exception raised");
        } catch (const Tzc_Dialogs::EDialogMessageException &e) {
            QCOMPARE(e.message(), expected);
        }
    }

    void overwriteQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Yes overwrites") << int(mrYes) << true;
        QTest::newRow("No keeps the file") << int(mrNo) << false;
        QTest::newRow("Escape keeps the file") << int(mrCancel) << false;
    }

    void overwriteQuestion()
    {
        QFETCH(int, answer);
        QFETCH(bool, expected);
        const QTemporaryDir dir;
        const QString path = dir.filePath(u"Zahlung ä.xml"_s);
        QVERIFY(testsupport::writeAll(path, "<x/>"));
        DialogSnapshot shot;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            if (QPushButton *b = findButtonByResult(d, answer))
                b->click();
            else
                QTest::keyClick(d, Qt::Key_Escape);
        });
        QCOMPARE(Tzc_Dialogs::FileOverWriteQuestionWhenExists(path), expected);
        QCOMPARE(shot.caption, u"Confirm"_s);
        QCOMPARE(shot.instruction, u"Überschreiben?"_s);
        QCOMPARE(shot.text,
            u"Die Datei \"Zahlung ä.xml\" ist bereits vorhanden.\nSoll die Datei überschrieben werden?"_s);
        QCOMPARE(shot.buttons, QStringList({ u"&Yes"_s, u"&No"_s }));
        QCOMPARE(shot.defaultButton, u"&Yes"_s);
        QCOMPARE(newestEntry().Content(),
            u"Die Datei \"Zahlung ä.xml\" ist bereits vorhanden.\rSoll die Datei überschrieben werden?"_s);
    }

    void overwriteQuestionForAMissingFileOrAFolder()
    {
        const QTemporaryDir dir;
        ModalDialogDriver driver([](QDialog *d) { d->done(0); });
        QVERIFY(Tzc_Dialogs::FileOverWriteQuestionWhenExists(dir.filePath(u"fehlt.xml"_s)));
        QVERIFY(Tzc_Dialogs::FileOverWriteQuestionWhenExists(dir.path()));
        QCOMPARE(driver.seen(), 0);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Count(), 0);
    }
};

PRAVIK_TEST_MAIN(TestMessageDlg, Units)
#include "tst_messagedlg.moc"
