#include "upgrade.h"

#include "addresssplit.h"
#include "messageversions.h"

#include "platform/textformat.h"
#include "sepa/rulespass.h"
#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace legacy {

namespace {

enum class Change
{
    Rename, // the element keeps its content under a new name
    Wrap, // the content (and the attributes) move into a new child: a value became a choice
    Drop, // no place in the new version: left out and listed
    Address, // a postal address: free lines split into structured parts where certain
    Group, // renamed, and with its siblings of the same kind moved into one new element (kGroup)
};

// Element by element, what differs between the retired versions and the ones the banks take; every
// element not named here is carried over unchanged, in order. A path is matched against the end of
// the element's path in the document. The namespace (and a schema location naming the old version)
// follows the message table's upgradeTo.
struct ElementRow
{
    const char *path;
    Change change;
    const char *to; // the new name, or the child a value moves into
};

constexpr ElementRow kElements[] = {
    // The BIC of an agent: BICIdentifier became BICFIDec2014Identifier.
    { "FinInstnId/BIC", Change::Rename, "BICFI" },
    // An organisation's BIC or BEI: BICOrBEI became AnyBIC.
    { "OrgId/BICOrBEI", Change::Rename, "AnyBIC" },
    // The execution date: a date became the choice of date (Dt) or date and time.
    { "PmtInf/ReqdExctnDt", Change::Wrap, "Dt" },
    // The type of an address: a code became the choice of code (Cd) or proprietary.
    { "PstlAdr/AdrTp", Change::Wrap, "Cd" },
    // A mandate's frequency: a code became the choice of type (Tp), period or point in time.
    { "MndtRltdInf/Frqcy", Change::Wrap, "Tp" },
    { "AmdmntInfDtls/OrgnlFrqcy", Change::Wrap, "Tp" },
    // Discount and tax of a referred document: an amount became an amount (Amt) with a type.
    { "RfrdDocAmt/DscntApldAmt", Change::Wrap, "Amt" },
    { "RfrdDocAmt/TaxAmt", Change::Wrap, "Amt" },
    // Another contact: free text became channel type and identification; no certain place.
    { "CtctDtls/Othr", Change::Drop, "" },
    // The remittance location (RemittanceLocation2 to 7): method, electronic and postal address
    // became the details group RmtLctnDtls (RemittanceLocationData1), in which the method is required.
    { "RltdRmtInf/RmtLctnMtd", Change::Group, "Mtd" },
    { "RltdRmtInf/RmtLctnElctrncAdr", Change::Group, "ElctrncAdr" },
    { "RltdRmtInf/RmtLctnPstlAdr", Change::Group, "PstlAdr" },
    // Tax (TaxInformation3 to 8): only the administration zone was renamed.
    { "Tax/AdmstnZn", Change::Rename, "AdmstnZone" },
    // An address: PostalAddress6 became PostalAddress24; free lines only are split (addresssplit.h).
    { "PstlAdr", Change::Address, "" },
    // The same for the addresses of names and addresses (NameAndAddress10 to 16): the cheque's
    // orderer and recipient, where remittance advice goes.
    { "ChqFr/Adr", Change::Address, "" },
    { "DlvrTo/Adr", Change::Address, "" },
    { "RmtLctnPstlAdr/Adr", Change::Address, "" },
    { "Adr/AdrTp", Change::Wrap, "Cd" },
};

// The element a Group row's siblings move into, and the one of them it requires.
constexpr const char *kGroup = "RmtLctnDtls";
constexpr const char *kGroupRequired = "Mtd";

// The order of PostalAddress24's elements, in which a rebuilt address is written.
constexpr const char *kAddressOrder[] = { "AdrTp", "Dept", "SubDept", "StrtNm", "BldgNb", "BldgNm", "Flr",
    "PstBx", "Room", "PstCd", "TwnNm", "TwnLctnNm", "DstrctNm", "CtrySubDvsn", "Ctry", "AdrLine" };

// The parties whose addresses are named in notes, in English and (genitive) German.
struct PartyName
{
    const char *element;
    const char *english;
    const char *german;
};

constexpr PartyName kParties[] = {
    { "Dbtr", "debtor", "Zahlungspflichtigen" },
    { "Cdtr", "creditor", "Zahlungsempfängers" },
    { "UltmtDbtr", "ultimate debtor", "abweichenden Zahlungspflichtigen" },
    { "UltmtCdtr", "ultimate creditor", "abweichenden Zahlungsempfängers" },
    { "InitgPty", "initiating party", "Einreichers" },
    { "ChqFr", "party ordering the cheque", "Scheckauftraggebers" },
    { "DlvrTo", "cheque recipient", "Scheckempfängers" },
    { "RmtLctnPstlAdr", "recipient of the remittance advice", "Avisempfängers" },
};

// The table's paths split once: the element's own name last.
struct ParsedRow
{
    QList<QByteArray> parts;
    const ElementRow *row;
};

const std::vector<ParsedRow> &parsedRows()
{
    static const std::vector<ParsedRow> rows = [] {
        std::vector<ParsedRow> r;
        for (const ElementRow &row : kElements)
            r.push_back({ QByteArray(row.path).split('/'), &row });
        return r;
    }();
    return rows;
}

const ElementRow *matchingRow(const std::vector<QByteArrayView> &names, QByteArrayView name)
{
    for (const ParsedRow &r : parsedRows()) {
        if (r.parts.last() != name || size_t(r.parts.size() - 1) > names.size())
            continue;
        bool parents = true;
        for (qsizetype i = 0; parents && i + 1 < r.parts.size(); ++i)
            parents = names[names.size() - size_t(r.parts.size() - 1) + size_t(i)] == r.parts.at(i);
        if (parents)
            return r.row;
    }
    return nullptr;
}

QString unescaped(QByteArrayView raw)
{
    QString s = QString::fromUtf8(raw);
    if (!s.contains(u'&'))
        return s;
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9A-Fa-f]+|#[0-9]+|lt|gt|amp|quot|apos);"));
    QString out;
    qsizetype last = 0;
    for (auto it = entity.globalMatch(s); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(s).mid(last, m.capturedStart() - last);
        const QString e = m.captured(1);
        if (e.startsWith(u"#x"))
            out += QChar::fromUcs4(e.mid(2).toUInt(nullptr, 16));
        else if (e.startsWith(u'#'))
            out += QChar::fromUcs4(e.mid(1).toUInt());
        else
            out += e == u"lt" ? u'<' : e == u"gt" ? u'>' : e == u"amp" ? u'&' : e == u"quot" ? u'"' : u'\'';
        last = m.capturedEnd();
    }
    out += QStringView(s).mid(last);
    return out;
}

