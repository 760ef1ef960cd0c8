#include "paymentsoutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace checker {

namespace {

QString latin(const QByteArray &text)
{
    return QString::fromUtf8(text);
}

QByteArray sumText(const sepa::Decimal &sum, bool known)
{
    return known && sum.isValid() ? sum.toString() : QByteArrayLiteral("?");
}

QByteArray currencyText(const sepa::Payments &p, const sepa::Payments::Block &b)
{
    if (b.currency == sepa::Payments::kMixed)
        return QByteArrayLiteral("(mixed currencies)");
    if (b.currency < 0 || b.count == 0)
        return {};
    return p.currency(p.transactions()[b.first]);
}

// " (stated: 3, 4321.55)", each stated figure that differs followed by " DIFFERS"; empty when the file
// states neither.
QByteArray statedText(const sepa::Payments::Totals &t)
{
    if (t.statedCountText.isEmpty() && t.statedSumText.isEmpty())
        return {};
    QByteArrayList parts;
    if (!t.statedCountText.isEmpty())
        parts.append(t.statedCountText + (t.countDiffers() ? " DIFFERS" : ""));
    if (!t.statedSumText.isEmpty())
        parts.append(t.statedSumText + (t.sumDiffers() ? " DIFFERS" : ""));
    return " (stated: " + parts.join(", ") + ')';
}

QByteArray countText(qint64 count)
{
    return QByteArray::number(count) + (count == 1 ? " transaction" : " transactions");
}

QJsonObject totalsJson(const sepa::Payments::Totals &t)
{
    QJsonObject o;
    o.insert(QStringLiteral("count"), t.count);
    o.insert(QStringLiteral("sum"), latin(sumText(t.sum, t.sumKnown)));
    if (!t.statedCountText.isEmpty())
        o.insert(QStringLiteral("statedCount"), latin(t.statedCountText));
    if (!t.statedSumText.isEmpty())
        o.insert(QStringLiteral("statedSum"), latin(t.statedSumText));
    o.insert(QStringLiteral("countDiffers"), t.countDiffers());
    o.insert(QStringLiteral("sumDiffers"), t.sumDiffers());
    return o;
}

QByteArray xmlEscaped(const QByteArray &text)
{
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}

} // namespace

QByteArray summaryText(const sepa::Payments &p)
{
    QByteArray out = "\nPayments:\n";
    for (const sepa::Payments::Block &b : p.blocks()) {
        out += "  block " + (b.id.isEmpty() ? QByteArray("(no PmtInfId)") : b.id) + ", line "
            + QByteArray::number(b.line);
        if (!b.date.isEmpty())
            out += ", " + b.date;
        out += ": " + countText(b.totals.count) + ", sum " + sumText(b.totals.sum, b.totals.sumKnown);
        if (const QByteArray currency = currencyText(p, b); !currency.isEmpty())
            out += ' ' + currency;
        out += statedText(b.totals) + '\n';
    }
    for (const sepa::Payments::CurrencyTotal &c : p.currencyTotals())
        out += "  total " + (c.currency.isEmpty() ? QByteArray("(no currency)") : c.currency) + ": "
            + countText(c.count) + ", sum " + sumText(c.sum, c.sumKnown) + '\n';
    const sepa::Payments::Totals &f = p.fileTotals();
    out += "  file: " + countText(f.count) + ", sum " + sumText(f.sum, f.sumKnown) + statedText(f) + '\n';
    if (p.textsDropped() > 0)
        out += "  texts not kept (over 4 GiB of them): " + countText(qint64(p.textsDropped())) + '\n';
    return out;
}

QByteArray summaryJson(const sepa::Payments &p)
{
    QJsonArray blocks;
    for (const sepa::Payments::Block &b : p.blocks()) {
        QJsonObject o = totalsJson(b.totals);
        o.insert(QStringLiteral("id"), latin(b.id));
        o.insert(QStringLiteral("line"), b.line);
        o.insert(QStringLiteral("date"), latin(b.date));
        o.insert(QStringLiteral("currency"), latin(currencyText(p, b)));
        blocks.append(o);
    }
    QJsonArray currencies;
    for (const sepa::Payments::CurrencyTotal &c : p.currencyTotals()) {
        QJsonObject o;
        o.insert(QStringLiteral("currency"), latin(c.currency));
        o.insert(QStringLiteral("count"), c.count);
        o.insert(QStringLiteral("sum"), latin(sumText(c.sum, c.sumKnown)));
        currencies.append(o);
    }
    QJsonObject summary;
    summary.insert(QStringLiteral("blocks"), blocks);
    summary.insert(QStringLiteral("currencies"), currencies);
    summary.insert(QStringLiteral("file"), totalsJson(p.fileTotals()));
    return QJsonDocument(summary).toJson(QJsonDocument::Compact);
}

QByteArray withJsonSummary(QByteArray record, const sepa::Payments &payments)
{
    const qsizetype close = record.lastIndexOf('}');
    if (close < 0)
        return record;
    record.insert(close, ",\"summary\":" + summaryJson(payments));
    return record;
}

QByteArray withJUnitSummary(QByteArray testCase, const sepa::Payments &p)
{
    QByteArray properties = "      <properties>\n";
    auto property = [&](const QByteArray &name, const QByteArray &value) {
        properties
            += "        <property name=\"" + xmlEscaped(name) + "\" value=\"" + xmlEscaped(value) + "\"/>\n";
    };
    const sepa::Payments::Totals &f = p.fileTotals();
    property("payments.count", QByteArray::number(f.count));
    property("payments.sum", sumText(f.sum, f.sumKnown));
    if (!f.statedCountText.isEmpty())
        property("payments.statedCount", f.statedCountText);
    if (!f.statedSumText.isEmpty())
        property("payments.statedSum", f.statedSumText);
    for (const sepa::Payments::CurrencyTotal &c : p.currencyTotals()) {
        property("payments.currency." + c.currency + ".count", QByteArray::number(c.count));
        property("payments.currency." + c.currency + ".sum", sumText(c.sum, c.sumKnown));
    }
    int n = 0;
    for (const sepa::Payments::Block &b : p.blocks()) {
        const QByteArray prefix = "payments.block." + QByteArray::number(++n) + '.';
        property(prefix + "id", b.id);
        property(prefix + "count", QByteArray::number(b.totals.count));
        property(prefix + "sum", sumText(b.totals.sum, b.totals.sumKnown));
        if (!b.totals.statedCountText.isEmpty())
            property(prefix + "statedCount", b.totals.statedCountText);
        if (!b.totals.statedSumText.isEmpty())
            property(prefix + "statedSum", b.totals.statedSumText);
    }
    properties += "      </properties>\n";
    if (testCase.endsWith("/>\n")) {
        testCase.chop(3);
        return testCase + ">\n" + properties + "    </testcase>\n";
    }
    const qsizetype open = testCase.indexOf(">\n");
    if (open >= 0)
        testCase.insert(open + 2, properties);
    return testCase;
}

QByteArray listText(const sepa::Payments &payments)
{
    QByteArray text;
    for (size_t i = 0; i < payments.transactions().size(); ++i)
        text += payments.csvLine(i);
    return text;
}

} // namespace checker
