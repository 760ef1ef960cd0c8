// What the window's page "Zahlungen" costs on one file, offscreen: the validation alone, the validation
// with the rules' pass that collects the payments, and the time from the validation's end to the page
// filled (the pass's closing work, the page's model and totals, the editor's kept places, the table
// drawn). Processor time of the whole process, the median of the runs, and wall time beside it. Then
// the memory a transaction costs in the window beyond its texts, counted on malloc's heap: the page
// and the editor emptied, a copy of the payments given to them, in the file's order and sorted.
//   payments_fill <file.xml> [runs]

#include "Pravik_MAIN.h"
#include "payments_window.h"
#include "paymentspage.h"

#include "editor/xmleditor.h"
#include "platform/widgets/pagecontrol.h"
#include "sepa/rulespass.h"
#include "validation/validationengine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <malloc.h>
#include <memory>
#include <vector>

namespace {

double processSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Times
{
    std::vector<double> cpu;
    std::vector<double> wall;
};

// Runs step, adding its processor and wall time to times.
template <typename Step> void measure(Times &times, Step step)
{
    QElapsedTimer wall;
    wall.start();
    const double cpu = processSeconds();
    step();
    times.cpu.push_back(processSeconds() - cpu);
    times.wall.push_back(double(wall.nsecsElapsed()) / 1e9);
}

// Resident memory of the process in bytes, from /proc.
double residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024;
    }
    return 0;
}

// Bytes in use on malloc's heap: in its arenas and in the blocks it maps on its own.
double heapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

// The window lets this name see its pages, as it lets the page's test.
class TestPaymentsPage
{
public:
    static int run(TPravik_MAIN_Form &form, const QString &file, int runs)
    {
        form.LoadXMLFile(file);
        const QByteArray text = form.XMLViewer->textUtf8();
        SchemaCache cache;
        std::unique_ptr<TXMLParseErrors> errors;
        ValidationEngine::ValidateXMLUtf8(
            text, errors, &cache); // the schema compiled once, as the window keeps it

        Times plain;
        Times collecting;
        Times fill;
        size_t transactions = 0;
        double grown = 0;
        for (int i = 0; i < runs; ++i) {
            measure(plain, [&] { ValidationEngine::ValidateXMLUtf8(text, errors, &cache); });
            // The steps of a run in the window, without its closing dialog.
            sepa::RulesPass rules(text, form.XMLViewer->encoding());
            measure(collecting, [&] { ValidationEngine::ValidateXMLUtf8(text, errors, &cache, &rules); });
            form.PageControl1->SetActivePage(form.TabSheet1);
            const double before = residentBytes();
            measure(fill, [&] {
                rules.finish();
                form.PaymentsPage->setPayments(rules.takePayments());
                form.XMLViewer->setItemPositions(form.PaymentsPage->transactionOffsets());
                form.PageControl1->SetTabVisible(form.TabSheet4, true);
                form.PageControl1->SetActivePage(form.TabSheet4);
                form.PaymentsPage->table()->viewport()->repaint();
            });
            transactions = form.PaymentsPage->payments().transactions().size();
            if (i == 0)
                grown = residentBytes() - before; // the first fill; later ones reuse freed memory
        }
        const sepa::Payments &p = form.PaymentsPage->payments();
        const double n = double(std::max<size_t>(transactions, 1));
        const double v = median(plain.cpu);
        const double c = median(collecting.cpu);
        const double f = median(fill.cpu);
        std::printf("transactions:                          %zu\n", transactions);
        std::printf(
            "validation alone:                      %.3f s processor (%.3f s wall)\n", v, median(plain.wall));
        std::printf("validation with the rules' pass:       %.3f s processor (%.3f s wall)\n", c,
            median(collecting.wall));
        std::printf(
            "validation's end to the page filled:   %.3f s processor (%.3f s wall)\n", f, median(fill.wall));
        std::printf("page filled / validation with pass:    %.3f\n", c > 0 ? f / c : 0.0);
        std::printf("page filled / validation alone:        %.3f\n", v > 0 ? f / v : 0.0);
        std::printf("records:                               %.1f bytes per transaction\n",
            double(p.recordBytes()) / n);
        std::printf(
            "their texts:                           %.1f bytes per transaction\n", double(p.textBytes()) / n);
        std::printf("resident memory grown by the first fill: %.1f bytes per transaction\n", grown / n);
        // A click on a column's header: the name by collation, the amount by its cents.
        for (const int column : { int(TPaymentsModel::Name), int(TPaymentsModel::Amount) }) {
            Times sort;
            for (int i = 0; i < runs; ++i) {
                measure(sort, [&] {
                    form.PaymentsPage->table()->sortByColumn(
                        column, i % 2 ? Qt::DescendingOrder : Qt::AscendingOrder);
                });
            }
            std::printf("sorted by %-6s                         %.3f s processor\n",
                column == TPaymentsModel::Name ? "name:" : "amount:", median(sort.cpu));
        }
        memory(form);
        return 0;
    }

    // A page of its own, shown empty before the count starts, so that neither its widgets nor what
    // the window's page keeps of an earlier fill (a list keeps its capacity) count.
    static void memory(TPravik_MAIN_Form &form)
    {
        const sepa::Payments source = form.PaymentsPage->payments();
        form.XMLViewer->setItemPositions({});
        auto page = std::make_unique<TPaymentsPage>();
        page->resize(1280, 600);
        page->show();
        page->table()->viewport()->repaint();
        const double empty = heapBytes();
        sepa::Payments copy = source;
        const double collected = heapBytes();
        page->setPayments(std::move(copy));
        form.XMLViewer->setItemPositions(page->transactionOffsets());
        page->table()->viewport()->repaint();
        const double shown = heapBytes();
        page->sortLargestFirst();
        page->table()->viewport()->repaint();
        const double sorted = heapBytes();
        const double n = double(std::max<size_t>(source.transactions().size(), 1));
        const double texts = double(page->payments().textBytes());
        std::printf("heap, the payments (records, blocks):  %.1f bytes per transaction (texts %.1f)\n",
            (collected - empty - texts) / n, texts / n);
        std::printf("heap, the window beyond the texts:     %.1f bytes per transaction in the file's order, "
                    "%.1f sorted\n",
            (shown - empty - texts) / n, (sorted - empty - texts) / n);
    }
};

int main(int argc, char *argv[])
{
    return paymentsbench::run(
        argc, argv, 1, "payments_fill <file.xml> [runs]", [&](TPravik_MAIN_Form &form, const QString &file) {
            return TestPaymentsPage::run(form, file, argc > 2 ? std::max(1, atoi(argv[2])) : 3);
        });
}