QByteArray escaped(const QString &text)
{
    QByteArray out = text.toUtf8();
    out.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
    return out;
}

class Rewriter
{
public:
    Rewriter(const QByteArray &src, const QString &from, const QString &to, const NoteSink &notes,
        const TextSink *write = nullptr, qsizetype pieceSize = 0)
        : m_src(src)
        , m_write(write)
        , m_pieceSize(pieceSize)
        , m_from(from.toUtf8())
        , m_to(to.toUtf8())
        , m_oldNamespace(namespaceOf(from).toUtf8())
        , m_newNamespace(namespaceOf(to).toUtf8())
        , m_notes(notes)
    {
    }

    QByteArray run();

private:
    struct Frame
    {
        QByteArrayView name; // views into the source, which outlives the rewrite
        QByteArrayView prefix;
        const ElementRow *row = nullptr;
        qsizetype childStart = 0; // in the address buffer, for children of an address
        int line = 0;
        qsizetype pos = 0; // of the start tag in the source
    };
    struct AddressChild
    {
        QByteArray name;
        QString text;
        qsizetype start = 0;
        qsizetype end = 0;
    };

    qsizetype tag(qsizetype at); // returns where the tag ends
    void startTag(qsizetype at, qsizetype end);
    void endTag(qsizetype at, qsizetype end);
    void emitStart(const Frame &f, QByteArrayView raw, qsizetype nameEnd, bool selfClosing);
    void finishAddress(const Frame &f);
    void note(UpgradeNote::Kind kind, sepa::Severity severity, QString english, QString german, int line,
        QString srcText = {});
    int lineAt(qsizetype pos);
    QString sourceLine(qsizetype pos) const; // the line around pos, trimmed
    QByteArray qualified(QByteArrayView prefix, QByteArrayView name) const;
    QString partyAndTransaction(bool german) const;
    QString place(bool german) const; // the transaction, payment block or group header
    void closeGroup();
    void dropTrailingIndent();
    void flush(bool all);

