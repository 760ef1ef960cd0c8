// The window's page of SEPA rule findings: shown only after a run that found something, its rows,
// and the jump to a finding's position by double-click or Return.

#include "Pravik_MAIN.h"
#include "rulespage.h"
#include "units.h"

#include "editor/xmleditor.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "platform/widgets/pagecontrol.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/historyon.h"
#include "tests/support/testfiles.h"
#include "tests/support/unitsmain.h"

#include "sepa/rulespass.h"
#include "validation/validationengine.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using testsupport::dataFile;
using testsupport::exampleFile;

Q_DECLARE_METATYPE(sepa::Finding)

namespace {

sepa::Finding finding(const char *code, sepa::Severity severity, int line, int linePos, int filePos)
{
    sepa::Finding f;
    f.code = QString::fromLatin1(code);
    f.severity = severity;
    f.german = QStringLiteral("Text ") + f.code;
    f.english = QStringLiteral("Text in English ") + f.code;
    f.line = line;
    f.linePos = linePos;
    f.filePos = filePos;
    return f;
}

} // namespace

class TestRulesPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPravik_MAIN_Form> form;

    // Validates with every dialog answered by OK; returns the texts the dialogs showed.
    QStringList validate()
    {
        QStringList texts;
        ModalDialogDriver driver([&](QDialog *d) {
            texts.append(DialogSnapshot::of(d).text);
            pressButton(d, QStringLiteral("OK"));
        });
        form->act_Validate->Execute();
        return texts;
    }

    // The editor's view, where keys type into the text.
    QAbstractScrollArea *editorView() const { return form->XMLViewer->findChild<QAbstractScrollArea *>(); }

    // The text from the caret to its line's end.
    QString atCaret() const
    {
        const QStringList lines = form->XMLViewer->text().split(QStringLiteral("\r\n"));
        return lines.value(form->XMLViewer->caretLine() - 1).mid(form->XMLViewer->caretColumn() - 1);
    }

    // The page shown with its only finding's row current, the caret elsewhere.
    void showFinding()
    {
        form->XMLViewer->gotoLine(1);
        form->PageControl1->SetActivePage(form->TabSheet3);
        QTreeWidget *list = form->RulesPage->list();
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 5000);
        list->setCurrentItem(list->topLevelItem(0));
        list->setFocus();
    }

    // A double-click on the first row, as a person does it: a click selects, the second makes it one.
    void doubleClickFirstRow(QTreeWidget *list)
    {
        const QRect row = list->visualItemRect(list->topLevelItem(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    }

private Q_SLOTS:
    void init()
    {
        TApplication::SetExceptionSink([](const QString &m) { QFAIL(qPrintable(m)); });
        form = std::make_unique<TPravik_MAIN_Form>();
    }

    void cleanup()
    {
        form.reset();
        TApplication::SetExceptionSink({});
    }

    void rowsShowEveryFinding()
    {
        TRulesPage page;
        page.setFindings({ finding("IBAN-CHECKDIGITS", sepa::Severity::Error, 12, 9, 300),
            finding("DUPLICATE-ENDTOENDID", sepa::Severity::Warning, 40, 11, 1200) });
        QTreeWidget *list = page.list();
        QCOMPARE(list->topLevelItemCount(), 2);
        const QTreeWidgetItem *first = list->topLevelItem(0);
        QCOMPARE(first->text(0), QStringLiteral("Fehler"));
        QCOMPARE(first->text(1), QStringLiteral("IBAN-CHECKDIGITS"));
        QCOMPARE(first->text(2), QStringLiteral("Text IBAN-CHECKDIGITS"));
        QCOMPARE(first->text(3), QStringLiteral("12"));
        QCOMPARE(first->text(4), QStringLiteral("9"));
        QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("Warnung"));
        page.setFindings({});
        QCOMPARE(list->topLevelItemCount(), 0);
    }

    void returnAndDoubleClickActivate()
    {
        TRulesPage page;
        page.setFindings({ finding("IBAN-CHECKDIGITS", sepa::Severity::Error, 12, 9, 300),
            finding("DUPLICATE-ENDTOENDID", sepa::Severity::Warning, 40, 11, 1200) });
        QSignalSpy spy(&page, &TRulesPage::findingActivated);
        QTreeWidget *list = page.list();
        list->setCurrentItem(list->topLevelItem(1));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).value<sepa::Finding>().filePos, 1200);
        Q_EMIT list->itemDoubleClicked(list->topLevelItem(0), 0);
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy.at(1).at(0).value<sepa::Finding>().code, QStringLiteral("IBAN-CHECKDIGITS"));
    }

    void pageOnlyAfterARunWithFindings()
    {
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet3));
        form->LoadXMLFile(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        QCOMPARE(validate(), QStringList { QStringLiteral("XML is valid according the schema.") });
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet3));

        form->LoadXMLFile(dataFile(QStringLiteral("sepa/ct-iban-mistyped.xml")));
        // The schema's verdict and dialog stay as they are; the findings page joins the tabs.
        QCOMPARE(validate(), QStringList { QStringLiteral("XML is valid according the schema.") });
        QVERIFY(form->PageControl1->TabVisible(form->TabSheet3));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        QCOMPARE(form->RulesPage->findings().size(), size_t(1));
        QCOMPARE(form->RulesPage->findings().front().code, QStringLiteral("IBAN-CHECKDIGITS"));

        // Another file: the old findings go with the old text.
        form->LoadXMLFile(exampleFile(QStringLiteral("valid-direct-debit.xml")));
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet3));
        validate();
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet3));
    }

    void returnJumpsToTheFinding()
    {
        form->show();
        form->LoadXMLFile(dataFile(QStringLiteral("sepa/ct-end-to-end-twice.xml")));
        validate();
        form->PageControl1->SetActivePage(form->TabSheet3);
        QTreeWidget *list = form->RulesPage->list();
        QCOMPARE(list->topLevelItemCount(), 1);
        list->setCurrentItem(list->topLevelItem(0));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), 79);
        QCOMPARE(form->XMLViewer->caretColumn(), 11);

        // The same by a double-click on the row, with the caret elsewhere first.
        form->XMLViewer->gotoLine(1);
        form->PageControl1->SetActivePage(form->TabSheet3);
        QTRY_VERIFY(list->isVisible());
        const QRect row = list->visualItemRect(list->topLevelItem(0));
        QVERIFY(row.isValid());
        // As a person does it: the first click selects the row, the second makes it a double-click.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), 79);
        QCOMPARE(form->XMLViewer->caretColumn(), 11);
    }

    // Typing in the editor after the check: Return and a double-click still find the finding's text
    // (the second end-to-end id of the file, line 79, column 11, as checked), and the page says it
    // shows the state of the check.
    void placesFollowEdits_data()
    {
        QTest::addColumn<int>("line"); // where the text is typed, before the line's text
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("findingLine"); // where the finding's text is after it
        QTest::addColumn<int>("findingColumn");
        QTest::newRow("a line before the finding's") << 3 << QStringLiteral("<!-- ok -->\n") << 80 << 11;
        QTest::newRow("before the finding on its line") << 79 << QStringLiteral("  ") << 79 << 13;
        QTest::newRow("two line ends at the start of its line") << 79 << QStringLiteral("\n\n") << 81 << 11;
        QTest::newRow("a line after the finding's") << 100 << QStringLiteral("<!-- ok -->\n") << 79 << 11;
    }
    void placesFollowEdits()
    {
        QFETCH(int, line);
        QFETCH(QString, typed);
        QFETCH(int, findingLine);
        QFETCH(int, findingColumn);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->LoadXMLFile(dataFile(QStringLiteral("sepa/ct-end-to-end-twice.xml")));
        validate();
        QCOMPARE(form->RulesPage->findings().size(), size_t(1));
        QVERIFY(!form->RulesPage->outOfDate());

        form->PageControl1->SetActivePage(form->TabSheet1);
        form->XMLViewer->gotoLine(line);
        const QStringList pieces = typed.split(u'\n');
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                QTest::keyClick(editorView(), Qt::Key_Return);
            QTest::keyClicks(editorView(), pieces[i]);
        }
        QTRY_VERIFY(form->RulesPage->outOfDate());

        QTreeWidget *list = form->RulesPage->list();
        showFinding();
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), findingLine);
        QCOMPARE(form->XMLViewer->caretColumn(), findingColumn);
        QVERIFY2(atCaret().startsWith(QStringLiteral("<EndToEndId>RE-2026-4711<")), qPrintable(atCaret()));

        showFinding();
        doubleClickFirstRow(list);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), findingLine);
        QCOMPARE(form->XMLViewer->caretColumn(), findingColumn);

        // The next check shows the file as it is, without the notice.
        validate();
        QVERIFY(!form->RulesPage->outOfDate());
    }

    void aFindingWhosePlaceWentIsNoJump()
    {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->LoadXMLFile(dataFile(QStringLiteral("sepa/ct-end-to-end-twice.xml")));
        validate();
        QTreeWidget *list = form->RulesPage->list();
        showFinding();
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        // The tag's '<' deleted: the finding's place has gone.
        QTest::keyClick(editorView(), Qt::Key_Delete);
        showFinding();
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(form->RulesPage->notice()->text().contains(QStringLiteral("gelöscht")));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet3);
        QCOMPARE(form->XMLViewer->caretLine(), 1);
        doubleClickFirstRow(list);
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet3);
        QCOMPARE(form->XMLViewer->caretLine(), 1);
    }

    void filesCheckedBeforeInTheWindow_data()
    {
        QTest::addColumn<bool>("checkedBeforeTheWindowOpened");
        QTest::addColumn<bool>("switchedOff");
        QTest::addColumn<bool>("warned");
        QTest::newRow("file checked the day before") << true << false << true;
        QTest::newRow("the window's own file, checked again after an edit") << false << false << false;
        QTest::newRow("file checked the day before, history switched off") << true << true << false;
    }

    void filesCheckedBeforeInTheWindow()
    {
        QFETCH(bool, checkedBeforeTheWindowOpened);
        QFETCH(bool, switchedOff);
        QFETCH(bool, warned);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const testsupport::HistoryOn history(dir.path());
        const QString file = dataFile(QStringLiteral("sepa/ct-iban-mistyped.xml"));
        if (checkedBeforeTheWindowOpened) {
            const QByteArray text = testsupport::readAll(file);
            sepa::RulesPass rules(text, TextEncoding::Utf8);
            rules.setNow(sepa::RulesPass::referenceNow().addDays(-1));
            std::unique_ptr<TXMLParseErrors> errors;
            ValidationEngine::ValidateXMLUtf8(text, errors, nullptr, &rules);
            rules.finish();
            QVERIFY(rules.historyEntry().has_value());
            QCOMPARE(sepa::History::record({ *rules.historyEntry() }), QString());
        }
        form = std::make_unique<TPravik_MAIN_Form>();
        if (switchedOff)
            form->RulesPage->historyAction()->setChecked(false);
        form->LoadXMLFile(file);
        for (int run = 0; run < 2; ++run) {
            validate();
            QStringList codes;
            for (const sepa::Finding &f : form->RulesPage->findings())
                codes.append(f.code);
            QCOMPARE(codes.contains(QStringLiteral("MSGID-CHECKED-BEFORE")), warned);
            QVERIFY(codes.contains(QStringLiteral("IBAN-CHECKDIGITS")));
        }
        // Switched off, the window remembers nothing; else the file is in the history.
        QCOMPARE(sepa::History::load().entries().size(),
            size_t(switchedOff                     ? 1
                    : checkedBeforeTheWindowOpened ? 3
                                                   : 2));
    }
};

PRAVIK_TEST_MAIN(TestRulesPage, PravikUnits())
#include "tst_rulespage.moc"
