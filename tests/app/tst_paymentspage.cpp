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

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
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

    // The editor's view, where keys type into the text.
    QAbstractScrollArea *editorView() const { return form->XMLViewer->findChild<QAbstractScrollArea *>(); }

    // The text from the caret to its line's end.
    QString atCaret() const
    {
        const QStringList lines = form->XMLViewer->text().split(QStringLiteral("\r\n"));
        return lines.value(form->XMLViewer->caretLine() - 1).mid(form->XMLViewer->caretColumn() - 1);
    }

    // The page's table shown, with the keyboard's focus.
    void showTable()
    {
        form->PageControl1->SetActivePage(form->TabSheet4);
        QTRY_VERIFY(form->PaymentsPage->table()->isVisible());
        form->PaymentsPage->table()->setFocus();
    }

    // Return on the page's row of a transaction (in the file's order, as the page starts).
    void activateRow(int row)
    {
        showTable();
        QTableView *table = form->PaymentsPage->table();
        table->setCurrentIndex(table->model()->index(row, 0));
        QTest::keyClick(table, Qt::Key_Return);
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
        // The block's date, debtor and account; a transfer has no sequence type or local instrument.
        QStringList block;
        for (int column = 7; column < totals->columnCount(); ++column)
            block.append(totals->topLevelItem(0)->text(column));
        QCOMPARE(block,
            (QStringList { QStringLiteral("2026-12-14"), QStringLiteral("Lindenhof Gartenbau GmbH"),
                QStringLiteral("DE27100200300012345678"), QStringLiteral("MUSTDEFFXXX"), QString(),
                QString() }));

        // Another file read: the page goes until its run.
        form->LoadXMLFile(exampleFile(QStringLiteral("valid-direct-debit.xml")));
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet4));
        // A direct debit's block names its creditor, sequence type and local instrument.
        validate();
        QVERIFY(form->PageControl1->TabVisible(form->TabSheet4));
        const QTreeWidgetItem *debit = totals->topLevelItem(0);
        QCOMPARE(debit->text(8), QStringLiteral("Turn- und Sportverein Musterstadt e.V."));
        QCOMPARE(debit->text(11), QStringLiteral("RCUR"));
        QCOMPARE(debit->text(12), QStringLiteral("CORE"));
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

    // Every column sorted by clicks on its header, both ways: ties keep the file's order and rows
    // without a value stand last, both ways; names by German collation, amounts by their cents,
    // dates as dates (a time with its offset before the day it is given on in UTC).
    void everyColumnSortsThroughTheView_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QList<int>>("ascending"); // the transactions in the file's order, from 0
        QTest::addColumn<QList<int>>("descending");
        using C = TPaymentsModel;
        QTest::newRow("block") << int(C::Block) << QList<int> { 2, 3, 0, 1, 4, 5 }
                               << QList<int> { 4, 5, 0, 1, 2, 3 };
        QTest::newRow("date") << int(C::Date) << QList<int> { 2, 3, 0, 1, 4, 5 }
                              << QList<int> { 0, 1, 2, 3, 4, 5 };
        QTest::newRow("name") << int(C::Name) << QList<int> { 1, 5, 2, 3, 0, 4 }
                              << QList<int> { 0, 2, 3, 1, 5, 4 };
        QTest::newRow("IBAN") << int(C::Iban) << QList<int> { 2, 1, 4, 0, 3, 5 }
                              << QList<int> { 3, 0, 1, 4, 2, 5 };
        QTest::newRow("BIC") << int(C::Bic) << QList<int> { 2, 0, 4, 3, 1, 5 }
                             << QList<int> { 3, 0, 4, 2, 1, 5 };
        QTest::newRow("amount") << int(C::Amount) << QList<int> { 5, 1, 0, 3, 2, 4 }
                                << QList<int> { 2, 0, 3, 1, 5, 4 };
        QTest::newRow("currency") << int(C::Currency) << QList<int> { 3, 0, 1, 2, 5, 4 }
                                  << QList<int> { 0, 1, 2, 5, 3, 4 };
        QTest::newRow("end-to-end id")
            << int(C::EndToEndId) << QList<int> { 1, 3, 2, 0, 5, 4 } << QList<int> { 0, 5, 2, 3, 1, 4 };
        QTest::newRow("mandate") << int(C::MandateId) << QList<int> { 0, 3, 2, 1, 4, 5 }
                                 << QList<int> { 1, 2, 0, 3, 4, 5 };
        QTest::newRow("mandate's date")
            << int(C::MandateDate) << QList<int> { 5, 0, 3, 2, 1, 4 } << QList<int> { 2, 0, 3, 5, 1, 4 };
        QTest::newRow("remittance") << int(C::Remittance) << QList<int> { 5, 1, 0, 3, 2, 4 }
                                    << QList<int> { 0, 3, 1, 5, 2, 4 };
        QTest::newRow("reference") << int(C::Reference) << QList<int> { 1, 4, 5, 0, 2, 3 }
                                   << QList<int> { 5, 1, 4, 0, 2, 3 };
        QTest::newRow("purpose") << int(C::Purpose) << QList<int> { 5, 0, 2, 1, 3, 4 }
                                 << QList<int> { 2, 0, 5, 1, 3, 4 };
        QTest::newRow("line") << int(C::Line) << QList<int> { 0, 1, 2, 3, 4, 5 }
                              << QList<int> { 5, 4, 3, 2, 1, 0 };
    }
    void everyColumnSortsThroughTheView()
    {
        QFETCH(int, column);
        QFETCH(QList<int>, ascending);
        QFETCH(QList<int>, descending);
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });

        using F = sepa::Payments::Field;
        struct Row
        {
            int block;
            const char *name, *iban, *bic;
            qint64 cents; // -1: no amount
            const char *currency, *endToEnd, *mandate, *signedOn, *remittance, *reference, *purpose;
        };
        // Ties: 0 and 3 in amount, mandate, its date and remittance; 1 and 5 in name; 1 and 4 in
        // IBAN and reference; 0 and 4 in BIC; 0 and 5 in end-to-end id. Each column misses some.
        const Row rows[] = {
            { 0, "Zimmerei Örtel", "DE02120300000000202051", "BYLADEM1001", 1000, "EUR", "E-3", "M-10",
                "2019-04-02", "Rechnung 7", "", "GDDS" },
            { 0, "Ärztehaus Nord", "DE02100100100006820101", "", 950, "EUR", "E-1", "M-9", "", "Rechnung 10",
                "RF18539007547034", "" },
            { 1, "Bäckerei Auer", "AT611904300234573201", "BKAUATWW", 99'999'999'999, "EUR", "E-2", "M-2",
                "2020-01-15", "", "", "SALA" },
            { 1, "Bäckerei Auer", "DE89370400440532013000", "COBADEFFXXX", 1000, "CHF", "E-10", "M-10",
                "2019-04-02", "Rechnung 7", "", "" },
            { 2, "", "DE02100100100006820101", "BYLADEM1001", -1, nullptr, "", "", "2026-1-5", "",
                "RF18539007547034", "" },
            { 2, "Ärztehaus Nord", "", "", 5, "EUR", "E-3", "", "2018-12-31", "Anzahlung", "RF712348231",
                "CHAR" },
        };
        const char *const blockIds[] = { "SAMMLER-B", "SAMMLER-A", "SAMMLER-C" };
        // The second block's date is a time that in UTC falls on the day before the first block's.
        const char *const blockDates[] = { "2026-12-15", "2026-12-15T01:00:00+02:00", "" };
        sepa::Payments payments;
        qsizetype offset = 0;
        int block = -1;
        for (const Row &r : rows) {
            if (r.block != block) {
                if (block >= 0)
                    payments.endBlock({});
                block = r.block;
                sepa::Payments::Block &b = payments.beginBlock(offset += 10);
                b.id = blockIds[block];
                b.date = blockDates[block];
            }
            payments.beginTransaction(offset += 10);
            payments.setField(F::Name, r.name);
            payments.setField(F::Iban, r.iban);
            payments.setField(F::Bic, r.bic);
            payments.setField(F::EndToEndId, r.endToEnd);
            payments.setField(F::MandateId, r.mandate);
            payments.setField(F::MandateDate, r.signedOn);
            payments.addRemittanceLine(r.remittance);
            payments.setField(F::Reference, r.reference);
            payments.setField(F::Purpose, r.purpose);
            if (r.currency)
                payments.setAmount(r.cents < 0 ? std::nullopt : std::optional<qint64>(r.cents), r.currency);
            payments.endTransaction();
        }
        payments.endBlock({});
        payments.finish({}, QByteArray(offset + 10, ' '));

        TPaymentsPage page;
        page.resize(900, 400);
        page.setPayments(std::move(payments));
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QTableView *table = page.table();
        QHeaderView *header = table->horizontalHeader();
        auto order = [&] {
            QList<int> transactions;
            for (int row = 0; row < table->model()->rowCount(); ++row)
                transactions.append(int(page.model()->transactionAt(row)));
            return transactions;
        };
        auto click = [&] {
            table->scrollTo(table->model()->index(0, column));
            const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
            QCOMPARE(header->sortIndicatorSection(), column);
        };
        // The line column is the one the page starts sorted by: its first click turns it around.
        for (int k = 0; k < 2; ++k) {
            click();
            QCOMPARE(order(), header->sortIndicatorOrder() == Qt::AscendingOrder ? ascending : descending);
        }
    }

    void ctrlCCopiesTheSelectedRowsAsCsv()
    {
        loadAndValidate(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        showTable();
        QTableView *table = form->PaymentsPage->table();
        table->selectionModel()->select(
            table->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        table->selectionModel()->select(
            table->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QApplication::clipboard()->clear();
        QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QApplication::clipboard()->text().split(QStringLiteral("\r\n"));
        // The header, the first and the third transfer, and the empty rest after the last line end.
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].startsWith(QStringLiteral("Block;Date;Name;")));
        QVERIFY(lines[1].contains(QStringLiteral(";Baumschule Müller KG;")));
        QVERIFY(lines[2].contains(QStringLiteral(";188.25;")));
        QCOMPARE(lines[3], QString());
    }

    void returnGoesToTheTransactionAndTheRowFollowsTheCaret()
    {
        loadAndValidate(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        showTable();
        QTableView *table = form->PaymentsPage->table();
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

    // Typing in the editor after the check: the jumps still find each transaction's start tag, the
    // row follows the caret by the places the editor kept, and the page says it shows the state of
    // the check. Lines as the example has them: transactions at 48, 76 and 105, its end at 136.
    void placesFollowEdits_data()
    {
        QTest::addColumn<int>("line"); // where a new line is typed, before the line's text
        QTest::addColumn<QList<int>>("starts"); // the transactions' start tags' lines after it
        QTest::newRow("before the transactions") << 3 << QList<int> { 49, 77, 106 };
        QTest::newRow("inside the second transaction") << 80 << QList<int> { 48, 76, 106 };
        QTest::newRow("right before the second transaction's start tag") << 76 << QList<int> { 48, 77, 106 };
        QTest::newRow("after the transactions") << 135 << QList<int> { 48, 76, 105 };
    }
    void placesFollowEdits()
    {
        QFETCH(int, line);
        QFETCH(QList<int>, starts);
        loadAndValidate(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        QVERIFY(!form->PaymentsPage->outOfDate());

        form->PageControl1->SetActivePage(form->TabSheet1);
        form->XMLViewer->gotoLine(line);
        QTest::keyClicks(editorView(), QStringLiteral("<!-- ok -->"));
        QTest::keyClick(editorView(), Qt::Key_Return);
        QTRY_VERIFY(form->PaymentsPage->outOfDate());
        QVERIFY(form->PaymentsPage->notice()->text().contains(QStringLiteral("Seit der Prüfung geändert")));

        for (int row = 0; row < 3; ++row) {
            activateRow(row);
            QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
            QCOMPARE(form->XMLViewer->caretLine(), starts[row]);
            QVERIFY2(atCaret().startsWith(QStringLiteral("<CdtTrfTxInf>")), qPrintable(atCaret()));
        }
        // The caret two lines into a transaction selects its row, and between the first transaction's
        // start and the second's the first one's.
        QTableView *table = form->PaymentsPage->table();
        for (int row : { 2, 0, 1 }) {
            form->XMLViewer->gotoLine(starts[row] + 2);
            QTRY_COMPARE(table->currentIndex().row(), row);
        }
        form->XMLViewer->gotoLine(starts[1] - 1);
        QTRY_COMPARE(table->currentIndex().row(), 0);

        // The next check shows the file as it is, without the notice.
        validate();
        QVERIFY(!form->PaymentsPage->outOfDate());
    }

    // Hundreds of edits in two places, none joining the one before: the editor folds them into the
    // places it keeps on the way, a lost place stays lost, the others land on their start tags.
    void manyEditsKeepThePlaces()
    {
        loadAndValidate(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        activateRow(1);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QTest::keyClick(editorView(), Qt::Key_Delete);
        for (int k = 0; k < 150; ++k) {
            form->XMLViewer->gotoLine(3);
            QTest::keyClick(editorView(), Qt::Key_X);
            form->XMLViewer->gotoLine(136);
            QTest::keyClick(editorView(), Qt::Key_Y);
        }
        for (const int row : { 0, 2 }) {
            activateRow(row);
            QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
            QCOMPARE(form->XMLViewer->caretLine(), row == 0 ? 48 : 105);
            QVERIFY2(atCaret().startsWith(QStringLiteral("<CdtTrfTxInf>")), qPrintable(atCaret()));
        }
        activateRow(1);
        QTRY_VERIFY(form->PaymentsPage->notice()->text().contains(QStringLiteral("gelöscht")));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet4);
    }

    void aTransactionWhoseStartTagWentIsNoJump()
    {
        loadAndValidate(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
        activateRow(1);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QVERIFY(atCaret().startsWith(QStringLiteral("<CdtTrfTxInf>")));
        // The start tag's '<' deleted: the second transaction has no place any more.
        QTest::keyClick(editorView(), Qt::Key_Delete);
        form->XMLViewer->gotoLine(1);
        activateRow(1);
        QTRY_VERIFY(form->PaymentsPage->notice()->text().contains(QStringLiteral("gelöscht")));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet4);
        QCOMPARE(form->XMLViewer->caretLine(), 1);
        // The others still go where they are; the caret where the second was selects the first.
        activateRow(2);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), 105);
        form->XMLViewer->gotoLine(77);
        QTRY_COMPARE(form->PaymentsPage->table()->currentIndex().row(), 0);
    }
};

PRAVIK_TEST_MAIN(TestPaymentsPage, PravikUnits())
#include "tst_paymentspage.moc"