    const QByteArray &m_src;
    const TextSink *m_write; // when set, the result goes there in pieces instead of being returned
    const qsizetype m_pieceSize;
    const QByteArray m_from;
    const QByteArray m_to;
    const QByteArray m_oldNamespace;
    const QByteArray m_newNamespace;
    const NoteSink &m_notes;

    QByteArray m_out;
    QByteArray m_address; // the children of the address being read
    QByteArray *m_sink = &m_out;
    std::vector<Frame> m_stack;
    std::vector<QByteArrayView> m_names; // the names of m_stack, for path matching
    std::vector<AddressChild> m_children;
    qsizetype m_addressDepth = -1; // of the PstlAdr being buffered, or -1
    qsizetype m_dropDepth = -1; // of the element being left out, or -1
    qsizetype m_groupDepth = -1; // of the elements in the open group element, or -1
    QByteArrayView m_groupPrefix;
    bool m_groupComplete = false; // the open group has its required element
    int m_groupLine = 0;
    qsizetype m_groupPos = 0; // of its first element in the source
    QByteArray m_text; // the character data of the element last started, when m_capture
    bool m_capture = false; // the element last started is one whose text is needed
    QString m_paymentId;
    QString m_endToEndId;
    bool m_inTransaction = false;
    int m_transaction = 0; // in its payment block, from 1
    int m_lineCounted = 1;
    qsizetype m_linePos = 0;
};

int Rewriter::lineAt(qsizetype pos)
{
    // Positions only grow, so the count goes on from the last one.
    const char *p = m_src.constData() + m_linePos;
    const char *end = m_src.constData() + std::max(m_linePos, pos);
    while ((p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p))))) {
        ++m_lineCounted;
        ++p;
    }
    m_linePos = std::max(m_linePos, pos);
    return m_lineCounted;
}

QString Rewriter::sourceLine(qsizetype pos) const
{
    const qsizetype start = m_src.lastIndexOf('\n', pos) + 1;
    qsizetype end = m_src.indexOf('\n', pos);
    if (end < 0)
        end = m_src.size();
    return QString::fromUtf8(m_src.constData() + start, std::min<qsizetype>(end - start, 300)).trimmed();
}

void Rewriter::note(UpgradeNote::Kind kind, sepa::Severity severity, QString english, QString german,
    int line, QString srcText)
{
    m_notes({ kind, severity, std::move(english), std::move(german), line, std::move(srcText) });
}

QByteArray Rewriter::qualified(QByteArrayView prefix, QByteArrayView name) const
{
    return prefix.isEmpty() ? name.toByteArray() : prefix.toByteArray() + ':' + name.toByteArray();
}

QString Rewriter::partyAndTransaction(bool german) const
{
    // The party is the address's parent.
    const QByteArrayView parent = m_names.size() >= 2 ? m_names[m_names.size() - 2] : m_names.back();
    QString party = QString::fromUtf8(parent);
    for (const PartyName &p : kParties) {
        if (parent == p.element)
            party = QString::fromUtf8(german ? p.german : p.english) + QStringLiteral(" (") + party + u')';
    }
    return german ? QStringLiteral("Adresse des %1 in %2").arg(party, place(true))
                  : QStringLiteral("address of the %1 in %2").arg(party, place(false));
}

QString Rewriter::place(bool german) const
{
    if (m_inTransaction)
        return (german ? QStringLiteral("Transaktion %1 von Zahlungsblock %2 (EndToEndId %3)")
                       : QStringLiteral("transaction %1 of payment block %2 (EndToEndId %3)"))
            .arg(m_transaction)
            .arg(m_paymentId, m_endToEndId);
    if (!m_paymentId.isEmpty())
        return (german ? QStringLiteral("Zahlungsblock ") : QStringLiteral("payment block ")) + m_paymentId;
    return german ? QStringLiteral("Kopfdaten") : QStringLiteral("group header");
}

