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
#include "tests/support/testfiles.h"
#include "tests/support/unitsmain.h"

#include "platform/settingsstore.h"
#include "sepa/rulespass.h"
#include "validation/validationengine.h"

#include <QAction>
#include <QScopeGuard>
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
        SetSettingsFolder(dir.path());
        const QByteArray noHistory = qgetenv("PRAVIK_NO_HISTORY");
        qunsetenv("PRAVIK_NO_HISTORY");
        const auto restore = qScopeGuard([&] {
            SetSettingsFolder(QString());
            if (!noHistory.isNull())
                qputenv("PRAVIK_NO_HISTORY", noHistory);
        });
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
