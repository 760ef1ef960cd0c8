#include "payments.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace sepa {

bool Payments::Totals::sumDiffers() const
{
    if (statedSumText.isEmpty())
        return false;
    if (!statedSum)
        return true; // no amount at all
    return sumKnown && sum.isValid() && !statedSum->equals(sum);
}

std::vector<Payments::CurrencyTotal> Payments::currencyTotals() const
{
    std::vector<CurrencyTotal> totals(m_currencies.size() + 1);
    for (size_t i = 0; i < m_currencies.size(); ++i)
        totals[i].currency = m_currencies[i];
    for (const Transaction &t : m_transactions) {
        CurrencyTotal &total = totals[std::min<size_t>(t.currency(), m_currencies.size())];
        ++total.count;
        if (t.cents >= 0)
            total.sum += Decimal::fromCents(t.cents);
        else
            total.sumKnown = false;
    }
    std::erase_if(totals, [](const CurrencyTotal &t) { return t.count == 0; });
    return totals;
}

QByteArray Payments::currency(const Transaction &t) const
{
    return t.currency() < m_currencies.size() ? m_currencies[t.currency()] : QByteArray();
}

void Payments::Transaction::setOffset(qint64 offset)
{
    const quint64 kept = quint64(std::clamp<qint64>(offset, 0, (qint64(1) << 48) - 1));
    place = (kept << 16) | currency();
}

const Payments::Block &Payments::blockOf(size_t transaction) const
{
    // The last block starting at or before it: an empty block before it starts where it does.
    const auto after = std::upper_bound(
        m_blocks.begin(), m_blocks.end(), transaction, [](size_t t, const Block &b) { return t < b.first; });
    return *std::prev(after);
}

QByteArrayView Payments::field(const Transaction &t, Field f) const
{
    const char *p = m_text.data() + t.text;
    for (int i = 0; i < int(f); ++i)
        p += std::char_traits<char>::length(p) + 1;
    return QByteArrayView(p, qsizetype(std::char_traits<char>::length(p)));
}

std::array<QByteArrayView, Payments::kFields> Payments::fields(const Transaction &t) const
{
    std::array<QByteArrayView, kFields> out;
    const char *p = m_text.data() + t.text;
    for (QByteArrayView &f : out) {
        const size_t length = std::char_traits<char>::length(p);
        f = QByteArrayView(p, qsizetype(length));
        p += length + 1;
    }
    return out;
}

QByteArray Payments::amountText(qint64 cents)
{
    if (cents < 0)
        return {};
    return Decimal::fromCents(cents).toString();
}

size_t Payments::recordBytes() const
{
    return m_transactions.capacity() * sizeof(Transaction) + m_blocks.capacity() * sizeof(Block);
}

size_t Payments::textBytes() const
{
    return m_text.capacity();
}

QList<QByteArray> Payments::csvColumns()
{
    return { "Block", "Date", "Name", "IBAN", "BIC", "Amount", "Currency", "EndToEndId", "MandateId",
        "MandateDate", "Remittance", "Reference", "Purpose", "Line" };
}

namespace {

void appendCsvField(QByteArray &line, QByteArrayView value)
{
    const bool quote = std::any_of(
        value.begin(), value.end(), [](char c) { return c == ';' || c == '"' || c == '\n' || c == '\r'; });
    if (!quote) {
        line += value;
        return;
    }
    line += '"';
    for (const char c : value) {
        if (c == '"')
            line += '"';
        line += c;
    }
    line += '"';
}

} // namespace

QByteArray Payments::csvHeader()
{
    return csvColumns().join(';') + "\r\n";
}

QByteArray Payments::csvLine(size_t transaction) const
{
    const Transaction &t = m_transactions[transaction];
    const Block &b = blockOf(transaction);
    QByteArray line;
    line.reserve(160);
    auto add = [&](QByteArrayView value, bool last = false) {
        appendCsvField(line, value);
        line += last ? QByteArrayView("\r\n") : QByteArrayView(";");
    };
    const std::array<QByteArrayView, kFields> f = fields(t);
    auto of = [&](Field which) { return f[size_t(which)]; };
    add(b.id);
    add(b.date);
    add(of(Field::Name));
    add(of(Field::Iban));
    add(of(Field::Bic));
    add(amountText(t.cents));
    add(currency(t));
    add(of(Field::EndToEndId));
    add(of(Field::MandateId));
    add(of(Field::MandateDate));
    add(of(Field::Remittance));
    add(of(Field::Reference));
    add(of(Field::Purpose));
    add(QByteArray::number(t.line), true);
    return line;
}

Payments::Block &Payments::beginBlock(qsizetype offset)
{
    m_inBlock = true;
    Block &b = m_blocks.emplace_back();
    b.first = m_transactions.size();
    b.offset = offset;
    return b;
}