void Rewriter::closeGroup()
{
    // Right after the group's last element, before the line end and indent that follow it.
    qsizetype i = m_sink->size();
    while (i > 0 && std::strchr(" \t\r\n", m_sink->at(i - 1)))
        --i;
    m_sink->insert(i, "</" + qualified(m_groupPrefix, kGroup) + '>');
    m_groupDepth = -1;
    if (m_groupComplete)
        return;
    const QString path = QString::fromLatin1(kGroup) + u'/' + QString::fromLatin1(kGroupRequired);
    note(UpgradeNote::Incomplete, sepa::Severity::Error,
        QStringLiteral("%1 in %2 is required in %3 and the source has no value for it: add it by hand.")
            .arg(path, place(false), QString::fromUtf8(m_to)),
        QStringLiteral("%1 in %2 ist in %3 Pflicht, und die Quelle hat keinen Wert dafür: bitte von Hand "
                       "ergänzen.")
            .arg(path, place(true), QString::fromUtf8(m_to)),
        m_groupLine, sourceLine(m_groupPos));
}

void Rewriter::dropTrailingIndent()
{
    // The line an element left out stood on goes with it.
    qsizetype i = m_sink->size();
    while (i > 0 && (m_sink->at(i - 1) == ' ' || m_sink->at(i - 1) == '\t'))
        --i;
    if (i > 0 && m_sink->at(i - 1) == '\n') {
        --i;
        if (i > 0 && m_sink->at(i - 1) == '\r')
            --i;
        m_sink->truncate(i);
    }
}

void Rewriter::flush(bool all)
{
    // The trailing indent and line end stay: dropTrailingIndent may still take them back.
    qsizetype keep = m_out.size();
    if (!all) {
        while (keep > 0 && (m_out.at(keep - 1) == ' ' || m_out.at(keep - 1) == '\t'))
            --keep;
        if (keep > 0 && m_out.at(keep - 1) == '\n') {
            --keep;
            if (keep > 0 && m_out.at(keep - 1) == '\r')
                --keep;
        }
    }
    (*m_write)(QByteArrayView(m_out.constData(), keep));
    m_out.remove(0, keep);
}

QByteArray Rewriter::run()
{
    const char *p = m_src.constData();
    const qsizetype size = m_src.size();
    m_out.reserve(m_write ? m_pieceSize + 4096 : size + size / 16 + 256);
    qsizetype i = 0;
    while (i < size) {
        if (m_write && m_out.size() >= m_pieceSize)
            flush(false);
        if (p[i] != '<') {
            const char *lt = static_cast<const char *>(std::memchr(p + i, '<', size_t(size - i)));
            const qsizetype end = lt ? lt - p : size;
            if (m_dropDepth < 0) {
                m_sink->append(p + i, end - i);
                if (m_capture)
                    m_text.append(p + i, end - i);
            }
            i = end;
            continue;
        }
        auto until = [&](const char *closing) {
            const qsizetype at = m_src.indexOf(closing, i);
            if (at < 0)
                throw EUpgradeError(QStringLiteral("The file ends inside markup; it cannot be upgraded."));
            return at + qsizetype(std::strlen(closing));
        };
        // A view, not a copy: the rest of the text stays where it is. Most markup is a tag.
        const QByteArrayView rest(p + i, size - i);
        const char next = i + 1 < size ? p[i + 1] : 0;
        if (next != '?' && next != '!') {
            i = tag(i);
        } else if (rest.startsWith("<?")) {
            const qsizetype end = until("?>");
            QByteArray pi = m_src.mid(i, end - i);
            // The result is UTF-8 whatever the source was stored in.
            if (pi.startsWith("<?xml ") && m_stack.empty()) {
                static const QRegularExpression encoding(QStringLiteral(R"(encoding\s*=\s*(["'])[^"']*\1)"));
                pi = QString::fromUtf8(pi).replace(encoding, QStringLiteral("encoding=\"UTF-8\"")).toUtf8();
            }
            if (m_dropDepth < 0)
                m_sink->append(pi);
            i = end;
        } else if (rest.startsWith("<!--")) {
            const qsizetype end = until("-->");
            if (m_dropDepth < 0)
                m_sink->append(p + i, end - i);
            i = end;
        } else if (rest.startsWith("<![CDATA[")) {
            const qsizetype end = until("]]>");
            if (m_dropDepth < 0) {
                m_sink->append(p + i, end - i);
                if (m_capture)
                    m_text.append(p + i + 9, end - i - 12);
            }
            i = end;
        } else {
            throw EUpgradeError(
                QStringLiteral("The file carries a document type declaration; it cannot be upgraded."));
        }
    }
    if (!m_stack.empty())
        throw EUpgradeError(QStringLiteral("The file ends before its elements do; it cannot be upgraded."));
    if (m_write) {
        flush(true);
        return {};
    }
    return std::move(m_out);
}

