// The window's page "Zahlungen": shown after a run over a payment file, its totals with differences
// marked, sorting and filtering through the real view, and the way to a transaction and back.

#include "Pravik_MAIN.h"
#include "paymentspage.h"
#include "units.h"

#include "editor/xmleditor.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "platform/widgets/pagecontrol.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testfiles.h"
#include "tests/support/unitsmain.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using testsupport::exampleFile;

class TestPaymentsPage : public QObject
{
    Q_OBJECT

    std::unique_ptr<TPravik_MAIN_Form> form;

    void validate()
    {
        ModalDialogDriver driver([&](QDialog *d) { pressButton(d, QStringLiteral("OK")); });
        form->act_Validate->Execute();
    }

    void loadAndValidate(const QString &file)
    {
        form->LoadXMLFile(file);
        validate();
    }

    // The texts of a column in the order the view shows them.
    QStringList shown(int column) const
    {
        QStringList texts;
        const QAbstractItemModel *m = form->PaymentsPage->table()->model();
        for (int row = 0; row < m->rowCount(); ++row)
            texts.append(m->index(row, column).data().toString());
        return texts;
    }

private Q_SLOTS:
    void init()
    {
        qputenv("PRAVIK_NO_HISTORY", "1");
        TApplication::SetExceptionSink([](const QString &m) { QFAIL(qPrintable(m)); });
        form = std::make_unique<TPravik_MAIN_Form>();
        form->resize(1200, 700);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    void cleanup()
    {
        form.reset();
        TApplication::SetExceptionSink({});
    }

    void pageAfterARunOverAPaymentFile()
    {
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet4));
        loadAndValidate(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        QVERIFY(form->PageControl1->TabVisible(form->TabSheet4));
        // The report stays the page shown after a run.
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        QCOMPARE(form->PaymentsPage->table()->model()->rowCount(), 3);
        QTreeWidget *totals = form->PaymentsPage->totals();
        QCOMPARE(totals->topLevelItemCount(), 3); // the block, EUR, the file
        QCOMPARE(totals->topLevelItem(0)->text(0), QStringLiteral("Sammler LINDENHOF-2026-KW50-LIEF"));
        QCOMPARE(totals->topLevelItem(0)->text(3), QStringLiteral("4.321,55"));
        QCOMPARE(totals->topLevelItem(0)->text(4), QStringLiteral("4.321,55"));
        QCOMPARE(totals->topLevelItem(2)->text(1), QStringLiteral("3"));

        // Another file read: the page goes until its run.
        form->LoadXMLFile(exampleFile(QStringLiteral("valid-direct-debit.xml")));
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet4));
    }

    void differencesAreMarked()
    {
        QTemporaryDir dir;
        QByteArray text = testsupport::readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        text.replace(text.lastIndexOf("<NbOfTxs>3"), 10, "<NbOfTxs>4");
        const QString file = dir.filePath(QStringLiteral("off.xml"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(text);
        out.close();
        loadAndValidate(file);
        const QTreeWidgetItem *block = form->PaymentsPage->totals()->topLevelItem(0);
        QCOMPARE(block->text(1), QStringLiteral("3"));
        QCOMPARE(block->text(2), QStringLiteral("4 ≠"));
        QVERIFY(!block->text(4).contains(u'≠'));
        QVERIFY(!form->PaymentsPage->totals()->topLevelItem(2)->text(2).contains(u'≠'));
    }

    void sortAndFilterThroughTheView()
    {
        loadAndValidate(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        form->PageControl1->SetActivePage(form->TabSheet4);
        TPaymentsPage *page = form->PaymentsPage;
        QTableView *table = page->table();
        QTRY_VERIFY(table->isVisible());

        // Clicks on the name column's header sort by name, the second one backwards (the file's order
        // is the first one's).
        QHeaderView *header = table->horizontalHeader();
        const int nameAt = header->sectionViewportPosition(TPaymentsModel::Name) + 5;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(nameAt, header->height() / 2));
        QCOMPARE(header->sortIndicatorSection(), int(TPaymentsModel::Name));
        const QStringList order = shown(TPaymentsModel::Name);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(nameAt, header->height() / 2));
        QStringList backwards = order;
        std::reverse(backwards.begin(), backwards.end());
        QCOMPARE(shown(TPaymentsModel::Name), backwards);
        QCOMPARE(header->sortIndicatorOrder() == Qt::AscendingOrder ? backwards : order,
            (QStringList { QStringLiteral("Baumschule Müller KG"), QStringLiteral("Erdenwerk Substrate AG"),
                QStringLiteral("Werkzeughandel Petra Schmidt") }));

        // The largest first, by the amount, not its text.
        QTest::mouseClick(page->findChild<QPushButton *>(QStringLiteral("PaymentsLargest")), Qt::LeftButton);
        QCOMPARE(shown(TPaymentsModel::Amount),
            (QStringList {
                QStringLiteral("2.480,00"), QStringLiteral("1.653,30"), QStringLiteral("188,25") }));

        QTest::keyClicks(page->textFilter(), QStringLiteral("erdenwerk"));
        QCOMPARE(shown(TPaymentsModel::Name), QStringList { QStringLiteral("Erdenwerk Substrate AG") });
        page->textFilter()->clear();
        QTest::keyClicks(page->textFilter(), QStringLiteral("de0840"));
        QCOMPARE(shown(TPaymentsModel::Name), QStringList { QStringLiteral("Werkzeughandel Petra Schmidt") });
        page->textFilter()->clear();
        QTest::keyClicks(page->textFilter(), QStringLiteral("rf2820"));
        QCOMPARE(shown(TPaymentsModel::Name), QStringList { QStringLiteral("Erdenwerk Substrate AG") });
        page->textFilter()->clear();
        QCOMPARE(shown(TPaymentsModel::Name).size(), 3);

        QTest::keyClicks(page->minAmount(), QStringLiteral("200"));
        QTest::keyClicks(page->maxAmount(), QStringLiteral("2.000,00"));
        QCOMPARE(shown(TPaymentsModel::Amount), QStringList { QStringLiteral("1.653,30") });
        page->maxAmount()->clear();
        QCOMPARE(shown(TPaymentsModel::Amount),
            (QStringList { QStringLiteral("2.480,00"), QStringLiteral("1.653,30") }));

        // The export writes the rows shown, in their order.
        page->minAmount()->clear();
        const QByteArrayList lines = page->csv(false).split('\n');
        QVERIFY(lines.at(1).contains(";2480.00;"));
        QVERIFY(lines.at(3).contains(";188.25;"));
    }

    void returnGoesToTheTransactionAndTheRowFollowsTheCaret()
    {
        loadAndValidate(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        form->PageControl1->SetActivePage(form->TabSheet4);
        QTableView *table = form->PaymentsPage->table();
        QTRY_VERIFY(table->isVisible());
        table->setFocus();
        table->setCurrentIndex(table->model()->index(1, 0));
        QTest::keyClick(table, Qt::Key_Return);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        // The second transfer's start tag stands in line 76, column 7.
        QCOMPARE(form->XMLViewer->caretLine(), 76);
        QCOMPARE(form->XMLViewer->caretColumn(), 7);

        // The caret inside the third transfer selects its row.
        form->XMLViewer->gotoLine(120);
        QTRY_COMPARE(table->currentIndex().row(), 2);
        form->XMLViewer->gotoLine(50);
        QTRY_COMPARE(table->currentIndex().row(), 0);
    }
};

PRAVIK_TEST_MAIN(TestPaymentsPage, PravikUnits())
#include "tst_paymentspage.moc"
