#include "paymentspage.h"

#include "platform/dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QCollator>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

using Field = sepa::Payments::Field;

QString utf8(QByteArrayView text)
{
    return QString::fromUtf8(text);
}

// "1.234,50" as people here read amounts; the CSV keeps "1234.50".
QString shownAmount(const QByteArray &amount)
{
    if (amount.isEmpty() || amount == "?")
        return utf8(amount);
    const qsizetype point = amount.indexOf('.');
    const QByteArray whole = point < 0 ? amount : amount.first(point);
    QString out;
    for (qsizetype i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0)
            out += u'.';
        out += QLatin1Char(whole[i]);
    }
    if (point >= 0)
        out += u',' + utf8(amount.sliced(point + 1));
    return out;
}

// A decimal amount in cents, "1234,5", "1.234,50" or "1234.50"; none for an empty or unreadable one.
std::optional<qint64> centsOf(QString text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const qsizetype comma = text.lastIndexOf(u',');
    if (comma >= 0) {
        text.remove(u'.');
        text.replace(u',', u'.');
    }
    const std::optional<sepa::Decimal> d = sepa::Decimal::parse(text.toLatin1());
    if (!d)
        return std::nullopt;
    // Not necessarily a transaction amount: 0 and huge bounds are fine for a range.
    sepa::Decimal probe = *d;
    const QByteArray s = probe.toString();
    const qsizetype point = s.indexOf('.');
    if (point < 0 || s.size() - point - 1 > 2 || point > 15)
        return std::nullopt;
    return s.first(point).toLongLong() * 100 + s.sliced(point + 1).toLongLong();
}

} // namespace

TPaymentsModel::TPaymentsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void TPaymentsModel::setPayments(const sepa::Payments *payments)
{
    beginResetModel();
    m_payments = payments;
    arrange();
    endResetModel();
}

void TPaymentsModel::setText(const QString &text)
{
    beginResetModel();
    m_text = text.trimmed().toLower().toUtf8();
    arrange();
    endResetModel();
}

void TPaymentsModel::setAmountRange(std::optional<qint64> min, std::optional<qint64> max)
{
    beginResetModel();
    m_min = min;
    m_max = max;
    arrange();
    endResetModel();
}

qsizetype TPaymentsModel::transactionAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return m_all ? row : qsizetype(m_order[size_t(row)]);
}

int TPaymentsModel::rowOf(qsizetype transaction) const
{
    if (!m_payments || transaction < 0 || size_t(transaction) >= m_payments->transactions().size())
        return -1;
    if (m_all)
        return int(transaction);
    // Asked as the caret moves: a pass over 100,000 indices is some microseconds.
    const auto at = std::find(m_order.begin(), m_order.end(), uint32_t(transaction));
    return at == m_order.end() ? -1 : int(at - m_order.begin());
}

int TPaymentsModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_payments)
        return 0;
    return int(m_all ? m_payments->transactions().size() : m_order.size());
}

int TPaymentsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TPaymentsModel::data(const QModelIndex &index, int role) const
{
    const qsizetype transaction = index.isValid() ? transactionAt(index.row()) : -1;
    if (transaction < 0)
        return {};
    const sepa::Payments::Transaction &t = m_payments->transactions()[size_t(transaction)];
    if (role == Qt::UserRole) {
        if (index.column() == Amount)
            return t.cents;
        if (index.column() == Line)
            return t.line;
        return display(size_t(transaction), index.column());
    }
    if (role == Qt::TextAlignmentRole)
        return index.column() == Amount || index.column() == Line
            ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
            : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    return display(size_t(transaction), index.column());
}

QVariant TPaymentsModel::display(size_t transaction, int column) const
{
    const sepa::Payments::Transaction &t = m_payments->transactions()[transaction];
    switch (Column(column)) {
    case Block:
        return utf8(m_payments->blockOf(transaction).id);
    case Date:
        return utf8(m_payments->blockOf(transaction).date);
    case Name:
        return utf8(m_payments->field(t, Field::Name));
    case Iban:
        return utf8(m_payments->field(t, Field::Iban));
    case Bic:
        return utf8(m_payments->field(t, Field::Bic));
    case Amount:
        return shownAmount(sepa::Payments::amountText(t.cents));
    case Currency:
        return utf8(m_payments->currency(t));
    case EndToEndId:
        return utf8(m_payments->field(t, Field::EndToEndId));
    case MandateId:
        return utf8(m_payments->field(t, Field::MandateId));
    case MandateDate:
        return utf8(m_payments->field(t, Field::MandateDate));
    case Remittance:
        return utf8(m_payments->field(t, Field::Remittance));
    case Reference:
        return utf8(m_payments->field(t, Field::Reference));
    case Purpose:
        return utf8(m_payments->field(t, Field::Purpose));
    case Line:
        return t.line;
    case ColumnCount:
        break;
    }
    return {};
}