qsizetype Rewriter::tag(qsizetype at)
{
    // Up to the '>' outside quotes.
    const char *p = m_src.constData();
    const qsizetype size = m_src.size();
    qsizetype j = at + 1;
    char quote = 0;
    for (; j < size; ++j) {
        if (quote) {
            if (p[j] == quote)
                quote = 0;
        } else if (p[j] == '"' || p[j] == '\'') {
            quote = p[j];
        } else if (p[j] == '>') {
            break;
        }
    }
    if (j >= size)
        throw EUpgradeError(QStringLiteral("The file ends inside a tag; it cannot be upgraded."));
    if (p[at + 1] == '/')
        endTag(at, j + 1);
    else
        startTag(at, j + 1);
    return j + 1;
}

void Rewriter::startTag(qsizetype at, qsizetype end)
{
    const char *p = m_src.constData();
    const bool selfClosing = p[end - 2] == '/';
    qsizetype nameEnd = at + 1;
    while (nameEnd < end && !std::strchr(" \t\r\n/>", p[nameEnd]))
        ++nameEnd;
    const QByteArrayView qname(p + at + 1, nameEnd - at - 1);
    const qsizetype colon = qname.indexOf(':');
    Frame f;
    f.name = colon >= 0 ? qname.sliced(colon + 1) : qname;
    f.prefix = colon >= 0 ? qname.first(colon) : QByteArrayView();

    if (m_dropDepth >= 0) {
        if (!selfClosing) {
            m_stack.push_back(f);
            m_names.push_back(f.name);
        }
        return;
    }
    f.row = matchingRow(m_names, f.name);
    if (m_groupDepth == qsizetype(m_stack.size()) && !(f.row && f.row->change == Change::Group))
        closeGroup();
    if (f.name == "PmtInf") {
        m_paymentId.clear();
        m_transaction = 0;
        m_inTransaction = false;
    } else if (f.name == "CdtTrfTxInf" || f.name == "DrctDbtTxInf") {
        m_endToEndId.clear();
        m_inTransaction = true;
        ++m_transaction;
    }
    m_text.clear();
    m_capture = f.name == "EndToEndId" || f.name == "PmtInfId"
        || (m_addressDepth >= 0 && qsizetype(m_stack.size()) == m_addressDepth + 1);

    QByteArrayView raw(p + at, end - at);
    QByteArray rewritten;
    if (raw.contains(m_oldNamespace)) {
        // The namespace, and a schema location naming the old version's file.
        rewritten = raw.toByteArray();
        rewritten.replace(m_oldNamespace, m_newNamespace);
        static const QRegularExpression location(QStringLiteral(R"(schemaLocation\s*=\s*(["'])([^"']*)\1)"));
        const QString tag = QString::fromUtf8(rewritten);
        const QRegularExpressionMatch m = location.match(tag);
        if (m.hasMatch()) {
            const QString value = m.captured(2);
            const QStringList tokens
                = value.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
            const qsizetype ns = tokens.indexOf(QString::fromUtf8(m_newNamespace));
            if (ns >= 0 && ns + 1 < tokens.size() && !tokens.at(ns + 1).contains(QString::fromUtf8(m_from))) {
                note(UpgradeNote::SchemaLocation, sepa::Severity::Warning,
                    QStringLiteral("The schema location names \"%1\", kept as it is; the new version's "
                                   "schema is %2.xsd.")
                        .arg(tokens.at(ns + 1), QString::fromUtf8(m_to)),
                    QStringLiteral(
                        "Der Schemaort nennt \"%1\" und bleibt so; das Schema der neuen Version ist %2.xsd.")
                        .arg(tokens.at(ns + 1), QString::fromUtf8(m_to)),
                    lineAt(at));
            }
            QString newValue = value;
            newValue.replace(QString::fromUtf8(m_from), QString::fromUtf8(m_to));
            rewritten = (tag.left(m.capturedStart(2)) + newValue + tag.mid(m.capturedEnd(2))).toUtf8();
        }
        raw = rewritten; // the name comes before any attribute, so it stays where it was
    }
    const qsizetype nameLength = nameEnd - at;

    if (m_addressDepth >= 0 && qsizetype(m_stack.size()) == m_addressDepth + 1)
        f.childStart = m_sink->size();

    if (f.row && f.row->change == Change::Drop) {
        const int line = lineAt(at);
        const QByteArray path = m_names.empty() ? f.name.toByteArray()
                                                : m_names.back().toByteArray() + '/' + f.name.toByteArray();
        note(UpgradeNote::NotCarried, sepa::Severity::Warning,
            QStringLiteral("%1 has no place in %2 and is left out.")
                .arg(QString::fromUtf8(path), QString::fromUtf8(m_to)),
            QStringLiteral("%1 hat in %2 keinen Platz und wird weggelassen.")
                .arg(QString::fromUtf8(path), QString::fromUtf8(m_to)),
            line, sourceLine(at));
        dropTrailingIndent();
        if (!selfClosing) {
            m_dropDepth = qsizetype(m_stack.size());
            m_stack.push_back(f);
            m_names.push_back(f.name);
        }
        return;
    }

    if (f.row && f.row->change == Change::Group) {
        if (m_groupDepth < 0) {
            m_groupDepth = qsizetype(m_stack.size());
            m_groupPrefix = f.prefix;
            m_groupComplete = false;
            m_groupLine = lineAt(at);
            m_groupPos = at;
            m_sink->append('<' + qualified(f.prefix, kGroup) + '>');
        }
        m_groupComplete = m_groupComplete || qstrcmp(f.row->to, kGroupRequired) == 0;
    }
    if (f.row && (f.row->change == Change::Rename || f.row->change == Change::Group)) {
        m_sink->append('<' + qualified(f.prefix, f.row->to));
        m_sink->append(raw.sliced(nameLength));
    } else if (f.row && f.row->change == Change::Wrap) {
        m_sink->append('<' + qualified(f.prefix, f.name) + '>');
        m_sink->append('<' + qualified(f.prefix, f.row->to));
        m_sink->append(raw.sliced(nameLength));
        if (selfClosing)
            m_sink->append("</" + qualified(f.prefix, f.name) + '>');
    } else {
        m_sink->append(raw);
    }

    if (f.row && f.row->change == Change::Address && !selfClosing) {
        f.line = lineAt(at);
        f.pos = at;
        m_addressDepth = qsizetype(m_stack.size());
        m_address.clear();
        m_children.clear();
        m_sink = &m_address;
    }
    if (!selfClosing) {
        m_stack.push_back(f);
        m_names.push_back(f.name);
    } else if (m_addressDepth >= 0 && qsizetype(m_stack.size()) == m_addressDepth + 1) {
        m_children.push_back({ f.name.toByteArray(), QString(), f.childStart, m_sink->size() });
    }
}

