#include "messageversions.h"

#include <QLatin1StringView>

namespace legacy {

namespace {

constexpr QLatin1StringView kIsoPrefix("urn:iso:std:iso:20022:tech:xsd:");

// A row names one version ("pain.001.003.03") or, ending in '.', every version of a message
// ("camt.053."). The first matching row counts.
struct Row
{
    const char *id;
    MessageKind kind;
    MessageStatus status;
    const char *english;
    const char *german;
    const char *upgradeTo;
};

constexpr Row kRows[] = {
    { "pain.001.001.02", MessageKind::CreditTransfer, MessageStatus::Retired, "ISO 20022 version of 2006",
        "ISO-20022-Version von 2006", "" },
    { "pain.001.001.03", MessageKind::CreditTransfer, MessageStatus::Retired, "ISO 20022 version of 2009",
        "ISO-20022-Version von 2009", "pain.001.001.09" },
    { "pain.001.002.02", MessageKind::CreditTransfer, MessageStatus::Retired,
        "early German DK format, before 2013", "frühes deutsches DK-Format, vor 2013", "" },
    { "pain.001.002.03", MessageKind::CreditTransfer, MessageStatus::Retired, "German DK format, before 2013",
        "deutsches DK-Format, vor 2013", "pain.001.001.09" },
    { "pain.001.003.03", MessageKind::CreditTransfer, MessageStatus::Retired, "German DK format up to 2016",
        "deutsches DK-Format bis 2016", "pain.001.001.09" },
    { "pain.008.001.01", MessageKind::DirectDebit, MessageStatus::Retired, "ISO 20022 version of 2006",
        "ISO-20022-Version von 2006", "" },
    { "pain.008.001.02", MessageKind::DirectDebit, MessageStatus::Retired, "ISO 20022 version of 2009",
        "ISO-20022-Version von 2009", "pain.008.001.08" },
    { "pain.008.002.01", MessageKind::DirectDebit, MessageStatus::Retired,
        "early German DK format, before 2013", "frühes deutsches DK-Format, vor 2013", "" },
    { "pain.008.002.02", MessageKind::DirectDebit, MessageStatus::Retired, "German DK format, before 2013",
        "deutsches DK-Format, vor 2013", "pain.008.001.08" },
    { "pain.008.003.02", MessageKind::DirectDebit, MessageStatus::Retired, "German DK format up to 2016",
        "deutsches DK-Format bis 2016", "pain.008.001.08" },
    { "pain.001.001.10", MessageKind::CreditTransfer, MessageStatus::NotYetTaken, "ISO 20022 version of 2020",
        "ISO-20022-Version von 2020", "" },
    { "pain.001.001.11", MessageKind::CreditTransfer, MessageStatus::NotYetTaken, "ISO 20022 version of 2021",
        "ISO-20022-Version von 2021", "" },
    { "pain.001.001.12", MessageKind::CreditTransfer, MessageStatus::NotYetTaken, "ISO 20022 version of 2023",
        "ISO-20022-Version von 2023", "" },
    { "pain.008.001.09", MessageKind::DirectDebit, MessageStatus::NotYetTaken, "ISO 20022 version of 2020",
        "ISO-20022-Version von 2020", "" },
    { "pain.008.001.10", MessageKind::DirectDebit, MessageStatus::NotYetTaken, "ISO 20022 version of 2021",
        "ISO-20022-Version von 2021", "" },
    { "pain.008.001.11", MessageKind::DirectDebit, MessageStatus::NotYetTaken, "ISO 20022 version of 2023",
        "ISO-20022-Version von 2023", "" },
    { "pain.002.", MessageKind::StatusReport, MessageStatus::NotPaymentOrder,
        "a bank's report on a payment file", "Bericht einer Bank über eine Zahlungsdatei", "" },
    { "camt.052.", MessageKind::AccountReport, MessageStatus::NotPaymentOrder, "intraday account report",
        "untertägige Kontoinformation", "" },
    { "camt.053.", MessageKind::Statement, MessageStatus::NotPaymentOrder, "account statement", "Kontoauszug",
        "" },
    { "camt.054.", MessageKind::Notification, MessageStatus::NotPaymentOrder, "debit or credit notification",
        "Soll- oder Haben-Benachrichtigung", "" },
};

// The version the banks take for each kind of order, named in the explanations.
QString takenVersion(MessageKind kind)
{
    return kind == MessageKind::DirectDebit ? QStringLiteral("pain.008.001.08")
                                            : QStringLiteral("pain.001.001.09");
}

QString germanKindName(MessageKind kind)
{
    switch (kind) {
    case MessageKind::CreditTransfer:
        return QStringLiteral("Überweisung");
    case MessageKind::DirectDebit:
        return QStringLiteral("Lastschrift");
    case MessageKind::StatusReport:
        return QStringLiteral("Statusbericht");
    case MessageKind::AccountReport:
        return QStringLiteral("Kontoinformation");
    case MessageKind::Statement:
        return QStringLiteral("Kontoauszug");
    case MessageKind::Notification:
        return QStringLiteral("Buchungsbenachrichtigung");
    }
    return {};
}

} // namespace

KnownMessage knownMessage(const QString &namespaceUri)
{
    if (!namespaceUri.startsWith(kIsoPrefix))
        return {};
    const QString id = namespaceUri.mid(kIsoPrefix.size());
    for (const Row &row : kRows) {
        const QLatin1StringView rowId(row.id);
        const bool family = rowId.endsWith(u'.');
        if (family ? !id.startsWith(rowId) || id.size() == rowId.size() : id != rowId)
            continue;
        return { id, row.kind, row.status, QString::fromUtf8(row.english), QString::fromUtf8(row.german),
            QString::fromLatin1(row.upgradeTo) };
    }
    return {};
}

QString kindName(MessageKind kind)
{
    switch (kind) {
    case MessageKind::CreditTransfer:
        return QStringLiteral("credit transfer");
    case MessageKind::DirectDebit:
        return QStringLiteral("direct debit");
    case MessageKind::StatusReport:
        return QStringLiteral("payment status report");
    case MessageKind::AccountReport:
        return QStringLiteral("account report");
    case MessageKind::Statement:
        return QStringLiteral("bank statement");
    case MessageKind::Notification:
        return QStringLiteral("account notification");
    }
    return {};
}

QString statusName(MessageStatus status)
{
    switch (status) {
    case MessageStatus::Retired:
        return QStringLiteral("retired");
    case MessageStatus::NotYetTaken:
        return QStringLiteral("not yet taken");
    case MessageStatus::NotPaymentOrder:
        return QStringLiteral("not a payment order");
    }
    return {};
}

namespace {

// The sentence in either language; the two differ in words only.
QString detail(const QString &namespaceUri, bool german)
{
    const KnownMessage m = knownMessage(namespaceUri);
    if (m.id.isEmpty())
        return {};
    QString text = m.id + QStringLiteral(", ") + (german ? germanKindName(m.kind) : kindName(m.kind))
        + QStringLiteral(", ") + (german ? m.german : m.english);
    switch (m.status) {
    case MessageStatus::Retired:
        text += (german
                ? QStringLiteral(": Deutsche Banken nehmen diese Version nicht mehr an (sie nehmen %1).")
                : QStringLiteral(": German banks no longer accept this version (they take %1)."))
                    .arg(takenVersion(m.kind));
        break;
    case MessageStatus::NotYetTaken:
        text += (german
                ? QStringLiteral(": Deutsche Banken nehmen diese Version noch nicht an (sie nehmen %1).")
                : QStringLiteral(": German banks do not take this version yet (they take %1)."))
                    .arg(takenVersion(m.kind));
        break;
    case MessageStatus::NotPaymentOrder:
        text += german
            ? QStringLiteral(": Die Datei ist kein Zahlungsauftrag und wird keiner Bank eingereicht.")
            : QStringLiteral(": this is not a payment order, so there is nothing to send to a bank.");
        break;
    }
    if (!m.upgradeTo.isEmpty())
        text += (german ? QStringLiteral(" Die Datei kann auf %1 aktualisiert werden.")
                        : QStringLiteral(" It can be upgraded to %1."))
                    .arg(m.upgradeTo);
    return text;
}

} // namespace

QString refusalDetail(const QString &namespaceUri)
{
    return detail(namespaceUri, false);
}

QString refusalDetailGerman(const QString &namespaceUri)
{
    return detail(namespaceUri, true);
}

QString namespaceOf(const QString &messageId)
{
    return kIsoPrefix + messageId;
}

} // namespace legacy