QVariant TPaymentsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const names[ColumnCount]
        = { "Sammler", "Datum", "Name", "IBAN", "BIC", "Betrag", "Währung", "EndToEndId", "Mandat",
              "Unterschrieben", "Verwendungszweck", "Referenz", "Zweck", "Zeile" };
    return section >= 0 && section < ColumnCount ? QVariant(QString::fromUtf8(names[section])) : QVariant();
}

bool TPaymentsModel::accepts(size_t transaction) const
{
    const sepa::Payments::Transaction &t = m_payments->transactions()[transaction];
    if ((m_min && t.cents < *m_min) || (m_max && (t.cents < 0 || t.cents > *m_max)))
        return false;
    if (m_text.isEmpty())
        return true;
    for (const Field f : { Field::Name, Field::Iban, Field::EndToEndId, Field::MandateId, Field::Remittance,
             Field::Reference }) {
        const QByteArrayView value = m_payments->field(t, f);
        // ASCII-only values (IBANs, ids) need no decoding; names may hold umlauts.
        if (QString::fromUtf8(value).toLower().toUtf8().contains(m_text))
            return true;
        if (f == Field::Iban
            && QByteArray(value.data(), value.size()).replace(' ', "").toLower().contains(m_text))
            return true;
    }
    return false;
}

void TPaymentsModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    // The rows selected and the current one stay on their transactions.
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<qsizetype> transactions;
    transactions.reserve(size_t(before.size()));
    for (const QModelIndex &i : before)
        transactions.push_back(transactionAt(i.row()));
    m_sortColumn = column;
    m_sortOrder = order;
    arrange();
    std::vector<int> rowOfTransaction; // built only when many rows are to be found
    if (before.size() > 16 && !m_all && m_payments) {
        rowOfTransaction.assign(m_payments->transactions().size(), -1);
        for (size_t row = 0; row < m_order.size(); ++row)
            rowOfTransaction[m_order[row]] = int(row);
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k) {
        const qsizetype t = transactions[size_t(k)];
        const int row = t < 0 ? -1 : rowOfTransaction.empty() ? rowOf(t) : rowOfTransaction[size_t(t)];
        after.append(row < 0 ? QModelIndex() : index(row, before[k].column()));
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

namespace {

// A date (yyyy-mm-dd) or date and time as one number that sorts as they do: milliseconds since
// 1970 in UTC, a date at its start, a time without offset taken as UTC. None for what is neither.
std::optional<qint64> dateKey(QByteArrayView text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QString s = QString::fromLatin1(text);
    if (s.size() == 10) {
        const QDate d = QDate::fromString(s, Qt::ISODate);
        if (!d.isValid())
            return std::nullopt;
        return QDateTime(d, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    }
    QDateTime dt = QDateTime::fromString(s, Qt::ISODate);
    if (!dt.isValid())
        return std::nullopt;
    if (dt.timeSpec() == Qt::LocalTime)
        dt.setTimeSpec(Qt::UTC);
    return dt.toMSecsSinceEpoch();
}

} // namespace

void TPaymentsModel::arrange()
{
    m_order.clear();
    m_all = true;
    if (!m_payments)
        return;
    const size_t count = m_payments->transactions().size();
    const bool filtered = !m_text.isEmpty() || m_min || m_max;
    if (!filtered && m_sortColumn == Line && m_sortOrder == Qt::AscendingOrder) {
        m_order.shrink_to_fit();
        return;
    }
    m_all = false;
    for (size_t t = 0; t < count; ++t) {
        if (!filtered || accepts(t))
            m_order.push_back(uint32_t(t));
    }
    m_order.shrink_to_fit();

    // Keys for the sort only, let go once it is done: numbers where the column has them, collation
    // keys for texts. A row without a value has none.
    const std::vector<sepa::Payments::Transaction> &all = m_payments->transactions();
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    std::vector<std::optional<qint64>> numbers;
    std::vector<std::optional<QCollatorSortKey>> texts;
    const int column = m_sortColumn;
    if (column == Amount || column == Line || column == Date || column == MandateDate) {
        numbers.resize(count);
        std::vector<std::optional<qint64>> blockDates;
        if (column == Date) {
            for (const sepa::Payments::Block &b : m_payments->blocks())
                blockDates.push_back(dateKey(b.date));
        }
        size_t block = 0;
        for (const uint32_t t : m_order) {
            const sepa::Payments::Transaction &r = all[t];
            if (column == Amount) {
                if (r.cents >= 0)
                    numbers[t] = r.cents;
            } else if (column == Line) {
                numbers[t] = r.offset();
            } else if (column == MandateDate) {
                numbers[t] = dateKey(m_payments->field(r, Field::MandateDate));
            } else {
                // The rows stand in the file's order here: the blocks are walked along.
                const std::vector<sepa::Payments::Block> &blocks = m_payments->blocks();
                while (block + 1 < blocks.size() && blocks[block + 1].first <= t)
                    ++block;
                numbers[t] = blockDates[block];
            }
        }
    } else {
        QCollator collator;
        texts.resize(count);
        for (const uint32_t t : m_order) {
            const QString text = display(t, column).toString();
            if (!text.isEmpty())
                texts[t] = collator.sortKey(text);
        }
    }
    // -1, 0 or 1 for two rows that both have a value.
    auto compare = [&](uint32_t a, uint32_t b) {
        if (!numbers.empty())
            return *numbers[a] < *numbers[b] ? -1 : *numbers[b] < *numbers[a] ? 1 : 0;
        return texts[a]->compare(*texts[b]);
    };
    auto has = [&](uint32_t t) { return numbers.empty() ? texts[t].has_value() : numbers[t].has_value(); };
    std::sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
        const bool hasA = has(a);
        const bool hasB = has(b);
        if (hasA != hasB)
            return hasA;
        if (hasA) {
            const int c = compare(a, b);
            if (c != 0)
                return descending ? c > 0 : c < 0;
        }
        return a < b;
    });
}

