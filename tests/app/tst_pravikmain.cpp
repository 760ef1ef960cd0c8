// The checker window offscreen: enabling rules, status panels, the page states of a validation run,
// jumping from the report to the error, saving with the overwrite question, drops and the command line.

#include "Pravik_MAIN.h"
#include "units.h"

#include "components/messages/messagecntr.h"
#include "editor/xmleditor.h"
#include "platform/filename.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "platform/widgets/pagecontrol.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testfiles.h"
#include "tests/support/unitsmain.h"

#include <QAbstractScrollArea>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <cstdio>
#include <dirent.h>

using namespace Qt::StringLiterals;
using testsupport::dataFile;
using testsupport::exampleFile;
using testsupport::readAll;
using testsupport::writeAll;

namespace {

// Answers every dialog with the button of that caption and keeps what each one said.
struct Answering
{
    explicit Answering(QString button)
        : driver([this, button](QDialog *d) {
            shown.append(DialogSnapshot::of(d));
            pressButton(d, button);
        })
    {
    }
    QList<DialogSnapshot> shown;
    ModalDialogDriver driver;
};

} // namespace

class TestPravikMain : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPravik_MAIN_Form> form;
    QStringList errorBoxes;

    QStringList reportLines() const { return form->Memo1->toPlainText().split(u'\n'); }

    void idle() { form->ActionList1->UpdateActions(); }

    void doubleClickReportRow(int row)
    {
        QTextCursor c(form->Memo1->document()->findBlockByNumber(row));
        form->Memo1->setTextCursor(c);
        form->Memo1DblClick();
    }

    void validate() { form->act_Validate->Execute(); }

