#pragma once
// The window's page "Zahlungen": what the file will pay. Above, the totals per payment information
// block, per currency and of the file, the stated NbOfTxs and CtrlSum beside the computed ones and a
// difference marked; below, one row per transaction in a model over the compact records the rules'
// pass collected, sortable by every column and filtered by text (name, IBAN, references, remittance)
// and amount range. Double-click or Return on a row asks the window to go to the transaction; the
// window hands the caret back (followCaret) so that the row of the transaction under it is selected.
// The editor keeps the transactions' places through edits; once the text is edited the page says
// that it shows the state of the last check.

#include "sepa/payments.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QTableView;
class QTreeWidget;

// The transactions of a Payments, one row each, filtered and sorted by the model itself: its order is
// one 32-bit index per row shown, and none while every transaction shows in the file's order (a
// proxy model would keep two ints per row). Sorting keeps ties in the file's order and the rows
// without a value last, both ways; amounts sort by their cents, dates as dates, lines by place.
// Filter: a row passes when any of name, IBAN, end-to-end id, mandate, remittance and reference
// holds the text (case ignored) and its amount lies within the range.
class TPaymentsModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Block,
        Date,
        Name,
        Iban,
        Bic,
        Amount,
        Currency,
        EndToEndId,
        MandateId,
        MandateDate,
        Remittance,
        Reference,
        Purpose,
        Line,
        ColumnCount
    };

    explicit TPaymentsModel(QObject *parent = nullptr);
    // payments must outlive its use here, until the next setPayments.
    void setPayments(const sepa::Payments *payments);
    const sepa::Payments *payments() const { return m_payments; }

    void setText(const QString &text);
    // In cents; none: open on that side.
    void setAmountRange(std::optional<qint64> min, std::optional<qint64> max);
    // The transaction (an index into payments()->transactions()) of a row shown, and the row of a
    // transaction; -1 when there is none or it is filtered out.
    qsizetype transactionAt(int row) const;
    int rowOf(qsizetype transaction) const;
    // Bytes the order of the rows holds.
    size_t orderBytes() const { return m_order.capacity() * sizeof(uint32_t); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    bool accepts(size_t transaction) const;
    // The rows shown, in their order, from the filter and the sort column.
    void arrange();
    QVariant display(size_t transaction, int column) const;

    const sepa::Payments *m_payments = nullptr;
    bool m_all = true; // every transaction, in the file's order; m_order is empty
    std::vector<uint32_t> m_order;
    int m_sortColumn = Line;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QByteArray m_text; // UTF-8, lower case
    std::optional<qint64> m_min;
    std::optional<qint64> m_max;
};

class TPaymentsPage final : public QWidget
{
    Q_OBJECT

public:
    explicit TPaymentsPage(QWidget *parent = nullptr);

    static QString caption();
    void setPayments(sepa::Payments payments);
    const sepa::Payments &payments() const { return m_payments; }

    QTableView *table() const { return m_table; }
    QTreeWidget *totals() const { return m_totals; }
    QLineEdit *textFilter() const { return m_text; }
    QLineEdit *minAmount() const { return m_min; }
    QLineEdit *maxAmount() const { return m_max; }
    TPaymentsModel *model() const { return m_model; }

    // The largest amounts first.
    void sortLargestFirst();
    // Selects the row of transaction (an index into payments().transactions(); none for -1).
    void followCaret(qsizetype transaction);
    // Where each transaction starts, in bytes into the checked text, in their order.
    std::vector<qint64> transactionOffsets() const;
    // The text was edited since the check: the page says so until the next setPayments.
    void setOutOfDate();
    bool outOfDate() const;
    // A transaction asked for has lost its place in the edited text.
    void transactionLost();
    QLabel *notice() const { return m_notice; }
    // The visible rows as CSV (sepa::Payments' header and lines), in their shown order.
    QByteArray csv(bool selectedOnly) const;
    // Writes csv(false) to file; false with the reason in error when it cannot.
    bool exportCsv(const QString &file, QString &error) const;
    void copySelection() const;

Q_SIGNALS:
    // An index into payments().transactions().
    void transactionActivated(qsizetype transaction);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillTotals();
    void applyAmountRange();
    void activate(const QModelIndex &index);
    void exportAsked();

    sepa::Payments m_payments;
    TPaymentsModel *m_model = nullptr;
    QTableView *m_table = nullptr;
    QTreeWidget *m_totals = nullptr;
    QLineEdit *m_text = nullptr;
    QLineEdit *m_min = nullptr;
    QLineEdit *m_max = nullptr;
    QLabel *m_notice = nullptr;
};