// ---------------------------------------------------------------------------------------------

TPaymentsPage::TPaymentsPage(QWidget *parent)
    : QWidget(parent)
{
    m_model = new TPaymentsModel(this);

    m_totals = new QTreeWidget;
    m_totals->setObjectName(QStringLiteral("PaymentsTotals"));
    m_totals->setRootIsDecorated(false);
    m_totals->setHeaderLabels({ QStringLiteral("Summe"), QStringLiteral("Buchungen"),
        QStringLiteral("laut Datei"), QStringLiteral("Betrag"), QStringLiteral("laut Datei"),
        QStringLiteral("Währung"), QStringLiteral("Zeile"), QStringLiteral("Datum"),
        QStringLiteral("Auftraggeber / Gläubiger"), QStringLiteral("IBAN"), QStringLiteral("BIC"),
        QStringLiteral("Sequenz"), QStringLiteral("Verfahren") });

    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("PaymentsTable"));
    m_table->setModel(m_model);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(TPaymentsModel::Line, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(false);
    // Column widths from the first rows, not a thousand of them: their texts are of a kind.
    m_table->horizontalHeader()->setResizeContentsPrecision(50);
    m_table->setWordWrap(false);
    connect(m_table, &QTableView::activated, this, &TPaymentsPage::activate);

    m_text = new QLineEdit;
    m_text->setObjectName(QStringLiteral("PaymentsText"));
    m_text->setPlaceholderText(QStringLiteral("Name, IBAN, Referenz, Verwendungszweck"));
    m_text->setClearButtonEnabled(true);
    connect(m_text, &QLineEdit::textChanged, m_model, &TPaymentsModel::setText);
    m_min = new QLineEdit;
    m_min->setPlaceholderText(QStringLiteral("ab Betrag"));
    m_max = new QLineEdit;
    m_max->setPlaceholderText(QStringLiteral("bis Betrag"));
    connect(m_min, &QLineEdit::textChanged, this, &TPaymentsPage::applyAmountRange);
    connect(m_max, &QLineEdit::textChanged, this, &TPaymentsPage::applyAmountRange);
    auto *largest = new QPushButton(QStringLiteral("Größte zuerst"));
    largest->setObjectName(QStringLiteral("PaymentsLargest"));
    connect(largest, &QPushButton::clicked, this, &TPaymentsPage::sortLargestFirst);
    auto *exportButton = new QPushButton(QStringLiteral("Als CSV speichern..."));
    connect(exportButton, &QPushButton::clicked, this, &TPaymentsPage::exportAsked);
    auto *copy = new QPushButton(QStringLiteral("Kopieren"));
    connect(copy, &QPushButton::clicked, this, &TPaymentsPage::copySelection);
    // The view takes Ctrl+C itself for the current cell alone, before any shortcut sees it.
    m_table->installEventFilter(this);

    m_notice = new QLabel;
    m_notice->setObjectName(QStringLiteral("PaymentsNotice"));
    m_notice->setWordWrap(true);
    m_notice->setStyleSheet(QStringLiteral("color: #C00000;"));
    m_notice->hide();

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Suchen:")));
    bar->addWidget(m_text, 3);
    bar->addWidget(m_min, 1);
    bar->addWidget(m_max, 1);
    bar->addWidget(largest);
    bar->addWidget(copy);
    bar->addWidget(exportButton);

    auto *split = new QSplitter(Qt::Vertical);
    split->addWidget(m_totals);
    auto *lower = new QWidget;
    auto *lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(m_notice);
    lowerLayout->addLayout(bar);
    lowerLayout->addWidget(m_table);
    split->addWidget(lower);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
}

