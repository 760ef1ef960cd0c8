// The checker window offscreen: enabling rules, status panels, the page states of a validation run,
// jumping from the report to the error, saving with the overwrite question, drops and the command line.

#include "Pravik_MAIN.h"
#include "paymentspage.h"
#include "rulespage.h"
#include "units.h"

#include "components/messages/messagecntr.h"
#include "editor/xmleditor.h"
#include "platform/filename.h"
#include "platform/textfile.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "platform/widgets/pagecontrol.h"
#include "sepa/rulespass.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/historyon.h"
#include "tests/support/oneline.h"
#include "tests/support/paymentcorpus.h"
#include "tests/support/rawtempdir.h"
#include "tests/support/testfiles.h"
#include "tests/support/unitsmain.h"
#include "validation/validationengine.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabBar>
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

    // The number after "label: " in the report row, for the error counted from 0.
    int reportNumber(int error, const QString &label) const
    {
        const QStringList lines = reportLines();
        int seen = -1;
        for (const QString &line : lines) {
            if (line.startsWith(label + u": "_s) && ++seen == error)
                return line.mid(label.size() + 2).toInt();
        }
        return -1;
    }

    // The one-line form of two-errors.xml: comments gone, no line break between tags.
    static QString twoErrorsOnOneLineText()
    {
        QString text = QString::fromUtf8(readAll(dataFile(QStringLiteral("app/two-errors.xml"))));
        text.remove(
            QRegularExpression(QStringLiteral("<!--.*?-->"), QRegularExpression::DotMatchesEverythingOption));
        return testsupport::oneLine(text);
    }

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

    // The tab bar drew the hidden current tab (the report's) on top of the others, in the empty
    // rectangle of a hidden tab: a clipped piece of "Ergebnis Validierung" at the top left.
    void noStrayCaptionAboveTheTabsAtStart()
    {
        form->resize(640, 480);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTabBar *bar = form->PageControl1->TabBar();
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet2));
        QCOMPARE(form->PageControl1->SelectedTab(), -1);

        const QImage image = bar->grab().toImage();
        QVERIFY(!image.isNull());
        const QRect visibleTab = bar->tabRect(0);
        // Text pixels may lie only in the visible tab, below the top quarter of the bar, where its
        // caption is.
        const QRect caption(visibleTab.left(), bar->height() / 4, visibleTab.width(), bar->height());
        QStringList stray;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qGray(image.pixel(x, y)) < 100 && !caption.contains(x, y))
                    stray << QStringLiteral("(%1,%2)").arg(x).arg(y);
            }
        }
        QVERIFY2(stray.isEmpty(), qPrintable(stray.mid(0, 10).join(u' ')));
        // The visible tab's caption is drawn, so that the check above looks at real pixels.
        bool captionDrawn = false;
        for (int y = caption.top(); y < std::min(caption.bottom(), image.height()); ++y) {
            for (int x = caption.left(); x <= caption.right() && !captionDrawn; ++x)
                captionDrawn = qGray(image.pixel(x, y)) < 100;
        }
        QVERIFY(captionDrawn);
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
                QStringLiteral("Speichern &unter..."), QStringLiteral("&Aktualisieren..."),
                QStringLiteral("-"), QStringLiteral("&Beenden") }));
        QCOMPARE(menus[1]->menu()->actions().constFirst(), form->act_Validate);

        // Added to the fixed menus: the usual keys, and stepping through the errors.
        QCOMPARE(form->FileSave1->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(form->act_Validate->shortcut(), QKeySequence(QStringLiteral("F5")));
        QStringList edit;
        for (QAction *a : menus[1]->menu()->actions())
            edit << (a->isSeparator() ? QStringLiteral("-") : a->text() + u' ' + a->shortcut().toString());
        QCOMPARE(edit,
            (QStringList { QStringLiteral("Validieren F5"), QStringLiteral("-"),
                QStringLiteral("&Nächster Fehler F8"), QStringLiteral("&Vorheriger Fehler Shift+F8") }));
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

    // A file large enough to be validated in chunks on threads beside the window: the report is
    // the one pass's, line for line.
    void largeFileReportsAsOnePass()
    {
        const paymentcorpus::Parts ct = paymentcorpus::creditTransfer();
        const QByteArray doc = paymentcorpus::build(ct, 3, 2400, [](int, int t, QByteArray tx) {
            return t % 97 == 5 ? paymentcorpus::replaceOnce(tx, "<IBAN>DE", "<IBAN>de") : tx;
        });
        QVERIFY(doc.size() > (3 << 20));
        QTemporaryDir dir;
        const QString path = dir.path() + u"/large.xml"_s;
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(doc);
        f.close();

        form->LoadXMLFile(path);
        Answering ok(QStringLiteral("OK"));
        validate();
        QCOMPARE(ok.shown.size(), 1);
        QCOMPARE(reportLines(), onePassReport(doc));
    }

    // The report of one pass over utf8 with errors, its count below.
    static QStringList onePassReport(const QByteArray &utf8)
    {
        std::unique_ptr<TXMLParseErrors> errors;
        if (ValidationEngine::ValidateXMLUtf8(utf8, errors))
            return {};
        TTaggedLines tagged;
        errors->ToStrings(tagged);
        QStringList lines;
        for (const TTaggedLine &l : std::as_const(tagged))
            lines.append(l.text);
        lines.append(QStringLiteral("%1 errors found.").arg(errors->size()));
        return lines;
    }

    // A large file is validated as it was read, whatever its line ends and encoding: the report is
    // that of one pass over the editor's text joined by CR LF, and each payment leads to its own
    // start tag (the rules' offsets count in the joined text).
    void largeFileWithItsOwnLineEnds_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<QString>("encoding");
        QTest::newRow("LF") << QByteArray("\n") << u"UTF-8"_s;
        QTest::newRow("CR") << QByteArray("\r") << u"UTF-8"_s;
        QTest::newRow("CR LF") << QByteArray("\r\n") << u"UTF-8"_s;
        QTest::newRow("LF, UTF-16") << QByteArray("\n") << u"UTF-16"_s;
        QTest::newRow("CR, Windows-1252") << QByteArray("\r") << u"Windows-1252"_s;
    }

    void largeFileWithItsOwnLineEnds()
    {
        QFETCH(QByteArray, lineEnd);
        QFETCH(QString, encoding);
        // Some transactions named with a character beyond ASCII, so that bytes and characters differ.
        const paymentcorpus::Parts ct = paymentcorpus::creditTransfer();
        const QByteArray utf8 = paymentcorpus::withLineEnds(
            paymentcorpus::build(ct, 2, 1500,
                [](int, int t, QByteArray tx) {
                    if (t % 97 == 5)
                        tx = paymentcorpus::replaceOnce(tx, "<IBAN>DE", "<IBAN>de");
                    return t % 10 == 3 ? paymentcorpus::replaceOnce(tx, "<Nm>", "<Nm>\xc3\x84") : tx;
                }),
            lineEnd);
        const QByteArray file = encoding == u"UTF-16"_s ? paymentcorpus::utf16le(utf8)
            : encoding == u"Windows-1252"_s             ? paymentcorpus::windows1252(utf8)
                                                        : utf8;
        QVERIFY(file.size() > (2 << 20));
        QTemporaryDir dir;
        const QString path = dir.path() + u"/large.xml"_s;
        QVERIFY(writeAll(path, file));

        form->LoadXMLFile(path);
        const QStringList expected = onePassReport(form->XMLViewer->textUtf8());
        QVERIFY(!expected.isEmpty());
        Answering ok(QStringLiteral("OK"));
        validate();
        QCOMPARE(ok.shown.size(), 1);
        QCOMPARE(reportLines(), expected);

        QCOMPARE(form->PaymentsPage->payments().transactions().size(), size_t(3000));
        const QStringList text = form->XMLViewer->text().split(QRegularExpression(u"\r\n|\r|\n"_s));
        for (const qsizetype item : { 0, 1, 1499, 1500, 2999 }) {
            QVERIFY(form->XMLViewer->gotoItemPosition(item));
            QCOMPARE(text.value(form->XMLViewer->caretLine() - 1).mid(form->XMLViewer->caretColumn() - 1),
                u"<CdtTrfTxInf>"_s);
        }
    }

    // The rules of a large file run after its parts, prepared with the history of checked files
    // only then: a file checked the day before is still recognised.
    void largeFileCheckedBeforeIsRecognised()
    {
        QTemporaryDir dir;
        const testsupport::HistoryOn history(dir.path());
        const QByteArray text = largeTransfer();
        {
            sepa::RulesPass rules(text, TextEncoding::Utf8);
            rules.setNow(sepa::RulesPass::referenceNow().addDays(-1));
            QVERIFY(xmlservices::observe(text, rules) != xmlservices::LoadResult::NotWellFormed);
            rules.finish();
            QVERIFY(rules.historyEntry().has_value());
            QCOMPARE(sepa::History::record({ *rules.historyEntry() }), QString());
        }
        const QString path = dir.path() + u"/large.xml"_s;
        QVERIFY(writeAll(path, text));
        form = std::make_unique<TPravik_MAIN_Form>();
        form->FArguments = QStringList { QStringLiteral("pravik") };
        form->LoadXMLFile(path);
        Answering ok(QStringLiteral("OK"));
        validate();
        QCOMPARE(ok.shown.size(), 1);
        QStringList codes;
        for (const sepa::Finding &f : form->RulesPage->findings())
            codes.append(f.code);
        QVERIFY2(codes.contains(u"MSGID-CHECKED-BEFORE"_s), qPrintable(codes.join(u' ')));
    }

    // A large credit transfer with an error in every 97th transaction (3.4 MB: validated in parts).
    static QByteArray largeTransfer()
    {
        const paymentcorpus::Parts ct = paymentcorpus::creditTransfer();
        return paymentcorpus::build(ct, 3, 2400, [](int, int t, QByteArray tx) {
            return t % 97 == 5 ? paymentcorpus::replaceOnce(tx, "<IBAN>DE", "<IBAN>de") : tx;
        });
    }

    // The validation of a file starts when it is read; a text changed before F5 is the one reported,
    // never the file as it was read.
    void textChangedBeforeValidatingIsTheOneReported_data()
    {
        QTest::addColumn<bool>("large");
        QTest::addColumn<bool>("typed");
        QTest::newRow("small file, text replaced") << false << false;
        QTest::newRow("small file, one key typed") << false << true;
        QTest::newRow("large file, text replaced") << true << false;
        QTest::newRow("large file, one key typed") << true << true;
    }

    void textChangedBeforeValidatingIsTheOneReported()
    {
        QFETCH(bool, large);
        QFETCH(bool, typed);
        const QByteArray doc
            = large ? largeTransfer() : readAll(dataFile(QStringLiteral("app/two-errors.xml")));
        QTemporaryDir dir;
        const QString path = dir.path() + u"/payment.xml"_s;
        QVERIFY(writeAll(path, doc));
        form->LoadXMLFile(path);
        if (typed) {
            // A letter typed into the first start tag breaks the document.
            form->show();
            form->XMLViewer->gotoLine(1);
            QWidget *view = form->XMLViewer->focusProxy() ? form->XMLViewer->focusProxy() : form->XMLViewer;
            QTest::keyClick(view, Qt::Key_Less);
            QVERIFY(form->XMLViewer->isModified());
        } else {
            // The count of errors changes: the first wrong IBAN set right, or a right one made wrong.
            QString text = form->XMLViewer->text();
            const qsizetype wrong = text.indexOf(u"<IBAN>de"_s);
            if (wrong >= 0)
                text.replace(wrong, 8, u"<IBAN>DE"_s);
            else
                text.replace(text.indexOf(u"<IBAN>DE"_s), 8, u"<IBAN>de"_s);
            form->XMLViewer->setText(text);
        }
        const QByteArray edited = form->XMLViewer->textUtf8();
        QVERIFY(edited != doc);

        Answering ok(QStringLiteral("OK"));
        std::unique_ptr<TXMLParseErrors> expected;
        bool valid = false;
        QString refusal;
        try {
            valid = ValidationEngine::ValidateXMLUtf8(edited, expected);
        } catch (const ESEPAXMLValidateException &e) {
            refusal = e.message();
        }
        validate();
        if (!refusal.isEmpty()) {
            QCOMPARE(errorBoxes.size(), 1);
            QCOMPARE(errorBoxes.constFirst(), refusal);
            QVERIFY(ok.shown.isEmpty());
            return;
        }
        QVERIFY(errorBoxes.isEmpty());
        QCOMPARE(ok.shown.size(), 1);
        QVERIFY(!valid);
        TTaggedLines expectedLines;
        expected->ToStrings(expectedLines);
        QStringList lines = reportLines();
        QCOMPARE(lines.takeLast(), QStringLiteral("%1 errors found.").arg(expected->size()));
        QCOMPARE(lines.size(), expectedLines.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(lines[i], expectedLines[i].text);
    }

    // The window goes while its file is validated (the run started when it was read, or F5's run
    // with the rules still going after the verdict): its threads stop, nothing is told to it.
    void windowGoesWhileItValidates_data()
    {
        QTest::addColumn<QString>("when");
        QTest::newRow("right after the file was read") << u"read"_s;
        QTest::newRow("after the text changed") << u"changed"_s;
        QTest::newRow("at the verdict") << u"verdict"_s;
    }

    void windowGoesWhileItValidates()
    {
        QFETCH(QString, when);
        QTemporaryDir dir;
        const QString path = dir.path() + u"/large.xml"_s;
        QVERIFY(writeAll(path, largeTransfer()));
        form->LoadXMLFile(path);
        if (when == u"read") {
            form.reset();
        } else if (when == u"changed") {
            form->XMLViewer->setText(form->XMLViewer->text() + u"\r\n"_s);
            QCoreApplication::processEvents(); // the change stops the run
            form.reset();
        } else {
            TPravik_MAIN_Form *window = form.release();
            const QPointer<TPravik_MAIN_Form> alive(window);
            bool shown = false;
            ModalDialogDriver driver([&](QDialog *) {
                shown = true;
                delete window;
            });
            window->act_Validate->Execute();
            QVERIFY(shown);
            QVERIFY(!alive);
        }
        // Whatever a thread might still tell would come now.
        QCoreApplication::processEvents();
        QVERIFY(errorBoxes.isEmpty());
        form = std::make_unique<TPravik_MAIN_Form>(); // for cleanup
    }

    void invalidRunAndJumps()
    {
        form->LoadXMLFile(dataFile(QStringLiteral("app/two-errors.xml")));
        Answering ok(QStringLiteral("OK"));
        validate();
        QCOMPARE(ok.shown.size(), 1);
        QCOMPARE(ok.shown[0].caption, QStringLiteral("Error"));
        QCOMPARE(ok.shown[0].text, QStringLiteral("XML is not valid!"));
        QCOMPARE(ok.shown[0].details, QStringLiteral("2 errors found."));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        const QStringList lines = reportLines();
        QCOMPARE(lines.size(), 15);
        QCOMPARE(lines[4], QStringLiteral("Line: 12"));
        QCOMPARE(lines[11], QStringLiteral("Line: 40"));
        QCOMPARE(lines[14], QStringLiteral("2 errors found."));
        QCOMPARE(form->Errors().size(), 14);
        const int columns[2] = { reportNumber(0, u"LinePos"_s), reportNumber(1, u"LinePos"_s) };
        QVERIFY(columns[0] > 1 && columns[1] > 1);

        for (int row = 0; row < 14; ++row) {
            form->PageControl1->SetActivePage(form->TabSheet2);
            doubleClickReportRow(row);
            QCOMPARE(form->XMLViewer->caretLine(), row < 7 ? 12 : 40);
            QCOMPARE(form->XMLViewer->caretColumn(), columns[row < 7 ? 0 : 1]);
            QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
            QVERIFY(form->PageControl1->TabVisible(form->TabSheet2));
        }
        // The count's row leads nowhere.
        form->PageControl1->SetActivePage(form->TabSheet2);
        doubleClickReportRow(14);
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);

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
        QCOMPARE(form->XMLViewer->caretColumn(), columns[0]);
    }

    void twoErrorsOnOneLine()
    {
        // The same file written on one line: the second error's tag replaces the first's on the
        // line, yet each error still leads to its own place in it.
        form->XMLViewer->setText(twoErrorsOnOneLineText());
        Answering ok(QStringLiteral("OK"));
        validate();
        QCOMPARE(form->Errors().size(), 14);
        QCOMPARE(form->XMLViewer->lineTag(0), 2);
        const int columns[2] = { reportNumber(0, u"LinePos"_s), reportNumber(1, u"LinePos"_s) };
        QVERIFY(columns[0] > 1 && columns[1] > columns[0]);
        for (int row = 0; row < 14; ++row) {
            form->PageControl1->SetActivePage(form->TabSheet2);
            doubleClickReportRow(row);
            QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
            QCOMPARE(form->XMLViewer->caretLine(), 1);
            QCOMPARE(form->XMLViewer->caretColumn(), columns[row < 7 ? 0 : 1]);
        }
    }

    void errorPositionsFollowTheEdits_data()
    {
        QTest::addColumn<bool>("oneLine");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("typed"); // typed before the error, on its line
        QTest::newRow("first of two errors on one line") << true << 0 << u"<!-- x -->"_s;
        QTest::newRow("second of two errors on one line") << true << 1 << u"<!-- x -->"_s;
        QTest::newRow("error on a line of its own") << false << 1 << u"<!--y-->"_s;
    }

    void errorPositionsFollowTheEdits()
    {
        QFETCH(bool, oneLine);
        QFETCH(int, error);
        QFETCH(QString, typed);
        if (oneLine)
            form->XMLViewer->setText(twoErrorsOnOneLineText());
        else
            form->LoadXMLFile(dataFile(QStringLiteral("app/two-errors.xml")));
        {
            Answering ok(QStringLiteral("OK"));
            validate();
        }
        const int line = reportNumber(error, u"Line"_s);
        const int column = reportNumber(error, u"LinePos"_s);
        // Typed at column 2 of the error's line, which lies before both errors' places.
        form->XMLViewer->gotoLine(line);
        auto *view = form->XMLViewer->findChild<QAbstractScrollArea *>();
        QVERIFY(view);
        QTest::keyClick(view, Qt::Key_Right);
        QTest::keyClicks(view, typed);
        doubleClickReportRow(7 * error + 1);
        QCOMPARE(form->XMLViewer->caretLine(), line);
        QCOMPARE(form->XMLViewer->caretColumn(), column + typed.size());
    }

    void returnInTheReportJumpsAsADoubleClick()
    {
        form->XMLViewer->setText(twoErrorsOnOneLineText());
        {
            Answering ok(QStringLiteral("OK"));
            validate();
        }
        form->Memo1->setTextCursor(QTextCursor(form->Memo1->document()->findBlockByNumber(2)));
        QTest::keyClick(form->Memo1, Qt::Key_Return);
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretColumn(), reportNumber(0, u"LinePos"_s));
        QVERIFY(errorBoxes.isEmpty());
    }

    void steppingThroughTheErrors_data()
    {
        QTest::addColumn<bool>("fromReport");
        QTest::addColumn<bool>("oneLine");
        QTest::newRow("from the editor, errors on two lines") << false << false;
        QTest::newRow("from the editor, errors on one line") << false << true;
        QTest::newRow("from the report, errors on two lines") << true << false;
        QTest::newRow("from the report, errors on one line") << true << true;
    }

    void steppingThroughTheErrors()
    {
        QFETCH(bool, fromReport);
        QFETCH(bool, oneLine);
        if (oneLine)
            form->XMLViewer->setText(twoErrorsOnOneLineText());
        else
            form->LoadXMLFile(dataFile(QStringLiteral("app/two-errors.xml")));
        idle();
        QVERIFY(!form->act_NextError->isEnabled());
        {
            Answering ok(QStringLiteral("OK"));
            validate();
        }
        idle();
        QVERIFY(form->act_NextError->isEnabled());
        QVERIFY(form->act_PreviousError->isEnabled());
        using Place = std::pair<int, int>;
        const Place places[2] = { { reportNumber(0, u"Line"_s), reportNumber(0, u"LinePos"_s) },
            { reportNumber(1, u"Line"_s), reportNumber(1, u"LinePos"_s) } };
        auto here = [this] { return Place { form->XMLViewer->caretLine(), form->XMLViewer->caretColumn() }; };
        if (!fromReport)
            form->PageControl1->SetActivePage(form->TabSheet1);
        form->XMLViewer->gotoLine(1);
        // In the report the caret starts on the count's row, which belongs to no error.
        form->Memo1->moveCursor(QTextCursor::End);

        // Forward: first, second, then round to the first; backward the other way.
        const int forward[3] = { 0, 1, 0 };
        for (const int expected : forward) {
            if (fromReport)
                form->PageControl1->SetActivePage(form->TabSheet2);
            form->act_NextError->Execute();
            QCOMPARE(here(), places[expected]);
            QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
            QCOMPARE(form->Errors().at(form->Memo1->textCursor().blockNumber()).tag, expected + 1);
        }
        const int backward[2] = { 1, 0 };
        for (const int expected : backward) {
            if (fromReport)
                form->PageControl1->SetActivePage(form->TabSheet2);
            form->act_PreviousError->Execute();
            QCOMPARE(here(), places[expected]);
        }
        QVERIFY(errorBoxes.isEmpty());
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

    void notWellFormedShowsWhereTheParserStopped_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("words"); // a part of the parser's message
        QTest::newRow("end tag misspelt") << QByteArray("</MsgId>") << QByteArray("</MsgIdd>") << u"MsgId"_s;
        QTest::newRow("attribute without quotes")
            << QByteArray("Ccy=\"EUR\"") << QByteArray("Ccy=EUR") << u"AttValue"_s;
    }

    void notWellFormedShowsWhereTheParserStopped()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, words);
        QByteArray text = readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        const qsizetype at = text.indexOf(from);
        QVERIFY(at > 0);
        text.replace(at, from.size(), to);
        const int line = int(text.left(at).count('\n')) + 1;
        form->XMLViewer->setText(QString::fromUtf8(text));
        form->XMLViewer->gotoLine(1);
        Answering ok(QStringLiteral("OK"));
        validate();
        // The refusal stays as it is; where and why the parser stopped comes beside it.
        QCOMPARE(ok.shown.size(), 0);
        QCOMPARE(errorBoxes,
            QStringList { QStringLiteral(
                "The file cannot be validated! This file may not be a valid SEPA XML file.") });
        QCOMPARE(reportLines(), QStringList { QStringLiteral("Validating...") });
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        QCOMPARE(form->XMLViewer->caretLine(), line);
        const QString status = form->StatusMessage->text();
        QVERIFY2(status.startsWith(
                     QStringLiteral("Zeile %1, Position %2: ").arg(line).arg(form->XMLViewer->caretColumn())),
            qPrintable(status));
        QVERIFY2(status.contains(words), qPrintable(status));
        QVERIFY(!form->StatusMessage->isHidden());

        // The next run starts afresh.
        form->XMLViewer->setText(
            QString::fromUtf8(readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")))));
        validate();
        QVERIFY(form->StatusMessage->text().isEmpty());
        QVERIFY(form->StatusMessage->isHidden());
    }

    void refusedDocument_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QString>("detail"); // empty: the refusal alone, as for any unknown namespace
        QTest::newRow("retired version names itself")
            << QByteArray("pain.001.001.03")
            << QStringLiteral(
                   "pain.001.001.03, Überweisung, ISO-20022-Version von 2009: Deutsche Banken nehmen "
                   "diese Version nicht mehr an (sie nehmen pain.001.001.09). Die Datei kann auf "
                   "pain.001.001.09 aktualisiert werden.");
        QTest::newRow("unknown namespace keeps the refusal alone")
            << QByteArray("pain.001.999.99") << QString();
    }

    void refusedDocument()
    {
        QFETCH(QByteArray, version);
        QFETCH(QString, detail);
        QByteArray older = readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        older.replace("pain.001.001.09", version);
        form->XMLViewer->setText(QString::fromUtf8(older));
        Answering ok(QStringLiteral("OK"));
        form->act_Validate->Execute();
        const QString refusal
            = QStringLiteral("The file cannot be validated! This file may not be a valid SEPA XML file.");
        if (detail.isEmpty()) {
            QCOMPARE(ok.shown.size(), 0); // no verdict
            QCOMPARE(errorBoxes, QStringList { refusal });
            QCOMPARE(reportLines(), QStringList { QStringLiteral("Validating...") });
        } else {
            // The refusal stays the message; what the file is comes as its detail, in the report and
            // in the status bar.
            QVERIFY(errorBoxes.isEmpty());
            QCOMPARE(ok.shown.size(), 1);
            QCOMPARE(ok.shown.first().text, refusal);
            QCOMPARE(ok.shown.first().details, detail);
            QCOMPARE(reportLines(), (QStringList { refusal, detail }));
            QCOMPARE(form->StatusMessage->text(), detail);
        }
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

    void typedTextIsSavedAsUtf8()
    {
        QTemporaryDir dir;
        form->XMLViewer->setText(u"<Nm>Grüße € Łódź</Nm>"_s);
        form->FileSaveAs1Accept(dir.filePath(u"new.xml"_s));
        QCOMPARE(readAll(dir.filePath(u"new.xml"_s)), u"<Nm>Grüße € Łódź</Nm>"_s.toUtf8());
        QVERIFY(errorBoxes.isEmpty());
    }

    void saveAsStartsAtTheCurrentFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"payment.xml"_s);
        QVERIFY(writeAll(path, readAll(dataFile(QStringLiteral("app/two-errors.xml")))));
        form->LoadXMLFile(path);
        QString folder;
        QStringList selected;
        ModalDialogDriver driver([&](QDialog *d) {
            auto *files = qobject_cast<QFileDialog *>(d);
            QVERIFY(files);
            folder = files->directory().absolutePath();
            selected = files->selectedFiles();
            files->reject();
        });
        form->FileSaveAs1->Execute();
        QCOMPARE(folder, QFileInfo(dir.path()).absoluteFilePath());
        QCOMPARE(selected, QStringList { QFileInfo(path).absoluteFilePath() });
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
        Answering no(QStringLiteral("&Nein")); // the changes are not to be saved
        Guarded([this] { form->FileOpen1Accept(QStringLiteral("/nonexistent/file.xml")); });
        QCOMPARE(errorBoxes.size(), 1);
        QCOMPARE(form->XMLViewer->text(), QStringLiteral("<kept/>"));
        QCOMPARE(form->XMLFileName(), QString());
    }

    void failedOpenKeepsTheFileAndItsSaveTarget_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing file") << u"missing"_s;
        QTest::newRow("folder") << u"folder"_s;
        QTest::newRow("file too large to read") << u"large"_s;
    }

    void failedOpenKeepsTheFileAndItsSaveTarget()
    {
        // A failed open once left the new name as the save target of the old text, so that
        // "Speichern" overwrote the file that could not be read.
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString loaded = dir.filePath(u"loaded.xml"_s);
        const QString failed = dir.filePath(u"failed.xml"_s);
        QVERIFY(writeAll(loaded, readAll(dataFile(QStringLiteral("app/two-errors.xml")))));
        if (kind == u"folder")
            QVERIFY(QDir(dir.path()).mkdir(u"failed.xml"_s));
        if (kind == u"large") {
            QFile large(failed); // sparse: no disk space is used
            QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(MaxTextFileBytes + 1));
        }
        const QFileInfo before(failed);
        form->LoadXMLFile(loaded);
        const QString text = form->XMLViewer->text();
        Guarded([&] { form->FileOpen1Accept(failed); });
        QCOMPARE(errorBoxes.size(), 1);
        QCOMPARE(form->XMLFileName(), loaded);
        QCOMPARE(form->XMLViewer->text(), text);
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        idle();
        QCOMPARE(form->StatusPanels[2]->text(), loaded);

        Answering yes(QStringLiteral("&Yes"));
        form->FileSave1->Execute();
        QCOMPARE(yes.shown.size(), 1);
        QVERIFY(yes.shown[0].text.contains(loaded));
        const QFileInfo after(failed);
        QCOMPARE(after.exists(), before.exists());
        QCOMPARE(after.isDir(), before.isDir());
        QCOMPARE(after.size(), before.size());
    }

    void unsavedChanges_data()
    {
        QTest::addColumn<QString>("how"); // close, open or drop
        QTest::addColumn<QString>("answer");
        for (const QString &how : { u"close"_s, u"open"_s, u"drop"_s }) {
            QTest::addRow("%s, Ja saves", qPrintable(how)) << how << u"&Ja"_s;
            QTest::addRow("%s, Nein drops the changes", qPrintable(how)) << how << u"&Nein"_s;
            QTest::addRow("%s, Abbrechen stays", qPrintable(how)) << how << u"Abbrechen"_s;
        }
    }

    void unsavedChanges()
    {
        QFETCH(QString, how);
        QFETCH(QString, answer);
        const bool going = answer != u"Abbrechen";
        const bool saved = answer == u"&Ja";
        QTemporaryDir dir;
        const QString path = dir.filePath(u"payment.xml"_s);
        const QByteArray original = readAll(dataFile(QStringLiteral("app/two-errors.xml")));
        QVERIFY(writeAll(path, original));
        form->LoadXMLFile(path);
        form->show();
        QVERIFY(form->StatusModified->isHidden());
        auto *view = form->XMLViewer->findChild<QAbstractScrollArea *>();
        QTest::keyClicks(view, u"<!-- edited -->"_s);
        QVERIFY(form->XMLViewer->isModified());
        QVERIFY(!form->StatusModified->isHidden());
        QCOMPARE(form->StatusModified->text(), QStringLiteral("Geändert"));

        QList<DialogSnapshot> shown;
        ModalDialogDriver driver([&](QDialog *d) {
            shown.append(DialogSnapshot::of(d));
            pressButton(d, findButton(d, answer) ? answer : u"OK"_s); // OK: the verdict after a drop
        });
        const QString other = exampleFile(QStringLiteral("valid-credit-transfer.xml"));
        if (how == u"close") {
            form->FileExit1->Execute();
        } else if (how == u"open") {
            form->FileOpen1Accept(other);
        } else {
            QMimeData mime;
            mime.setUrls({ QUrl::fromLocalFile(other) });
            QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            form->dropEvent(&drop);
        }
        QVERIFY(shown.size() >= 1);
        const DialogSnapshot &q = shown[0];
        QCOMPARE(q.caption, QStringLiteral("Pravik"));
        QCOMPARE(q.text,
            QStringLiteral("Die Datei %1 wurde geändert.\nSollen die Änderungen gespeichert werden?")
                .arg(path));
        QCOMPARE(q.buttons, (QStringList { u"&Ja"_s, u"&Nein"_s, u"Abbrechen"_s }));
        QCOMPARE(q.defaultButton, QStringLiteral("&Ja"));
        // Yes saves into the loaded file without asking again whether to overwrite it.
        QCOMPARE(readAll(path).startsWith("<!-- edited -->"), saved);
        if (how == u"close") {
            QCOMPARE(form->isVisible(), !going);
        } else {
            QCOMPARE(form->XMLFileName(), going ? other : path);
            QCOMPARE(form->XMLViewer->text().startsWith(u"<!-- edited -->"), !going);
        }
        QCOMPARE(shown.size(), how == u"drop" && going ? 2 : 1); // a drop validates too
        QVERIFY(errorBoxes.isEmpty());
    }

    void unsavedTypedTextIsSavedUnderANewName()
    {
        // Text typed into the empty editor: Ja asks for a name first, and cancelling that keeps
        // the window open.
        QTemporaryDir dir;
        const QString path = dir.filePath(u"typed.xml"_s);
        form->show();
        auto *view = form->XMLViewer->findChild<QAbstractScrollArea *>();
        QTest::keyClicks(view, u"<a/>"_s);
        for (const bool cancelled : { true, false }) {
            QStringList asked;
            ModalDialogDriver driver([&](QDialog *d) {
                if (auto *files = qobject_cast<QFileDialog *>(d)) {
                    if (cancelled) {
                        files->reject();
                    } else {
                        files->selectFile(path);
                        static_cast<QDialog *>(files)->accept();
                    }
                    return;
                }
                asked.append(DialogSnapshot::of(d).text);
                pressButton(d, u"&Ja"_s);
            });
            form->FileExit1->Execute();
            QCOMPARE(asked,
                QStringList { u"Der Text wurde geändert.\nSollen die Änderungen gespeichert werden?"_s });
            QCOMPARE(form->isVisible(), cancelled);
        }
        QCOMPARE(readAll(path), QByteArray("<a/>"));
        QVERIFY(errorBoxes.isEmpty());
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
        QCOMPARE(reportLines().size(), 15);
        QCOMPARE(reportLines().constLast(), QStringLiteral("2 errors found."));
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
        QCOMPARE(lines.size(), 15); // two errors of seven lines, then their count
        QCOMPARE(lines.constLast(), QStringLiteral("2 errors found."));
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
        testsupport::RawTemporaryDir dir;
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