void Rewriter::endTag(qsizetype at, qsizetype end)
{
    if (m_stack.empty())
        throw EUpgradeError(
            QStringLiteral("The file has an end tag without its start; it cannot be upgraded."));
    const Frame f = m_stack.back();
    const qsizetype depth = qsizetype(m_stack.size()) - 1;
    if (m_dropDepth >= 0) {
        if (depth == m_dropDepth)
            m_dropDepth = -1;
        m_stack.pop_back();
        m_names.pop_back();
        return;
    }
    const QByteArrayView raw(m_src.constData() + at, end - at);
    if (m_groupDepth == depth + 1)
        closeGroup(); // the parent ends
    if (f.row && (f.row->change == Change::Rename || f.row->change == Change::Group)) {
        m_sink->append("</" + qualified(f.prefix, f.row->to) + '>');
    } else if (f.row && f.row->change == Change::Wrap) {
        m_sink->append("</" + qualified(f.prefix, f.row->to) + "></" + qualified(f.prefix, f.name) + '>');
    } else if (f.row && f.row->change == Change::Address) {
        finishAddress(f);
        m_sink->append(raw);
    } else {
        m_sink->append(raw);
    }

    if (f.name == "EndToEndId" && m_inTransaction)
        m_endToEndId = unescaped(m_text).trimmed();
    else if (f.name == "PmtInfId")
        m_paymentId = unescaped(m_text).trimmed();
    else if (f.name == "CdtTrfTxInf" || f.name == "DrctDbtTxInf")
        m_inTransaction = false;

    if (m_addressDepth >= 0 && depth == m_addressDepth + 1)
        m_children.push_back({ f.name.toByteArray(), unescaped(m_text), f.childStart, m_sink->size() });
    m_stack.pop_back();
    m_names.pop_back();
}