QString TPaymentsPage::caption()
{
    return QStringLiteral("Zahlungen");
}

void TPaymentsPage::setPayments(sepa::Payments payments)
{
    m_model->setPayments(nullptr);
    // Swapped: the payments shown before go with the argument. A string moved into from an empty one
    // would keep its buffer, the texts of a hundred thousand transactions.
    std::swap(m_payments, payments);
    m_model->setPayments(&m_payments);
    m_notice->hide();
    fillTotals();
    m_table->resizeColumnsToContents();
}

void TPaymentsPage::fillTotals()
{
    m_totals->clear();
    const QBrush differs(QColor(0xC0, 0x00, 0x00));
    auto addRow = [&](const QString &what, const sepa::Payments::Totals *t, qint64 count,
                      const sepa::Decimal &sum, bool known, const QString &currency, int line) {
        auto *item = new QTreeWidgetItem(m_totals);
        item->setText(0, what);
        item->setText(1, QString::number(count));
        item->setText(3, shownAmount(known && sum.isValid() ? sum.toString() : QByteArray("?")));
        item->setText(5, currency);
        if (line > 0)
            item->setText(6, QString::number(line));
        if (t) {
            item->setText(2, utf8(t->statedCountText));
            item->setText(4, t->statedSumText.isEmpty() ? QString() : shownAmount(t->statedSumText));
            if (t->countDiffers()) {
                item->setText(2, item->text(2) + QStringLiteral(" ≠"));
                item->setForeground(2, differs);
                item->setToolTip(2, QStringLiteral("Die Datei nennt eine andere Zahl als sie enthält."));
            }
            if (t->sumDiffers()) {
                item->setText(4, item->text(4) + QStringLiteral(" ≠"));
                item->setForeground(4, differs);
                item->setToolTip(
                    4, QStringLiteral("Die Datei nennt eine andere Summe als ihre Beträge ergeben."));
            }
        }
        for (int c = 1; c < 5; ++c)
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    };
    for (const sepa::Payments::Block &b : m_payments.blocks()) {
        QString currency;
        if (b.currency == sepa::Payments::kMixed)
            currency = QStringLiteral("gemischt");
        else if (b.currency >= 0 && b.count > 0)
            currency = utf8(m_payments.currency(m_payments.transactions()[b.first]));
        addRow(QStringLiteral("Sammler %1").arg(utf8(b.id)), &b.totals, b.totals.count, b.totals.sum,
            b.totals.sumKnown, currency, b.line);
        // Who pays (a transfer's debtor) or collects (a direct debit's creditor), from which account.
        QTreeWidgetItem *item = m_totals->topLevelItem(m_totals->topLevelItemCount() - 1);
        int column = 7;
        for (const QByteArray *text :
            { &b.date, &b.name, &b.iban, &b.bic, &b.sequenceType, &b.localInstrument })
            item->setText(column++, utf8(*text));
    }
    for (const sepa::Payments::CurrencyTotal &c : m_payments.currencyTotals())
        addRow(QStringLiteral("Summe %1").arg(utf8(c.currency)), nullptr, c.count, c.sum, c.sumKnown,
            utf8(c.currency), 0);
    const sepa::Payments::Totals &f = m_payments.fileTotals();
    addRow(QStringLiteral("Datei"), &f, f.count, f.sum, f.sumKnown, QString(), 0);
    for (int c = 0; c < m_totals->columnCount(); ++c)
        m_totals->resizeColumnToContents(c);
}

