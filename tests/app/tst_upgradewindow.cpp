// The window's upgrade of a retired file, offscreen: the menu item, the offer in the refusal, the
// preview with its marked lines and notes, and the save of the new file, which is then validated.

#include "Pravik_MAIN.h"
#include "units.h"
#include "upgradeform.h"

#include "editor/xmleditor.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testfiles.h"
#include "tests/support/unitsmain.h"

#include <QFileDialog>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using testsupport::dataFile;
using testsupport::readAll;
using testsupport::writeAll;

class TestUpgradeWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPravik_MAIN_Form> form;
    QStringList errorBoxes;
    QTemporaryDir dir;

    QString copy(const QString &fixture, const QString &as)
    {
        const QString target = dir.filePath(as);
        QFile::remove(target);
        if (!writeAll(target, readAll(dataFile(u"legacy/"_s + fixture))))
            return {};
        return target;
    }

    // What the preview showed, and how the test answers each dialog that follows.
    struct Seen
    {
        QString title;
        QString newText;
        QStringList notes;
        int changedOld = 0;
        int changedNew = 0;
        bool saveOffered = false;
        QString proposed; // the file the save dialog proposed
        QStringList questions; // texts of the message dialogs, in order
    };

    // Saves to `target` (empty: cancel the preview), answering an overwrite question with `overwrite`.
    ModalDialogDriver::Handler answering(
        Seen &seen, const QString &target, const QString &overwrite = u"&Yes"_s)
    {
        return [&seen, target, overwrite](QDialog *d) {
            if (auto *preview = qobject_cast<TUpgradeForm *>(d)) {
                seen.title = preview->windowTitle();
                seen.newText = preview->NewText->toPlainText();
                for (int i = 0; i < preview->Notes->count(); ++i)
                    seen.notes.append(preview->Notes->item(i)->text());
                seen.changedOld = int(preview->ChangedOldLines().size());
                seen.changedNew = int(preview->ChangedNewLines().size());
                seen.saveOffered = !preview->SaveButton->isHidden();
                (target.isEmpty() || !seen.saveOffered ? preview->CancelButton : preview->SaveButton)
                    ->click();
            } else if (auto *files = qobject_cast<QFileDialog *>(d)) {
                seen.proposed = files->selectedFiles().value(0);
                files->selectFile(target);
                static_cast<QDialog *>(files)->accept();
            } else {
                const DialogSnapshot s = DialogSnapshot::of(d);
                seen.questions.append(s.text);
                if (!pressButton(d, s.buttons.contains(overwrite) ? overwrite : u"OK"_s))
                    d->reject();
            }
        };
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(dir.isValid());
        errorBoxes.clear();
        TApplication::SetExceptionSink([this](const QString &m) { errorBoxes.append(m); });
        form = std::make_unique<TPravik_MAIN_Form>();
        form->FArguments = QStringList { u"pravik"_s };
    }

    void cleanup()
    {
        form.reset();
        TApplication::SetExceptionSink({});
    }

    void menuItemFollowsTheFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("DK credit transfer") << u"legacy/ct-pain.001.003.03.xml"_s << true;
        QTest::newRow("ISO direct debit of 2009") << u"legacy/dd-pain.008.001.02.xml"_s << true;
        QTest::newRow("the version the banks take") << u"sepa/sct-two-blocks.xml"_s << false;
    }

    void menuItemFollowsTheFile()
    {
        QFETCH(QString, file);
        QFETCH(bool, enabled);
        form->LoadXMLFile(dataFile(file));
        form->ActionList1->UpdateActions();
        QCOMPARE(form->act_Upgrade->isEnabled(), enabled);
        QCOMPARE(form->act_Upgrade->text(), u"&Aktualisieren..."_s);
        const QList<QAction *> inFile = form->MainMenu1->actions().first()->menu()->actions();
        QVERIFY(inFile.contains(form->act_Upgrade));
    }

    void previewThenSaveAndValidate()
    {
        const QString source = copy(u"ct-pain.001.003.03.xml"_s, u"payments.xml"_s);
        const QByteArray before = readAll(source);
        form->LoadXMLFile(source);
        const QString target = dir.filePath(u"payments.pain.001.001.09.xml"_s);
        QFile::remove(target);
        Seen seen;
        ModalDialogDriver driver(answering(seen, target));
        form->act_Upgrade->Execute();

        QCOMPARE(seen.title, u"Aktualisieren: pain.001.003.03 → pain.001.001.09"_s);
        QVERIFY(seen.newText.contains(u"<BICFI>MUSTDEFFXXX</BICFI>"_s));
        QCOMPARE(seen.notes.size(), 3);
        QVERIFY2(seen.notes.first().contains(u"Am Lindenhof"_s), qPrintable(seen.notes.first()));
        QVERIFY(seen.changedOld > 0 && seen.changedNew > seen.changedOld);
        QVERIFY(seen.saveOffered);
        QCOMPARE(QFileInfo(seen.proposed), QFileInfo(target));
        // Written, opened and validated; the source as it was.
        QCOMPARE(readAll(target), form->XMLViewer->textUtf8());
        QCOMPARE(QFileInfo(form->XMLFileName()), QFileInfo(target));
        QCOMPARE(seen.questions, QStringList { u"XML is valid according the schema."_s });
        QCOMPARE(readAll(source), before);
        QVERIFY(errorBoxes.isEmpty());
    }

    void overwriteQuestion_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("Yes replaces the file") << u"&Yes"_s;
        QTest::newRow("No keeps it") << u"&No"_s;
    }

    void overwriteQuestion()
    {
        QFETCH(QString, answer);
        form->LoadXMLFile(copy(u"dd-pain.008.003.02.xml"_s, u"lastschrift.xml"_s));
        const QString target = dir.filePath(u"lastschrift.pain.008.001.08.xml"_s);
        QVERIFY(writeAll(target, "precious"));
        Seen seen;
        ModalDialogDriver driver(answering(seen, target, answer));
        form->act_Upgrade->Execute();
        QVERIFY(!seen.questions.isEmpty());
        QVERIFY2(seen.questions.first().contains(u"existiert bereits"_s), qPrintable(seen.questions.first()));
        QCOMPARE(readAll(target) == "precious", answer == u"&No");
        QFile::remove(target);
    }

    void resultThatWouldNotPassIsNotOffered()
    {
        const QString source = copy(u"ct-address-unsplittable.xml"_s, u"kaputt.xml"_s);
        form->LoadXMLFile(source);
        Seen seen;
        ModalDialogDriver driver(answering(seen, dir.filePath(u"kaputt.pain.001.001.09.xml"_s)));
        form->act_Upgrade->Execute();
        QVERIFY(!seen.saveOffered);
        QVERIFY(std::any_of(seen.notes.begin(), seen.notes.end(), [](const QString &n) {
            return n.contains(u"RE-2026-4711"_s) && n.contains(u"nicht trennen"_s);
        }));
        QVERIFY(!QFileInfo::exists(dir.filePath(u"kaputt.pain.001.001.09.xml"_s)));
        QCOMPARE(QFileInfo(form->XMLFileName()), QFileInfo(source));
    }

    void offeredFromTheRefusal()
    {
        const QString source = copy(u"dd-pain.008.001.02.xml"_s, u"alt.xml"_s);
        form->LoadXMLFile(source);
        const QString target = dir.filePath(u"alt.pain.008.001.08.xml"_s);
        QFile::remove(target);
        Seen seen;
        bool offered = false;
        const ModalDialogDriver::Handler rest = answering(seen, target);
        ModalDialogDriver driver([&](QDialog *d) {
            const DialogSnapshot s = DialogSnapshot::of(d);
            if (s.buttons.contains(u"&Aktualisieren..."_s)) {
                offered = true;
                QVERIFY(s.details.contains(u"pain.008.001.02, Lastschrift"_s));
                pressButton(d, u"&Aktualisieren..."_s);
                return;
            }
            rest(d);
        });
        form->act_Validate->Execute();
        QVERIFY(offered);
        QVERIFY(QFileInfo::exists(target));
        QCOMPARE(seen.questions, QStringList { u"XML is valid according the schema."_s });
    }

    void changedLinesOfTwoTexts_data()
    {
        QTest::addColumn<QStringList>("a");
        QTest::addColumn<QStringList>("b");
        QTest::addColumn<QList<int>>("changedA");
        QTest::addColumn<QList<int>>("changedB");
        const QStringList base { u"a"_s, u"b"_s, u"c"_s, u"d"_s };
        QTest::newRow("same") << base << base << QList<int>() << QList<int>();
        QTest::newRow("one line replaced")
            << base << QStringList { u"a"_s, u"B"_s, u"c"_s, u"d"_s } << QList<int> { 1 } << QList<int> { 1 };
        QTest::newRow("two lines become four")
            << base << QStringList { u"a"_s, u"x"_s, u"y"_s, u"z"_s, u"w"_s, u"d"_s } << QList<int> { 1, 2 }
            << QList<int> { 1, 2, 3, 4 };
        QTest::newRow("lines added at the end")
            << base << (base + QStringList { u"e"_s }) << QList<int>() << QList<int> { 4 };
        QTest::newRow("line left out")
            << base << QStringList { u"a"_s, u"c"_s, u"d"_s } << QList<int> { 1 } << QList<int>();
    }

    void changedLinesOfTwoTexts()
    {
        QFETCH(QStringList, a);
        QFETCH(QStringList, b);
        QFETCH(QList<int>, changedA);
        QFETCH(QList<int>, changedB);
        QList<int> ca, cb;
        changedLines(a, b, ca, cb);
        QCOMPARE(ca, changedA);
        QCOMPARE(cb, changedB);
    }
};

PRAVIK_TEST_MAIN(TestUpgradeWindow, PravikUnits())
#include "tst_upgradewindow.moc"