private Q_SLOTS:
    void init()
    {
        errorBoxes.clear();
        TApplication::SetExceptionSink([this](const QString &m) { errorBoxes.append(m); });
        form = std::make_unique<TPravik_MAIN_Form>();
        form->FArguments = QStringList { QStringLiteral("pravik") };
    }

    void cleanup()
    {
        form.reset();
        TApplication::SetExceptionSink({});
    }

    void startState()
    {
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet2));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        QCOMPARE(form->PageControl1->SelectedTab(), -1);
        QVERIFY(form->Memo1->toPlainText().isEmpty());
        QVERIFY(form->Memo1->isReadOnly());
        QCOMPARE(form->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(form->windowTitle(), QStringLiteral("Pravik"));
        QCOMPARE(form->MO_FileOverwrite->Text(),
            QStringLiteral("Die Datei %s existiert bereits! \r\nWollen Sie die Datei überschreiben?"));
        QCOMPARE(form->MO_FileOverwrite->MessageList(), form->ML);
    }

    void menuAndActions()
    {
        QCOMPARE(form->FileOpen1->text(), QStringLiteral("Ö&ffnen..."));
        QCOMPARE(form->FileOpen1->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(form->FileOpen1->toolTip(), QStringLiteral("Öffnen"));
        QCOMPARE(form->FileOpen1->statusTip(), QStringLiteral("Vorhandene Datei öffnen"));
        QCOMPARE(
            form->FileSaveAs1->statusTip(), QStringLiteral("Aktive Datei unter einem neuen Namen speichern"));
        QCOMPARE(form->FileExit1->text(), QStringLiteral("&Beenden"));
        const auto menus = form->MainMenu1->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(menus[0]->text(), QStringLiteral("Datei"));
        QCOMPARE(menus[1]->text(), QStringLiteral("Bearbeiten"));
        QStringList items;
        for (QAction *a : menus[0]->menu()->actions())
            items << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(items,
            (QStringList { QStringLiteral("Ö&ffnen..."), QStringLiteral("Speichern"),
                QStringLiteral("Speichern &unter..."), QStringLiteral("-"), QStringLiteral("&Beenden") }));
        QCOMPARE(menus[1]->menu()->actions().constFirst(), form->act_Validate);
    }

    void enablingFollowsTheText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty editor") << QString() << false;
        QTest::newRow("only spaces and line breaks") << QStringLiteral("  \r\n\t \r\n") << false;
        QTest::newRow("one visible character") << QStringLiteral("\r\n x") << true;
    }

    void enablingFollowsTheText()
    {
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        form->XMLViewer->setText(text);
        idle();
        QCOMPARE(form->act_Validate->isEnabled(), enabled);
        QCOMPARE(form->FileSave1->isEnabled(), enabled);
        QCOMPARE(form->FileSaveAs1->isEnabled(), enabled);
        QVERIFY(form->FileOpen1->isEnabled());
        QVERIFY(form->FileExit1->isEnabled());
    }

    void idleUpdateRunsByItself()
    {
        // A loop that really waits for events, as the application's does: that is when it is idle.
        auto runIdleLoop = [] {
            QEventLoop loop;
            QTimer::singleShot(50, &loop, &QEventLoop::quit);
            loop.exec();
        };
        form->show();
        form->XMLViewer->setText(QString());
        runIdleLoop();
        QVERIFY(!form->act_Validate->isEnabled());
        form->XMLViewer->setText(QStringLiteral("x"));
        runIdleLoop();
        QVERIFY(form->act_Validate->isEnabled());
        QCOMPARE(form->StatusPanels[0]->text(), QStringLiteral(" V " PRAVIK_FILE_VERSION));
    }

    void statusPanels()
    {
        idle();
        QCOMPARE(form->StatusPanels[0]->text(), QStringLiteral(" V " PRAVIK_FILE_VERSION));
        QCOMPARE(form->StatusPanels[2]->text(), QString());
        form->LoadXMLFile(dataFile(QStringLiteral("app/two-errors.xml")));
        form->XMLViewer->gotoLine(3);
        idle();
        QCOMPARE(form->StatusPanels[1]->text(), QStringLiteral("3:1"));
        QCOMPARE(form->StatusPanels[2]->text(), dataFile(QStringLiteral("app/two-errors.xml")));

        QTemporaryDir dir;
        Answering yes(QStringLiteral("&Yes"));
        form->FileSaveAs1Accept(dir.filePath(QStringLiteral("copy.xml")));
        idle();
        QCOMPARE(form->StatusPanels[2]->text(), dataFile(QStringLiteral("app/two-errors.xml")));
        QCOMPARE(form->XMLFileName(), dataFile(QStringLiteral("app/two-errors.xml")));
    }

    void loadingShowsTheFileWithoutValidating()
    {
        form->FileOpen1Accept(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet2));
        QVERIFY(form->Memo1->toPlainText().isEmpty());
        QVERIFY(form->XMLViewer->text().contains(QStringLiteral("CstmrCdtTrfInitn")));
    }

    void validRun()
    {
        form->LoadXMLFile(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        Answering ok(QStringLiteral("OK"));
        validate();
        QCOMPARE(ok.shown.size(), 1);
        QCOMPARE(ok.shown[0].caption, QStringLiteral("Information"));
        QCOMPARE(ok.shown[0].text, QStringLiteral("XML is valid according the schema."));
        QCOMPARE(ok.shown[0].buttons, QStringList { QStringLiteral("OK") });
        QVERIFY(form->PageControl1->TabVisible(form->TabSheet2));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        QCOMPARE(reportLines(), QStringList { QStringLiteral("XML is valid according the schema.") });
    }

    void invalidRunAndJumps()
    {
        form->LoadXMLFile(dataFile(QStringLiteral("app/two-errors.xml")));
        Answering ok(QStringLiteral("OK"));
        validate();
        QCOMPARE(ok.shown.size(), 1);
        QCOMPARE(ok.shown[0].caption, QStringLiteral("Error"));
        QCOMPARE(ok.shown[0].text, QStringLiteral("XML is not valid!"));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        const QStringList lines = reportLines();
        QCOMPARE(lines.size(), 14);
        QCOMPARE(lines[4], QStringLiteral("Line: 12"));
        QCOMPARE(lines[11], QStringLiteral("Line: 40"));
        QCOMPARE(form->Errors().size(), 14);

        for (int row = 0; row < 14; ++row) {
            form->PageControl1->SetActivePage(form->TabSheet2);
            doubleClickReportRow(row);
            QCOMPARE(form->XMLViewer->caretLine(), row < 7 ? 12 : 40);
            QCOMPARE(form->XMLViewer->caretColumn(), 1);
            QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
            QVERIFY(form->PageControl1->TabVisible(form->TabSheet2));
        }

        // Two lines typed above line 12: the mark went with its text, now on line 14.
        QCOMPARE(form->XMLViewer->lineTag(11), 1);
        auto *view = form->XMLViewer->findChild<QAbstractScrollArea *>();
        QVERIFY(view);
        form->XMLViewer->gotoLine(6);
        QTest::keyClicks(view, QStringLiteral("<!-- a -->"));
        QTest::keyClick(view, Qt::Key_Return);
        QTest::keyClicks(view, QStringLiteral("<!-- b -->"));
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(form->XMLViewer->lineTag(13), 1);
        doubleClickReportRow(2);
        QCOMPARE(form->XMLViewer->caretLine(), 14);
    }

    void twoErrorsOnOneLine()
    {
        // The same file written on one line: the second error's tag replaces the first's.
        QString text = QString::fromUtf8(readAll(dataFile(QStringLiteral("app/two-errors.xml"))));
        text.remove(
            QRegularExpression(QStringLiteral("<!--.*?-->"), QRegularExpression::DotMatchesEverythingOption));
        text.replace(QRegularExpression(QStringLiteral(">\\s*\\r?\\n\\s*<")), QStringLiteral("><"));
        form->XMLViewer->setText(text);
        Answering ok(QStringLiteral("OK"));
        validate();
        QCOMPARE(reportLines().size(), 14);
        QCOMPARE(form->XMLViewer->lineTag(0), 2);
        form->XMLViewer->gotoLine(1);
        doubleClickReportRow(3); // first error: its mark was replaced, it leads nowhere
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        doubleClickReportRow(10);
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), 1);
    }

    void reportLinesThatLeadNowhere()
    {
        form->LoadXMLFile(dataFile(QStringLiteral("app/two-errors.xml")));
        {
            Answering ok(QStringLiteral("OK"));
            validate();
        }
        // A tag that no editor line carries (an error line outside the text) leads nowhere.
        form->FErrors[0].tag = 99;
        form->XMLViewer->gotoLine(30);
        doubleClickReportRow(0);
        QCOMPARE(form->XMLViewer->caretLine(), 30);
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);

        // After a valid run the valid sentence leads nowhere, though FErrors keeps the old report.
        form->XMLViewer->setText(
            QString::fromUtf8(readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")))));
        {
            Answering ok(QStringLiteral("OK"));
            validate();
        }
        QCOMPARE(form->Errors().size(), 14);
        form->XMLViewer->gotoLine(5);
        doubleClickReportRow(0);
        QCOMPARE(form->XMLViewer->caretLine(), 5);
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
    }

    void refusedDocument()
    {
        QByteArray older = readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        older.replace("pain.001.001.09", "pain.001.001.03");
        form->XMLViewer->setText(QString::fromUtf8(older));
        Answering ok(QStringLiteral("OK"));
        form->act_Validate->Execute();
        QCOMPARE(ok.shown.size(), 0); // no verdict
        QCOMPARE(errorBoxes,
            QStringList { QStringLiteral(
                "The file cannot be validated! This file may not be a valid SEPA XML file.") });
        QCOMPARE(reportLines(), QStringList { QStringLiteral("Validating...") });
        QVERIFY(form->PageControl1->TabVisible(form->TabSheet2));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
    }

    void saving_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("saveAs");
        QTest::newRow("save, Yes writes") << QStringLiteral("&Yes") << false;
        QTest::newRow("save, No keeps the file") << QStringLiteral("&No") << false;
        QTest::newRow("save as over an existing file, Yes writes") << QStringLiteral("&Yes") << true;
        QTest::newRow("save as over an existing file, No keeps it") << QStringLiteral("&No") << true;
    }

    void saving()
    {
        QFETCH(QString, answer);
        QFETCH(bool, saveAs);
        QTemporaryDir dir;
        const QString loaded = dir.filePath(QStringLiteral("run.xml"));
        const QString other = dir.filePath(QStringLiteral("other.xml"));
        QVERIFY(writeAll(loaded, readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")))));
        QVERIFY(writeAll(other, QByteArrayLiteral("old")));
        form->LoadXMLFile(loaded);
        form->XMLViewer->setText(form->XMLViewer->text() + QStringLiteral("\r\n<!-- edited -->"));
        const QString target = saveAs ? other : loaded;
        const QByteArray before = readAll(target);

        Answering answering(answer);
        if (saveAs)
            form->FileSaveAs1Accept(target);
        else
            form->FileSave1->Execute();
        QCOMPARE(answering.shown.size(), 1);
        const DialogSnapshot &q = answering.shown[0];
        QCOMPARE(q.caption, QStringLiteral("Warning"));
        QCOMPARE(q.text,
            QStringLiteral("Die Datei %1 existiert bereits! \nWollen Sie die Datei überschreiben?")
                .arg(target));
        QCOMPARE(q.buttons, (QStringList { QStringLiteral("&Yes"), QStringLiteral("&No") }));
        QCOMPARE(q.defaultButton, QStringLiteral("&No"));
        if (answer == QStringLiteral("&Yes"))
            QVERIFY(readAll(target).endsWith("<!-- edited -->"));
        else
            QCOMPARE(readAll(target), before);
        QCOMPARE(form->XMLFileName(), loaded);
        QVERIFY(errorBoxes.isEmpty());
    }

    void windowDeletedWhileItsDialogIsOpen_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("answerYesFirst");
        QTest::newRow("open dialog") << u"FileOpen1"_s << false;
        QTest::newRow("save-as dialog") << u"FileSaveAs1"_s << false;
        QTest::newRow("overwrite question") << u"FileSave1"_s << false;
        QTest::newRow("overwrite question answered Yes as the window went") << u"FileSave1"_s << true;
    }

    void windowDeletedWhileItsDialogIsOpen()
    {
        // The window goes (a timer, a queued delete) while one of its modal dialogs is open: the
        // action returns without touching the window or the dialog, and nothing is written.
        QFETCH(QString, action);
        QFETCH(bool, answerYesFirst);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"payment.xml"_s);
        QVERIFY(writeAll(path, QByteArrayLiteral("<old/>\n")));
        form->LoadXMLFile(path);
        form->XMLViewer->setText(u"<new/>"_s);
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        idle();
        auto *target = form->findChild<TAction *>(action);
        QVERIFY(target && target->isEnabled());

        TPravik_MAIN_Form *window = form.release();
        const QPointer<TPravik_MAIN_Form> alive(window);
        bool onWindow = false;
        ModalDialogDriver driver([&](QDialog *d) {
            onWindow = d->parentWidget() == window;
            if (answerYesFirst) {
                pressButton(d, u"&Yes"_s);
                delete window;
            } else {
                QTimer::singleShot(200, window, [window] { delete window; });
            }
        });
        target->Execute();
        QVERIFY(onWindow);
        QVERIFY(!alive);
        QCOMPARE(readAll(path), QByteArrayLiteral("<old/>\n"));
        QVERIFY(errorBoxes.isEmpty());
        form = std::make_unique<TPravik_MAIN_Form>(); // for cleanup
    }

    void saveToANewFileAsksNothing()
    {
        QTemporaryDir dir;
        form->XMLViewer->setText(QStringLiteral("<a/>"));
        Answering answering(QStringLiteral("&Yes"));
        form->FileSaveAs1Accept(dir.filePath(QStringLiteral("new.xml")));
        QCOMPARE(answering.shown.size(), 0);
        QCOMPARE(readAll(dir.filePath(QStringLiteral("new.xml"))), QByteArray("<a/>"));
    }

    void saveWithoutAFileName()
    {
        form->XMLViewer->setText(QStringLiteral("<a/>"));
        form->FileSave1->Execute();
        QCOMPARE(errorBoxes.size(), 1);
        QCOMPARE(form->XMLViewer->text(), QStringLiteral("<a/>"));
    }

    void unreadableFileKeepsTheText()
    {
        form->XMLViewer->setText(QStringLiteral("<kept/>"));
        Guarded([this] { form->FileOpen1Accept(QStringLiteral("/nonexistent/file.xml")); });
        QCOMPARE(errorBoxes.size(), 1);
        QCOMPARE(form->XMLViewer->text(), QStringLiteral("<kept/>"));
        QCOMPARE(form->XMLFileName(), QStringLiteral("/nonexistent/file.xml"));
    }

    void dropLoadsAndValidatesTheFirstFile()
    {
        QMimeData mime;
        mime.setUrls({ QUrl::fromLocalFile(dataFile(QStringLiteral("app/two-errors.xml"))),
            QUrl::fromLocalFile(exampleFile(QStringLiteral("valid-credit-transfer.xml"))),
            QUrl::fromLocalFile(exampleFile(QStringLiteral("valid-direct-debit.xml"))) });
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        Answering ok(QStringLiteral("OK"));
        form->dropEvent(&drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(ok.shown.size(), 1);
        QCOMPARE(ok.shown[0].text, QStringLiteral("XML is not valid!"));
        QCOMPARE(form->XMLFileName(), dataFile(QStringLiteral("app/two-errors.xml")));
        QCOMPARE(reportLines().size(), 14);
    }

    void lineBreakInAFieldKeepsTheReportInStep()
    {
        // An IBAN split over two lines: its reason quotes the line break.
        QByteArray text = readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        text.replace("<IBAN>DE27100200300012345678</IBAN>", "<IBAN>DE27 1002 0030\n0012 3456 78</IBAN>");
        text.replace("<ChrgBr>SLEV</ChrgBr>", "<ChrgBr>\tDEBT</ChrgBr>");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("split-iban.xml"));
        QVERIFY(writeAll(file, text));
        form->LoadXMLFile(file);
        Answering ok(QStringLiteral("OK"));
        validate();
        const QStringList lines = reportLines();
        QCOMPARE(lines.size(), 14);
        QVERIFY2(lines[2].contains(QStringLiteral("'DE27 1002 0030\\n0012 3456 78'")), qPrintable(lines[2]));
        QVERIFY2(lines[9].contains(QStringLiteral("'\\tDEBT'")), qPrintable(lines[9]));
        QCOMPARE(lines[4], QStringLiteral("Line: 39"));
        QCOMPARE(lines[11], QStringLiteral("Line: 48"));
        for (int row = 0; row < 14; ++row) {
            form->PageControl1->SetActivePage(form->TabSheet2);
            doubleClickReportRow(row);
            QCOMPARE(form->XMLViewer->caretLine(), row < 7 ? 39 : 48);
        }
    }

    void fileNamesThatAreNotUtf8()
    {
        QTemporaryDir dir;
        const QByteArray raw = QFile::encodeName(dir.path())
            + "/\xDC"
              "berweisung.xml";
        const QByteArray text = readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        {
            std::FILE *f = std::fopen(raw.constData(), "wb");
            QVERIFY(f);
            std::fwrite(text.constData(), 1, size_t(text.size()), f);
            std::fclose(f);
        }
        {
            // Dropped: the URL carries the byte percent-encoded.
            QMimeData mime;
            mime.setUrls({ QUrl::fromEncoded("file://" + raw.toPercentEncoding("/")) });
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            Answering ok(QStringLiteral("OK"));
            form->dropEvent(&drop);
            QCOMPARE(ok.shown.size(), 1);
            QCOMPARE(reportLines(), QStringList { QStringLiteral("XML is valid according the schema.") });
            QCOMPARE(encodeFileName(form->XMLFileName()), raw);

            // Saved back to that same file, not to a new one with a mangled name.
            form->XMLViewer->setText(form->XMLViewer->text() + QStringLiteral("\n<!-- checked -->\n"));
            Answering yes(QStringLiteral("&Yes"));
            form->FileSave1Execute(nullptr);
            QCOMPARE(yes.shown.size(), 1);
            QCOMPARE(
                readAll(QFile::decodeName(raw)), QByteArray("<unreadable>")); // Qt's decoding cannot name it
            int entries = 0; // by bytes: QDir skips a name it cannot decode
            if (DIR *d = ::opendir(QFile::encodeName(dir.path()).constData())) {
                while (const dirent *e = ::readdir(d))
                    entries += e->d_name[0] != '.';
                ::closedir(d);
            }
            QCOMPARE(entries, 1);
            std::FILE *f = std::fopen(raw.constData(), "rb");
            QVERIFY(f);
            char buffer[64];
            std::fseek(f, -18, SEEK_END);
            const size_t n = std::fread(buffer, 1, sizeof buffer, f);
            std::fclose(f);
            QVERIFY(QByteArray(buffer, qsizetype(n)).contains("<!-- checked -->"));
        }

        // On the command line, in the form the window keeps its arguments in.
        form.reset();
        form = std::make_unique<TPravik_MAIN_Form>();
        form->FArguments = QStringList { QStringLiteral("pravik"), decodeFileName(raw) };
        Answering again(QStringLiteral("OK"));
        form->show();
        QTRY_COMPARE(again.shown.size(), 1);
        QCOMPARE(encodeFileName(form->XMLFileName()), raw);
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("report");
        QTest::newRow("a valid file") << exampleFile(QStringLiteral("valid-credit-transfer.xml"))
                                      << QStringLiteral("XML is valid according the schema.");
        QTest::newRow("a missing file") << QStringLiteral("/nonexistent.xml") << QString();
        QTest::newRow("a folder") << QStringLiteral(PRAVIK_SOURCE_DIR) << QString();
        QTest::newRow("no argument") << QString() << QString();
    }

    void commandLine()
    {
        QFETCH(QString, argument);
        QFETCH(QString, report);
        if (!argument.isEmpty())
            form->FArguments.append(argument);
        Answering ok(QStringLiteral("OK"));
        form->show();
        if (report.isEmpty()) {
            QTest::qWait(100);
            QCOMPARE(ok.shown.size(), 0);
            QVERIFY(form->Memo1->toPlainText().isEmpty());
            QVERIFY(form->XMLViewer->isBlank());
        } else {
            QTRY_COMPARE(ok.shown.size(), 1);
            QCOMPARE(ok.shown[0].caption, QStringLiteral("Information"));
            QCOMPARE(reportLines(), QStringList { report });
            QCOMPARE(form->XMLFileName(), argument);
        }
    }
};

PRAVIK_TEST_MAIN(TestPravikMain, PravikUnits())
#include "tst_pravikmain.moc"