void Payments::endBlock(const Totals &stated)
{
    if (!m_inBlock)
        return;
    m_inBlock = false;
    Block &b = m_blocks.back();
    const Totals computed = b.totals;
    b.totals = stated;
    b.totals.count = computed.count;
    b.totals.sum = computed.sum;
    b.totals.sumKnown = computed.sumKnown;
}

void Payments::beginTransaction(qsizetype offset)
{
    if (!m_inBlock)
        return;
    m_inTransaction = true;
    m_pending = Transaction();
    m_pending.setOffset(offset);
    for (std::string &f : m_fields)
        f.clear();
}

void Payments::setField(Field f, QByteArrayView value)
{
    if (!m_inTransaction)
        return;
    // A zero byte cannot stand in XML text; the buffer's separators stay unambiguous.
    m_fields[size_t(f)].assign(value.data(), size_t(value.size()));
}

void Payments::addRemittanceLine(QByteArrayView value)
{
    if (!m_inTransaction || value.isEmpty())
        return;
    std::string &r = m_fields[size_t(Field::Remittance)];
    if (!r.empty())
        r += ' ';
    r.append(value.data(), size_t(value.size()));
}

void Payments::setAmount(std::optional<qint64> cents, QByteArrayView currency)
{
    if (!m_inTransaction)
        return;
    m_pending.cents = cents.value_or(-1);
    size_t i = 0;
    while (i < m_currencies.size() && m_currencies[i] != currency)
        ++i;
    if (i == m_currencies.size()) {
        if (i >= kNoCurrency)
            i = 0; // a hostile file's thousands of currencies share the first one's total
        else
            m_currencies.push_back(currency.toByteArray());
    }
    m_pending.setCurrency(uint16_t(i));
}

void Payments::endTransaction()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    if (m_text.empty())
        m_text.assign(kFields, '\0'); // the fields of a transaction whose texts are not kept
    if (m_text.size() <= std::numeric_limits<uint32_t>::max()) {
        m_pending.text = uint32_t(m_text.size());
        for (const std::string &f : m_fields) {
            m_text += f;
            m_text += '\0';
        }
    } else {
        m_pending.text = 0;
        ++m_textsDropped;
    }
    m_transactions.push_back(m_pending);
    Block &b = m_blocks.back();
    ++b.count;
    ++b.totals.count;
    ++m_file.count;
    const int currency = m_pending.currency() == kNoCurrency ? -1 : int(m_pending.currency());
    if (b.currency == -1)
        b.currency = currency;
    else if (currency != -1 && b.currency != currency)
        b.currency = kMixed;
    if (m_pending.cents >= 0) {
        const Decimal amount = Decimal::fromCents(m_pending.cents);
        b.totals.sum += amount;
        m_file.sum += amount;
    } else {
        b.totals.sumKnown = m_file.sumKnown = false;
    }
}

namespace {

// Lines (from 1) of ascending byte offsets, every line break (CR LF, LF or a lone CR) counted once.
class LineCounter
{
public:
    explicit LineCounter(const QByteArray &text)
        : m_data(text.constData())
        , m_size(text.size())
    {
    }

    int32_t lineAt(qint64 offset)
    {
        const qsizetype to = qsizetype(std::clamp<qint64>(offset, m_at, m_size));
        // Every LF, then every CR that no LF follows; memchr runs through the lines between.
        for (const char *p = m_data + m_at, *end = m_data + to;
             (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))); ++p)
            ++m_line;
        for (const char *p = m_data + m_at, *end = m_data + to;
             (p = static_cast<const char *>(std::memchr(p, '\r', size_t(end - p)))); ++p) {
            if (p + 1 == m_data + m_size || p[1] != '\n')
                ++m_line;
        }
        m_at = to;
        return int32_t(std::min<qint64>(m_line, std::numeric_limits<int32_t>::max()));
    }

private:
    const char *m_data;
    qsizetype m_size;
    qsizetype m_at = 0;
    qint64 m_line = 1;
};

} // namespace

void Payments::finish(const Totals &stated, const QByteArray &utf8)
{
    if (m_inTransaction)
        m_inTransaction = false; // cut short: the pending one is not kept
    m_inBlock = false;
    const Totals computed = m_file;
    m_file = stated;
    m_file.count = computed.count;
    m_file.sum = computed.sum;
    m_file.sumKnown = computed.sumKnown;

    // Blocks and transactions both stand in document order; one count of line breaks finds all
    // their lines.
    LineCounter lines(utf8);
    size_t t = 0;
    for (Block &b : m_blocks) {
        b.line = lines.lineAt(b.offset);
        for (; t < b.first + b.count; ++t)
            m_transactions[t].line = lines.lineAt(m_transactions[t].offset());
    }
    m_transactions.shrink_to_fit();
    m_text.shrink_to_fit();
    for (std::string &f : m_fields)
        f = {};
}

} // namespace sepa