void TPaymentsPage::applyAmountRange()
{
    m_model->setAmountRange(centsOf(m_min->text()), centsOf(m_max->text()));
}

void TPaymentsPage::sortLargestFirst()
{
    m_table->sortByColumn(TPaymentsModel::Amount, Qt::DescendingOrder);
    m_table->scrollToTop();
}

void TPaymentsPage::activate(const QModelIndex &index)
{
    const qsizetype transaction = m_model->transactionAt(index.row());
    if (transaction >= 0)
        Q_EMIT transactionActivated(transaction);
}

void TPaymentsPage::followCaret(qsizetype transaction)
{
    if (transaction < 0 || size_t(transaction) >= m_payments.transactions().size())
        return;
    const int row = m_model->rowOf(transaction);
    if (row < 0 || m_table->currentIndex().row() == row)
        return;
    const QModelIndex shown = m_model->index(row, 0);
    m_table->setCurrentIndex(shown);
    m_table->scrollTo(shown);
}

std::vector<qint64> TPaymentsPage::transactionOffsets() const
{
    std::vector<qint64> offsets;
    offsets.reserve(m_payments.transactions().size());
    for (const sepa::Payments::Transaction &t : m_payments.transactions())
        offsets.push_back(t.offset());
    return offsets;
}

void TPaymentsPage::setOutOfDate()
{
    if (m_notice->isVisibleTo(this) || m_payments.blocks().empty())
        return;
    m_notice->setText(QStringLiteral("Seit der Prüfung geändert: die Zahlungen zeigen den Stand der "
                                     "letzten Prüfung. Erneut prüfen, um sie zu erneuern."));
    m_notice->show();
}

bool TPaymentsPage::outOfDate() const
{
    return m_notice->isVisibleTo(this);
}

void TPaymentsPage::transactionLost()
{
    m_notice->setText(QStringLiteral("Der Anfang dieser Buchung wurde seit der Prüfung gelöscht. Erneut "
                                     "prüfen, um die Zahlungen zu erneuern."));
    m_notice->show();
}

QByteArray TPaymentsPage::csv(bool selectedOnly) const
{
    QByteArray out = sepa::Payments::csvHeader();
    const QItemSelectionModel *selection = m_table->selectionModel();
    for (int row = 0; row < m_model->rowCount(); ++row) {
        if (selectedOnly && !selection->isRowSelected(row, {}))
            continue;
        out += m_payments.csvLine(size_t(m_model->transactionAt(row)));
    }
    return out;
}

bool TPaymentsPage::exportCsv(const QString &file, QString &error) const
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(csv(false)) < 0 || !out.commit()) {
        error = out.errorString();
        return false;
    }
    return true;
}

bool TPaymentsPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        copySelection();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TPaymentsPage::copySelection() const
{
    QApplication::clipboard()->setText(QString::fromUtf8(csv(true)));
}

void TPaymentsPage::exportAsked()
{
    const QString file = QFileDialog::getSaveFileName(
        this, QStringLiteral("Zahlungen als CSV speichern"), QString(), QStringLiteral("CSV (*.csv)"));
    if (file.isEmpty())
        return;
    QString error;
    if (!exportCsv(file, error))
        MessageDlg(QStringLiteral("Die Zahlungen konnten nicht gespeichert werden: %1").arg(error), mtError,
            { mbOK }, 0);
}