void Rewriter::finishAddress(const Frame &f)
{
    m_sink = &m_out;
    m_addressDepth = -1;
    QString country;
    QStringList lines;
    bool structured = false;
    for (const AddressChild &c : m_children) {
        if (c.name == "AdrLine")
            lines.append(c.text);
        else if (c.name == "Ctry")
            country = c.text.trimmed();
        else if (c.name == "TwnNm")
            structured = true;
    }
    if (structured || lines.isEmpty()) {
        m_out.append(m_address);
        return;
    }
    const AddressSplit split = splitAddress(country, lines);
    const QString srcText = lines.join(QStringLiteral(" | "));
    if (!split.split) {
        note(UpgradeNote::AddressNotSplit, sepa::Severity::Error,
            QStringLiteral("The %1 is given in free lines only and could not be split (%2); banks refuse "
                           "an address without TwnNm and Ctry: add them by hand.")
                .arg(partyAndTransaction(false), split.english),
            QStringLiteral("Die %1 besteht nur aus freien Zeilen und ließ sich nicht trennen (%2); Banken "
                           "weisen eine Adresse ohne TwnNm und Ctry zurück: bitte von Hand ergänzen.")
                .arg(partyAndTransaction(true), split.german),
            f.line, srcText);
        m_out.append(m_address);
        return;
    }

    // Rebuilt in PostalAddress24's order, each element on a line of its own as the first one was.
    const QByteArray separator
        = m_children.front().start > 0 ? m_address.left(m_children.front().start) : QByteArray();
    const QByteArray tail = m_address.mid(m_children.back().end);
    auto element = [&](const char *name, const QString &text) {
        return '<' + qualified(f.prefix, name) + '>' + escaped(text) + "</" + qualified(f.prefix, name) + '>';
    };
    QList<std::pair<QByteArray, QByteArray>> parts; // name, element text
    for (const AddressChild &c : m_children) {
        if (c.name != "AdrLine" && c.name != "Ctry")
            parts.append({ c.name, m_address.mid(c.start, c.end - c.start) });
    }
    QStringList found;
    auto add = [&](const char *name, const QString &text) {
        if (text.isEmpty())
            return;
        parts.append({ QByteArray(name), element(name, text) });
        found.append(QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(name), text));
    };
    add("StrtNm", split.street);
    add("BldgNb", split.buildingNumber);
    add("PstCd", split.postCode);
    add("TwnNm", split.town);
    add("Ctry", split.country);
    for (const QString &line : split.lines)
        parts.append({ QByteArrayLiteral("AdrLine"), element("AdrLine", line) });
    std::stable_sort(parts.begin(), parts.end(), [](const auto &a, const auto &b) {
        auto rank = [](const QByteArray &n) {
            return std::find_if(std::begin(kAddressOrder), std::end(kAddressOrder), [&](const char *o) {
                return n == o;
            }) - std::begin(kAddressOrder);
        };
        return rank(a.first) < rank(b.first);
    });
    for (const auto &part : std::as_const(parts))
        m_out.append(separator + part.second);
    m_out.append(tail);

    const QString kept = split.lines.isEmpty()
        ? QString()
        : QStringLiteral("; kept as a line: ") + split.lines.join(QStringLiteral(" | "));
    const QString keptGerman = split.lines.isEmpty()
        ? QString()
        : QStringLiteral("; als Zeile behalten: ") + split.lines.join(QStringLiteral(" | "));
    note(UpgradeNote::AddressSplit, sepa::Severity::Warning,
        QStringLiteral("The %1 was split into %2%3: please check it.")
            .arg(partyAndTransaction(false), found.join(QStringLiteral(", ")), kept),
        QStringLiteral("Die %1 wurde getrennt in %2%3: bitte prüfen.")
            .arg(partyAndTransaction(true), found.join(QStringLiteral(", ")), keptGerman),
        f.line, srcText);
}

} // namespace

QString noteKindName(UpgradeNote::Kind kind)
{
    switch (kind) {
    case UpgradeNote::AddressSplit:
        return QStringLiteral("address-split");
    case UpgradeNote::AddressNotSplit:
        return QStringLiteral("address-not-split");
    case UpgradeNote::NotCarried:
        return QStringLiteral("not-carried");
    case UpgradeNote::SchemaLocation:
        return QStringLiteral("schema-location");
    case UpgradeNote::Incomplete:
        return QStringLiteral("incomplete");
    }
    return {};
}

bool UpgradeResult::passes() const
{
    return schemaValid && std::none_of(findings.begin(), findings.end(), [](const sepa::Finding &f) {
        return f.severity == sepa::Severity::Error;
    });
}

QString UpgradeResult::failure() const
{
    if (!schemaValid)
        return QStringLiteral(
            "The upgraded file would not pass the bank schema (%1 error(s)); nothing was written.")
            .arg(errors.size() + qsizetype(errors.FUnlisted));
    if (!passes())
        return QStringLiteral("The upgraded file breaks SEPA rules the bank checks; nothing was written.");
    return {};
}

QString upgradeTarget(const QString &namespaceUri)
{
    return knownMessage(namespaceUri).upgradeTo;
}

namespace {

KnownMessage upgradable(const QByteArray &utf8)
{
    const QString ns = xmlservices::firstNamespace(utf8);
    const KnownMessage m = knownMessage(ns);
    if (m.upgradeTo.isEmpty()) {
        throw EUpgradeError(m.id.isEmpty()
                ? QStringLiteral("The file is not in a retired version that can be upgraded.")
                : QStringLiteral("The file is %1, which cannot be upgraded: %2")
                      .arg(m.id, refusalDetail(ns)));
    }
    return m;
}

} // namespace

QByteArray transform(const QByteArray &utf8, std::vector<UpgradeNote> &notes, QString *from, QString *to)
{
    const KnownMessage m = upgradable(utf8);
    if (from)
        *from = m.id;
    if (to)
        *to = m.upgradeTo;
    const NoteSink keep = [&](UpgradeNote &&n) { notes.push_back(std::move(n)); };
    return Rewriter(utf8, m.id, m.upgradeTo, keep).run();
}

void transform(const QByteArray &utf8, const TextSink &write, const NoteSink &notes, QString *from,
    QString *to, qsizetype pieceSize)
{
    const KnownMessage m = upgradable(utf8);
    if (from)
        *from = m.id;
    if (to)
        *to = m.upgradeTo;
    Rewriter(utf8, m.id, m.upgradeTo, notes, &write, std::max<qsizetype>(pieceSize, 1)).run();
}

void transform(const QByteArray &utf8, const TextSink &write, std::vector<UpgradeNote> &notes, QString *from,
    QString *to, qsizetype pieceSize)
{
    transform(
        utf8, write, [&](UpgradeNote &&n) { notes.push_back(std::move(n)); }, from, to, pieceSize);
}

UpgradeResult upgrade(const QByteArray &utf8, SchemaCache &cache)
{
    UpgradeResult result;
    result.text = transform(utf8, result.notes, &result.from, &result.to);
    checkUpgraded(result.text, result, cache);
    return result;
}

void checkUpgraded(const QByteArray &text, UpgradeResult &result, SchemaCache &cache)
{
    std::unique_ptr<TXMLParseErrors> errors;
    sepa::RulesPass rules(text, TextEncoding::Utf8);
    try {
        result.schemaValid = ValidationEngine::ValidateXMLUtf8(text, errors, &cache, &rules);
    } catch (const ESEPAXMLValidateException &e) {
        throw EUpgradeError(QStringLiteral(
            "The file is not well-formed XML (line %1, position %2: %3); it cannot be upgraded.")
                                .arg(e.line())
                                .arg(e.linePos())
                                .arg(e.parserMessage().trimmed()));
    }
    result.findings = rules.finish();
    if (errors)
        result.errors = std::move(*errors);
}

QString defaultUpgradeName(const QString &source, const QString &to)
{
    const QFileInfo info(source);
    QString base = info.fileName();
    if (base.endsWith(QStringLiteral(".xml"), Qt::CaseInsensitive))
        base.chop(4);
    // "payments.pain.001.003.03.xml" becomes "payments.pain.001.001.09.xml", not both versions.
    static const QRegularExpression version(QStringLiteral(R"(\.(pain\.\d{3}\.\d{3}\.\d{2})$)"));
    base.remove(version);
    return QDir(info.path()).filePath(base + u'.' + to + QStringLiteral(".xml"));
}

} // namespace legacy
