#include "rulespass.h"

#include "businessdays.h"
#include "charset.h"
#include "decimal.h"
#include "identifiers.h"
#include "idset.h"
#include "sha256.h"

#include "validation/textposition.h"

#include <QDate>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace sepa {

namespace {

// The elements the rules look at; everything else is Other.
enum class Name : uint8_t
{
    Other,
    GrpHdr,
    PmtInf,
    CdtTrfTxInf,
    DrctDbtTxInf,
    CreDtTm,
    NbOfTxs,
    CtrlSum,
    PmtInfId,
    ReqdExctnDt,
    ReqdColltnDt,
    Dt,
    DtTm,
    InstdAmt,
    PmtId,
    EndToEndId,
    InstrId,
    MndtRltdInf,
    MndtId,
    DtOfSgntr,
    IBAN,
    BICFI,
    FinInstnId,
    DbtrAcct,
    CdtrAcct,
    DbtrAgt,
    CdtrAgt,
    CdtrSchmeId,
    OrgnlCdtrSchmeId,
    Id,
    PrvtId,
    Othr,
    MsgId,
    CdtrRefInf,
    Tp,
    CdOrPrtry,
    Cd,
    Ref,
    LEI,
    DrctDbtTx,
    Nm,
    Dbtr,
    Cdtr,
    Ustrd,
    RmtInf,
    SeqTp,
    LclInstrm,
    PmtTpInf,
    Purp,
    Any, // in a pattern of ancestors: every name
};

Name nameOf(const char *localName)
{
    static const std::unordered_map<std::string_view, Name> names = {
        { "GrpHdr", Name::GrpHdr },
        { "PmtInf", Name::PmtInf },
        { "CdtTrfTxInf", Name::CdtTrfTxInf },
        { "DrctDbtTxInf", Name::DrctDbtTxInf },
        { "CreDtTm", Name::CreDtTm },
        { "NbOfTxs", Name::NbOfTxs },
        { "CtrlSum", Name::CtrlSum },
        { "PmtInfId", Name::PmtInfId },
        { "ReqdExctnDt", Name::ReqdExctnDt },
        { "ReqdColltnDt", Name::ReqdColltnDt },
        { "Dt", Name::Dt },
        { "DtTm", Name::DtTm },
        { "InstdAmt", Name::InstdAmt },
        { "PmtId", Name::PmtId },
        { "EndToEndId", Name::EndToEndId },
        { "InstrId", Name::InstrId },
        { "MndtRltdInf", Name::MndtRltdInf },
        { "MndtId", Name::MndtId },
        { "DtOfSgntr", Name::DtOfSgntr },
        { "IBAN", Name::IBAN },
        { "BICFI", Name::BICFI },
        { "FinInstnId", Name::FinInstnId },
        { "DbtrAcct", Name::DbtrAcct },
        { "CdtrAcct", Name::CdtrAcct },
        { "DbtrAgt", Name::DbtrAgt },
        { "CdtrAgt", Name::CdtrAgt },
        { "CdtrSchmeId", Name::CdtrSchmeId },
        { "OrgnlCdtrSchmeId", Name::OrgnlCdtrSchmeId },
        { "Id", Name::Id },
        { "PrvtId", Name::PrvtId },
        { "Othr", Name::Othr },
        { "MsgId", Name::MsgId },
        { "CdtrRefInf", Name::CdtrRefInf },
        { "Tp", Name::Tp },
        { "CdOrPrtry", Name::CdOrPrtry },
        { "Cd", Name::Cd },
        { "Ref", Name::Ref },
        { "LEI", Name::LEI },
        { "DrctDbtTx", Name::DrctDbtTx },
        { "Nm", Name::Nm },
        { "Dbtr", Name::Dbtr },
        { "Cdtr", Name::Cdtr },
        { "Ustrd", Name::Ustrd },
        { "RmtInf", Name::RmtInf },
        { "SeqTp", Name::SeqTp },
        { "LclInstrm", Name::LclInstrm },
        { "PmtTpInf", Name::PmtTpInf },
        { "Purp", Name::Purp },
    };
    const auto it = names.find(std::string_view(localName));
    return it == names.end() ? Name::Other : it->second;
}

// Elements whose schema type collapses whitespace (dates, date-times, decimals, indicators): the
// schema sees their value without the blanks and line breaks around it, and so does the character set.
bool collapsesWhitespace(const char *localName)
{
    static const std::unordered_map<std::string_view, bool> names = {
        { "CreDtTm", true },
        { "CtrlSum", true },
        { "Dt", true },
        { "DtTm", true },
        { "ReqdColltnDt", true },
        { "InstdAmt", true },
        { "DtOfSgntr", true },
        { "BirthDt", true },
        { "BtchBookg", true },
        { "AmdmntInd", true },
    };
    return names.count(std::string_view(localName)) != 0;
}

bool isTransaction(Name n)
{
    return n == Name::CdtTrfTxInf || n == Name::DrctDbtTxInf;
}

// The ISO 20022 payment initiation messages, whichever version the schemas cover.
constexpr QByteArrayView kPainNamespacePrefix("urn:iso:std:iso:20022:tech:xsd:pain.");

// The lines of a duplicate group a finding lists.
constexpr qsizetype kMaxMemberLines = 20;

// Fewer bytes than this hold no transaction with its end-to-end id.
constexpr qsizetype kMinTransactionBytes = 64;

// Values longer than this are no identifier, amount or date; the schema reports them.
constexpr qsizetype kMaxValue = 1024;

// "2026-12-10" or the date of "2026-12-10T09:30:00+01:00"; none for anything else.
std::optional<QDate> dateOf(QByteArrayView value)
{
    if (value.size() < 10 || value[4] != '-' || value[7] != '-' || (value.size() > 10 && value[10] != 'T'))
        return std::nullopt;
    auto number = [&](int from, int length) {
        int n = 0;
        for (int i = from; i < from + length; ++i) {
            if (value[i] < '0' || value[i] > '9')
                return -1;
            n = n * 10 + (value[i] - '0');
        }
        return n;
    };
    const int y = number(0, 4), m = number(5, 2), d = number(8, 2);
    if (y < 0 || m < 0 || d < 0 || !QDate::isValid(y, m, d))
        return std::nullopt;
    return QDate(y, m, d);
}

std::optional<qint64> countOf(QByteArrayView value)
{
    if (value.isEmpty() || value.size() > 15)
        return std::nullopt;
    qint64 n = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

// The rule's text with %1, %2, ... replaced in one sweep, so that an argument holding "%2" stays as it
// is; "%1{one|more}" adds the form that fits the argument's number.
QString filled(const char *text, const QStringList &args)
{
    const QString t = QString::fromUtf8(text);
    QString out;
    out.reserve(t.size() + 64);
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c == u'%' && i + 1 < t.size() && t.at(i + 1).isDigit()) {
            const qsizetype index = t.at(i + 1).digitValue() - 1;
            const QString arg = index >= 0 && index < args.size() ? args.at(index) : QString();
            out += arg;
            ++i;
            const qsizetype bar = i + 1 < t.size() && t.at(i + 1) == u'{' ? t.indexOf(u'|', i + 2) : -1;
            const qsizetype close = bar >= 0 ? t.indexOf(u'}', bar + 1) : -1;
            if (close >= 0) {
                out += arg == u"1" ? t.mid(i + 2, bar - i - 2) : t.mid(bar + 1, close - bar - 1);
                i = close;
            }
        } else {
            out += c;
        }
    }
    return out;
}

// The encoding an XML declaration at the start of text names; empty when there is none.
QByteArray declaredEncoding(const QByteArray &text)
{
    if (!text.startsWith("<?xml"))
        return {};
    const qsizetype end = text.indexOf("?>");
    if (end < 0 || end > 512)
        return {};
    const QByteArray declaration = text.first(end);
    qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return {};
    at += 8;
    while (at < end
        && (declaration[at] == ' ' || declaration[at] == '=' || declaration[at] == '\t'
            || declaration[at] == '\r' || declaration[at] == '\n'))
        ++at;
    if (at >= end || (declaration[at] != '"' && declaration[at] != '\''))
        return {};
    const qsizetype close = declaration.indexOf(declaration[at], at + 1);
    return close < 0 ? QByteArray() : declaration.sliced(at + 1, close - at - 1);
}

QString text(const std::string &value)
{
    return QString::fromUtf8(value.data(), qsizetype(value.size()));
}

QString text(QByteArrayView value)
{
    return QString::fromUtf8(value);
}

// Some territories bank with another country's IBAN but have BICs of their own.
bool sameBankingCountry(QByteArrayView ibanCountry, QByteArrayView bicCountry)
{
    if (ibanCountry == bicCountry)
        return true;
    static const char *const territories[][2] = {
        { "FR", "GF" },
        { "FR", "GP" },
        { "FR", "MQ" },
        { "FR", "RE" },
        { "FR", "YT" },
        { "FR", "PM" },
        { "FR", "BL" },
        { "FR", "MF" },
        { "FR", "NC" },
        { "FR", "PF" },
        { "FR", "WF" },
        { "GB", "JE" },
        { "GB", "GG" },
        { "GB", "IM" },
        { "FI", "AX" },
    };
    for (const auto &t : territories) {
        if (ibanCountry == t[0] && bicCountry == t[1])
            return true;
    }
    return false;
}

// The value of attribute name in the start tag at offset of text; empty when it has none. Enough for
// the plain values it is used for (a currency code): entities in it are not resolved.
QByteArrayView attributeOf(const QByteArray &text, qsizetype offset, QByteArrayView name)
{
    const qsizetype end = text.indexOf('>', offset);
    if (offset < 0 || end < 0)
        return {};
    const QByteArrayView tag = QByteArrayView(text).sliced(offset, end - offset);
    for (qsizetype at = tag.indexOf(name); at > 0; at = tag.indexOf(name, at + 1)) {
        const char before = tag[at - 1];
        if (before != ' ' && before != '\t' && before != '\n' && before != '\r')
            continue;
        qsizetype i = at + name.size();
        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\n' || tag[i] == '\r'))
            ++i;
        if (i >= tag.size() || tag[i] != '=')
            continue;
        ++i;
        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\n' || tag[i] == '\r'))
            ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\''))
            return {};
        const qsizetype close = tag.indexOf(tag[i], i + 1);
        return close < 0 ? QByteArrayView() : tag.sliced(i + 1, close - i - 1).trimmed();
    }
    return {};
}

struct RawFinding
{
    RuleId rule;
    qsizetype offset;
    QStringList args;
    qsizetype related = -1; // its line becomes the last argument
    std::vector<qsizetype> members; // their lines, joined by ", ", become the last argument
};

struct Frame
{
    Name name = Name::Other;
    const char *localName = nullptr; // the parser's, valid during the pass
    qsizetype offset = 0;
    bool hasChild = false;
    bool collecting = false;
    int8_t valueRule = -1; // what takes the value: its index in the table of values the rules read
    bool cutCharacter = false; // the last piece of text ended inside a two-byte character
    bool collapse = false; // the schema collapses the whitespace of its value
    qsizetype badOffset = -1; // of the first character outside the set, within the text seen
    char32_t badCharacter = 0;
    qsizetype textLength = 0;
};

struct Account
{
    std::string iban;
    qsizetype ibanOffset = -1;
    std::string bic;
    qsizetype bicOffset = -1;
};

// A payment information block or a transaction: where the accounts and agents of debtor and
// creditor meet.
struct AccountScope
{
    Account party[2]; // debtor, creditor
};

struct Totals
{
    qint64 count = 0;
    Decimal sum;
    bool sumKnown = true;
    std::optional<qint64> statedCount;
    qsizetype countOffset = -1;
    QByteArray countText;
    std::optional<Decimal> statedSum;
    qsizetype sumOffset = -1;
    QByteArray sumText;
};

} // namespace

struct RulesPass::Private
{
    const QByteArray &document;
    TextEncoding encoding = TextEncoding::Utf8;
    bool ignored = false; // not a payment message: the rules stay silent
    bool complete = false; // the root element ended
    // Errors and warnings apart, each up to the limit, so that warnings never push out an error.
    std::vector<RawFinding> errors;
    std::vector<RawFinding> warnings;
    qsizetype errorCount = 0;
    qsizetype warningCount = 0;
    qsizetype unlisted = 0;

    QDateTime now;
    const History *history = nullptr;
    QDateTime ignoreSameSince;
    QByteArray messageId;
    qsizetype messageIdOffset = -1;
    qsizetype firstPaymentOffset = -1;
    Sha256 payments;
    QByteArray paymentsHash; // hex, once the pass is over
    bool creditorReferenceScored = false; // the CdtrRefInf's type is SCOR

    std::vector<Frame> stack;
    std::string valueText; // of the element being collected
    // Names by the parser's dictionary pointer: a payment file has a few dozen, looked up millions of times.
    struct NameSlot
    {
        const char *localName = nullptr;
        Name name = Name::Other;
        bool collapse = false;
    };
    std::array<NameSlot, 256> names {}; // indexed by the pointer's top hash byte
    QByteArray documentNamespace;
    const char *documentNamespacePointer = nullptr;

    // Open scopes; the vector keeps its strings' buffers for the next transaction.
    std::vector<AccountScope> scopes;
    size_t openScopes = 0;
    AccountScope *scope() { return openScopes ? &scopes[openScopes - 1] : nullptr; }
    Totals group;
    Totals payment;
    QByteArray paymentId;
    bool inTransaction = false;
    bool transactionHasAmount = false;
    std::optional<QDate> created; // none when missing or itself wrong
    QByteArray createdText;
    std::optional<QDate> collection; // none when missing or itself wrong
    QByteArray collectionText;
    // Identifiers seen, with the offset of their first element.
    IdSet paymentIds;
    IdSet endToEndIds;
    IdSet instructionIds;
    IdSet mandates; // within the current payment information block
    std::string mandateId; // of the current transaction
    Payments collected;

    explicit Private(const QByteArray &utf8)
        : document(utf8)
    {
    }

    void add(RuleId id, qsizetype offset, QStringList args, qsizetype related = -1,
        std::vector<qsizetype> members = {})
    {
        const bool error = rule(id).severity == Severity::Error;
        ++(error ? errorCount : warningCount);
        std::vector<RawFinding> &kept = error ? errors : warnings;
        if (qsizetype(kept.size()) < kMaxFindings)
            kept.push_back({ id, offset, std::move(args), related, std::move(members) });
    }

    // A value of the payments, for the history's hash: tag and value, each ended so none runs into the next.
    void hashPayment(char tag, QByteArrayView value)
    {
        payments.addData(QByteArrayView(&tag, 1));
        payments.addData(value);
        payments.addData(QByteArrayView("\0", 1));
    }
    const QByteArray &paymentsDigest()
    {
        if (paymentsHash.isNull())
            paymentsHash = payments.result().toHex();
        return paymentsHash;
    }

    Name parentName(size_t up) const
    {
        // up = 1: the parent of the element on top of the stack.
        return stack.size() > up ? stack[stack.size() - 1 - up].name : Name::Other;
    }

    struct ValueRule;
    static const ValueRule kValueRules[];
    // Per name, the rules of kValueRules that may read it, one bit each, so that an element tries
    // only its own.
    std::array<uint32_t, size_t(Name::Any) + 1> rulesOfName {};
    // The index in kValueRules of what reads the value of element n on top of the stack; -1 for none.
    int valueRule(Name n) const;
    Totals &statedTotals();
    void takeMessageId(const Frame &f, QByteArrayView v);
    void takeStatedCount(const Frame &f, QByteArrayView v);
    void takeStatedSum(const Frame &f, QByteArrayView v);
    void takePaymentInformationId(const Frame &f, QByteArrayView v);
    void takeCollectionDate(const Frame &f, QByteArrayView v);
    void takeExecutionDate(const Frame &f, QByteArrayView v);
    void takeAmount(const Frame &f, QByteArrayView v);
    void takeEndToEndId(const Frame &f, QByteArrayView v);
    void takeInstructionId(const Frame &f, QByteArrayView v);
    void takeMandateId(const Frame &f, QByteArrayView v);
    void takeMandateSigned(const Frame &f, QByteArrayView v);
    void takeIban(const Frame &f, QByteArrayView v);
    void takeReferenceType(const Frame &f, QByteArrayView v);
    void takeReference(const Frame &f, QByteArrayView v);
    void takeLei(const Frame &f, QByteArrayView v);
    void takeBic(const Frame &f, QByteArrayView v);
    void takeCreditorId(const Frame &f, QByteArrayView v);
    void takePartyName(const Frame &f, QByteArrayView v);
    void takeRemittance(const Frame &f, QByteArrayView v);
    void takeSequenceType(const Frame &f, QByteArrayView v);
    void takeLocalInstrument(const Frame &f, QByteArrayView v);
    void takePurpose(const Frame &f, QByteArrayView v);
    // Where an account, agent or name of a party (parentName(up) is DbtrAcct, CdtrAgt, Cdtr, ...)
    // goes in the overview: the block's own party, the transaction's counterparty, or neither.
    enum class Party
    {
        None,
        Block,
        Counterparty
    };
    Party partyOf(size_t up) const;
    Payments::Totals stated(const Totals &t) const;
    void checkDuplicatePayments();
    void startScope(Name n);
    void endScope(const Frame &f);
    void checkTotals(const Totals &t, RuleId countRule, RuleId sumRule, const QString &block);
    void unique(IdSet &seen, RuleId id, QByteArrayView v, qsizetype offset);
    void checkCharacters(Frame &f, const char *data, int length);
    void takeCreation(const Frame &f, QByteArrayView v);
    void checkHistory();
};

// What the rules read of one element's value. The element is known by its name and those of its
// ancestors (parent first; Any matches every name, and the pattern may stop short of the root).
struct RulesPass::Private::ValueRule
{
    Name name;
    std::array<Name, 4> ancestors;
    void (Private::*take)(const Frame &f, QByteArrayView v);
};

namespace {
constexpr Name Any = Name::Any;
} // namespace

const RulesPass::Private::ValueRule RulesPass::Private::kValueRules[] = {
    { Name::CreDtTm, { Name::GrpHdr, Any, Any, Any }, &Private::takeCreation },
    { Name::MsgId, { Name::GrpHdr, Any, Any, Any }, &Private::takeMessageId },
    { Name::NbOfTxs, { Name::GrpHdr, Any, Any, Any }, &Private::takeStatedCount },
    { Name::NbOfTxs, { Name::PmtInf, Any, Any, Any }, &Private::takeStatedCount },
    { Name::CtrlSum, { Name::GrpHdr, Any, Any, Any }, &Private::takeStatedSum },
    { Name::CtrlSum, { Name::PmtInf, Any, Any, Any }, &Private::takeStatedSum },
    { Name::PmtInfId, { Name::PmtInf, Any, Any, Any }, &Private::takePaymentInformationId },
    { Name::Dt, { Name::ReqdExctnDt, Any, Any, Any }, &Private::takeExecutionDate },
    { Name::DtTm, { Name::ReqdExctnDt, Any, Any, Any }, &Private::takeExecutionDate },
    { Name::ReqdColltnDt, { Name::PmtInf, Any, Any, Any }, &Private::takeCollectionDate },
    { Name::InstdAmt, { Any, Any, Any, Any }, &Private::takeAmount },
    { Name::EndToEndId, { Name::PmtId, Any, Any, Any }, &Private::takeEndToEndId },
    { Name::InstrId, { Name::PmtId, Any, Any, Any }, &Private::takeInstructionId },
    { Name::MndtId, { Name::MndtRltdInf, Any, Any, Any }, &Private::takeMandateId },
    { Name::DtOfSgntr, { Name::MndtRltdInf, Any, Any, Any }, &Private::takeMandateSigned },
    { Name::IBAN, { Any, Any, Any, Any }, &Private::takeIban },
    { Name::Cd, { Name::CdOrPrtry, Name::Tp, Name::CdtrRefInf, Any }, &Private::takeReferenceType },
    { Name::Ref, { Name::CdtrRefInf, Any, Any, Any }, &Private::takeReference },
    { Name::LEI, { Any, Any, Any, Any }, &Private::takeLei },
    { Name::BICFI, { Any, Any, Any, Any }, &Private::takeBic },
    { Name::Id, { Name::Othr, Name::PrvtId, Name::Id, Name::CdtrSchmeId }, &Private::takeCreditorId },
    { Name::Id, { Name::Othr, Name::PrvtId, Name::Id, Name::OrgnlCdtrSchmeId }, &Private::takeCreditorId },
    // Read only for the overview of the payments.
    { Name::Nm, { Name::Dbtr, Any, Any, Any }, &Private::takePartyName },
    { Name::Nm, { Name::Cdtr, Any, Any, Any }, &Private::takePartyName },
    { Name::Ustrd, { Name::RmtInf, Any, Any, Any }, &Private::takeRemittance },
    { Name::SeqTp, { Name::PmtTpInf, Name::PmtInf, Any, Any }, &Private::takeSequenceType },
    { Name::Cd, { Name::LclInstrm, Name::PmtTpInf, Name::PmtInf, Any }, &Private::takeLocalInstrument },
    { Name::Cd, { Name::Purp, Any, Any, Any }, &Private::takePurpose },
};

int RulesPass::Private::valueRule(Name n) const
{
    static_assert(std::size(kValueRules) <= 32, "rulesOfName holds a bit per rule");
    for (uint32_t bits = rulesOfName[size_t(n)]; bits != 0; bits &= bits - 1) {
        const int i = std::countr_zero(bits);
        const ValueRule &r = kValueRules[i];
        bool matches = true;
        for (size_t up = 0; up < r.ancestors.size() && matches; ++up)
            matches = r.ancestors[up] == Any || r.ancestors[up] == parentName(up + 1);
        if (matches)
            return i;
    }
    return -1;
}

void RulesPass::Private::unique(IdSet &seen, RuleId id, QByteArrayView v, qsizetype offset)
{
    const qsizetype first = seen.insert(v, offset);
    if (first >= 0)
        add(id, offset, { text(v) }, first);
}

void RulesPass::Private::takeMessageId(const Frame &f, QByteArrayView v)
{
    messageId = v.toByteArray();
    messageIdOffset = f.offset;
}

Totals &RulesPass::Private::statedTotals()
{
    return parentName(1) == Name::GrpHdr ? group : payment;
}

void RulesPass::Private::takeStatedCount(const Frame &f, QByteArrayView v)
{
    Totals &t = statedTotals();
    t.statedCount = countOf(v);
    t.countOffset = f.offset;
    t.countText = v.toByteArray();
    // Every transaction has an end-to-end id, and a direct debit's a mandate: the stated counts size
    // their tables once, as far as the text could hold that many transactions.
    if (!t.statedCount)
        return;
    const size_t expected = size_t(std::min<qint64>(*t.statedCount, document.size() / kMinTransactionBytes));
    if (&t == &group)
        endToEndIds.reserve(expected);
    else if (collected.directDebit())
        mandates.reserve(expected);
}

void RulesPass::Private::takeStatedSum(const Frame &f, QByteArrayView v)
{
    Totals &t = statedTotals();
    t.statedSum = Decimal::parse(v);
    t.sumOffset = f.offset;
    t.sumText = v.toByteArray();
}

void RulesPass::Private::takePaymentInformationId(const Frame &f, QByteArrayView v)
{
    paymentId = v.toByteArray();
    if (Payments::Block *b = collected.currentBlock())
        b->id = paymentId;
    unique(paymentIds, RuleId::DuplicatePaymentInformationId, v, f.offset);
}

void RulesPass::Private::takeCollectionDate(const Frame &f, QByteArrayView v)
{
    hashPayment('d', v);
    const std::optional<QDate> date = dateOf(v);
    const QString dateText = text(v.first(std::min<qsizetype>(v.size(), 10)));
    collection = date;
    collectionText = v.toByteArray();
    if (Payments::Block *b = collected.currentBlock())
        b->date = collectionText;
    if (!date)
        return;
    if (created) {
        const qint64 ahead = created->daysTo(*date);
        if (ahead < 0) {
            add(RuleId::CollectionDateBeforeCreation, f.offset, { dateText, text(createdText) });
            // A date that is itself wrong judges nothing else: no mandate, no business day.
            collection.reset();
            return;
        }
        if (ahead > kCollectionDaysAhead)
            add(RuleId::CollectionDateFarAhead, f.offset,
                { dateText, text(createdText), QString::number(kCollectionDaysAhead) });
    }
    const ClosingDay closed = targetClosingDay(*date);
    if (closed != ClosingDay::None)
        add(RuleId::CollectionDateNotBusinessDay, f.offset,
            { dateText, QString::fromUtf8(closingDayGerman(closed)),
                QString::fromUtf8(closingDayEnglish(closed)) });
}

void RulesPass::Private::takeExecutionDate(const Frame &f, QByteArrayView v)
{
    hashPayment('d', v);
    if (Payments::Block *b = collected.currentBlock(); b && !inTransaction)
        b->date = v.toByteArray();
    const std::optional<QDate> date = dateOf(v);
    if (!date || !created)
        return;
    const QString dateText = text(v.first(std::min<qsizetype>(v.size(), 10)));
    const qint64 ahead = created->daysTo(*date);
    if (ahead < 0) {
        // 1999-01-01 is the German banks' agreed "execute as soon as possible".
        if (*date != QDate(1999, 1, 1))
            add(RuleId::ExecutionDateBeforeCreation, f.offset, { dateText, text(createdText) });
    } else if (ahead > kExecutionDaysAhead) {
        add(RuleId::ExecutionDateFarAhead, f.offset,
            { dateText, text(createdText), QString::number(kExecutionDaysAhead) });
    }
}

void RulesPass::Private::takeAmount(const Frame &f, QByteArrayView v)
{
    if (!inTransaction || transactionHasAmount)
        return;
    transactionHasAmount = true;
    const std::optional<Decimal> amount = Decimal::parse(v);
    collected.setAmount(amount ? amount->cents() : std::nullopt, attributeOf(document, f.offset, "Ccy"));
    hashPayment('a', amount ? QByteArrayView(amount->toString()) : v);
    // An amount the schema refuses (three decimals, too large) is reported there; it would only
    // make the control sums look wrong as well.
    if (amount && amount->isTransactionAmount()) {
        payment.sum += *amount;
        group.sum += *amount;
    } else {
        payment.sumKnown = group.sumKnown = false;
    }
}

void RulesPass::Private::takeEndToEndId(const Frame &f, QByteArrayView v)
{
    if (!inTransaction)
        return;
    endToEndIds.prefetch(v); // a table of the file's size: its slot is read at random below
    hashPayment('e', v);
    collected.setField(Payments::Field::EndToEndId, v);
    if (v != "NOTPROVIDED")
        unique(endToEndIds, RuleId::DuplicateEndToEndId, v, f.offset);
}

void RulesPass::Private::takeInstructionId(const Frame &f, QByteArrayView v)
{
    if (inTransaction)
        unique(instructionIds, RuleId::DuplicateInstructionId, v, f.offset);
}

void RulesPass::Private::takeMandateId(const Frame &f, QByteArrayView v)
{
    if (!inTransaction)
        return;
    mandateId.assign(v.data(), size_t(v.size()));
    collected.setField(Payments::Field::MandateId, v);
    hashPayment('m', v);
    unique(mandates, RuleId::DuplicateMandateId, v, f.offset);
}

void RulesPass::Private::takeMandateSigned(const Frame &f, QByteArrayView v)
{
    if (inTransaction)
        collected.setField(Payments::Field::MandateDate, v);
    const std::optional<QDate> signedOn = dateOf(v);
    if (!signedOn)
        return;
    // After the collection date is the worse of the two; both mean the date cannot be right.
    if (collection && *signedOn > *collection)
        add(RuleId::MandateSignedAfterCollection, f.offset,
            { text(mandateId), text(v), text(collectionText) });
    else if (created && *signedOn > *created)
        add(RuleId::MandateSignedAfterCreation, f.offset, { text(mandateId), text(v), text(createdText) });
}

void RulesPass::Private::takeIban(const Frame &f, QByteArrayView v)
{
    hashPayment('i', v);
    if (parentName(1) == Name::Id) {
        const Party party = partyOf(2);
        if (party == Party::Counterparty)
            collected.setField(Payments::Field::Iban, v);
        else if (Payments::Block *b = collected.currentBlock(); b && party == Party::Block)
            b->iban = v.toByteArray();
    }
    int remainder = 0;
    switch (checkIban(v, &remainder)) {
    case IbanProblem::None:
        break;
    case IbanProblem::NotAnIban:
        return; // the schema's pattern reports it
    case IbanProblem::UnknownCountry:
        add(RuleId::IbanCountry, f.offset, { text(v), text(v.first(2)) });
        return;
    case IbanProblem::WrongLength:
        add(RuleId::IbanLength, f.offset,
            { text(v), QString::number(v.size()), text(v.first(2)),
                QString::number(ibanLength(v.first(2)).value_or(0)) });
        return;
    case IbanProblem::WrongCheckDigits:
        add(RuleId::IbanCheckDigits, f.offset, { text(v), QString::number(remainder) });
        return;
    case IbanProblem::LowerCase:
        add(RuleId::IbanLowerCase, f.offset, { text(v) });
        return;
    }
    if (!isSepaCountry(v.first(2)))
        add(RuleId::IbanOutsideSepa, f.offset, { text(v), text(v.first(2)) });
    const Name account = parentName(2);
    if (parentName(1) == Name::Id && (account == Name::DbtrAcct || account == Name::CdtrAcct)
        && openScopes > 0 && (parentName(3) == Name::PmtInf || isTransaction(parentName(3)))) {
        Account &a = scope()->party[account == Name::CdtrAcct];
        a.iban.assign(v.data(), size_t(v.size()));
        a.ibanOffset = f.offset;
    }
}

void RulesPass::Private::takeReferenceType(const Frame &, QByteArrayView v)
{
    creditorReferenceScored = v == "SCOR";
}

void RulesPass::Private::takeReference(const Frame &f, QByteArrayView v)
{
    if (inTransaction)
        collected.setField(Payments::Field::Reference, v);
    QByteArray expected;
    if (creditorReferenceScored && creditorReferenceDigitsWrong(v, &expected))
        add(RuleId::CreditorReferenceCheckDigits, f.offset, { text(v), text(expected) });
}

void RulesPass::Private::takeLei(const Frame &f, QByteArrayView v)
{
    QByteArray expected;
    if (leiDigitsWrong(v, &expected))
        add(RuleId::LeiCheckDigits, f.offset, { text(v), text(expected) });
}

void RulesPass::Private::takeBic(const Frame &f, QByteArrayView v)
{
    if (parentName(1) == Name::FinInstnId) {
        const Party party = partyOf(2);
        if (party == Party::Counterparty)
            collected.setField(Payments::Field::Bic, v);
        else if (Payments::Block *b = collected.currentBlock(); b && party == Party::Block)
            b->bic = v.toByteArray();
    }
    if (!isWellFormedBic(v)) {
        add(RuleId::BicFormat, f.offset, { text(v) });
        return;
    }
    const Name agent = parentName(2);
    if (parentName(1) == Name::FinInstnId && (agent == Name::DbtrAgt || agent == Name::CdtrAgt)
        && openScopes > 0 && (parentName(3) == Name::PmtInf || isTransaction(parentName(3)))) {
        Account &a = scope()->party[agent == Name::CdtrAgt];
        a.bic.assign(v.data(), size_t(v.size()));
        a.bicOffset = f.offset;
    }
}

void RulesPass::Private::takeCreditorId(const Frame &f, QByteArrayView v)
{
    QByteArray expected;
    switch (checkCreditorId(v, &expected)) {
    case CreditorIdProblem::None:
        break;
    case CreditorIdProblem::Malformed:
        add(RuleId::CreditorIdFormat, f.offset, { text(v) });
        break;
    case CreditorIdProblem::WrongLength:
        add(RuleId::CreditorIdLength, f.offset, { text(v), QString::number(v.size()) });
        break;
    case CreditorIdProblem::WrongCheckDigits:
        add(RuleId::CreditorIdCheckDigits, f.offset, { text(v), text(expected) });
        break;
    }
}

RulesPass::Private::Party RulesPass::Private::partyOf(size_t up) const
{
    const Name role = parentName(up);
    const Name scopeName = parentName(up + 1);
    const bool debtor = role == Name::DbtrAcct || role == Name::DbtrAgt || role == Name::Dbtr;
    const bool creditor = role == Name::CdtrAcct || role == Name::CdtrAgt || role == Name::Cdtr;
    if (!debtor && !creditor)
        return Party::None;
    // A transfer's block pays from the debtor's account; a direct debit's collects to the creditor's.
    const bool ownSide = collected.directDebit() ? creditor : debtor;
    if (scopeName == Name::PmtInf && !inTransaction)
        return ownSide ? Party::Block : Party::None;
    if (isTransaction(scopeName) && inTransaction)
        return ownSide ? Party::None : Party::Counterparty;
    return Party::None;
}

void RulesPass::Private::takePartyName(const Frame &, QByteArrayView v)
{
    switch (partyOf(1)) {
    case Party::Block:
        if (Payments::Block *b = collected.currentBlock())
            b->name = v.toByteArray();
        break;
    case Party::Counterparty:
        collected.setField(Payments::Field::Name, v);
        break;
    case Party::None:
        break;
    }
}

void RulesPass::Private::takeRemittance(const Frame &, QByteArrayView v)
{
    if (inTransaction)
        collected.addRemittanceLine(v);
}

void RulesPass::Private::takeSequenceType(const Frame &, QByteArrayView v)
{
    if (Payments::Block *b = collected.currentBlock())
        b->sequenceType = v.toByteArray();
}

void RulesPass::Private::takeLocalInstrument(const Frame &, QByteArrayView v)
{
    if (Payments::Block *b = collected.currentBlock())
        b->localInstrument = v.toByteArray();
}

void RulesPass::Private::takePurpose(const Frame &, QByteArrayView v)
{
    if (inTransaction)
        collected.setField(Payments::Field::Purpose, v);
}

Payments::Totals RulesPass::Private::stated(const Totals &t) const
{
    Payments::Totals p;
    p.statedCount = t.statedCount;
    p.statedCountText = t.countText;
    p.statedSum = t.statedSum;
    p.statedSumText = t.sumText;
    return p;
}

void RulesPass::Private::takeCreation(const Frame &f, QByteArrayView v)
{
    const qsizetype offset = f.offset;
    created = dateOf(v);
    createdText = v.first(std::min<qsizetype>(v.size(), 10)).toByteArray();
    if (!created || !now.isValid())
        return;
    // Without a zone the time is this computer's, as the file's maker most likely meant.
    const QDateTime at = QDateTime::fromString(text(v), Qt::ISODateWithMs);
    if (at.isValid() && at > now.addSecs(kCreationSecondsAhead)) {
        add(RuleId::CreationDateFuture, offset, { text(v) });
        created.reset(); // a date that is itself wrong judges no other date
        return;
    }
    if (created->daysTo(now.date()) > kCreationDaysOld)
        add(RuleId::CreationDateOld, offset, { text(createdText), QString::number(kCreationDaysOld) });
}

void RulesPass::Private::checkHistory()
{
    if (!history || !complete || messageId.isEmpty())
        return;
    const QByteArray hash = paymentsDigest();
    auto when
        = [](const QDateTime &t) { return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")); };
    const History::Entry *sameId = history->findMessageId(messageId, hash, ignoreSameSince);
    if (sameId)
        add(RuleId::MessageIdCheckedBefore, messageIdOffset, { text(messageId), when(sameId->checked) });
    // The same payments under the same MsgId are the case above already.
    const History::Entry *samePayments = history->findPayments(messageId, hash, ignoreSameSince);
    if (samePayments && samePayments->messageId != messageId && firstPaymentOffset >= 0)
        add(RuleId::PaymentsCheckedBefore, firstPaymentOffset,
            { when(samePayments->checked), text(samePayments->messageId) });
}

namespace {

// What counts as the same for the duplicate-payment rule: IBANs and creditor references without
// blanks and in capitals; remittance texts with their runs of blanks made one, trimmed, and ASCII
// letters in capitals, so that "Rechnung  4711 " and "RECHNUNG 4711" are the same text.
void appendNormalised(std::string &key, QByteArrayView value, bool dropBlanks)
{
    // Blanks only ever shrink, so the value and its end mark are room enough; written through a
    // pointer, as this runs over every transaction's texts.
    const size_t start = key.size();
    key.resize(start + size_t(value.size()) + 1);
    char *const begin = key.data();
    char *out = begin + start;
    bool blank = false;
    for (const char c : value) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            blank = true;
            continue;
        }
        if (blank && !dropBlanks && out != begin && out[-1] != '\x01')
            *out++ = ' ';
        blank = false;
        *out++ = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    *out++ = '\x01';
    key.resize(size_t(out - begin));
}

// Groups of indexes whose keys are equal, each in document order; keyOf returns false for an index that
// takes no part. Sorting by hash keeps it to one key string at a time.
template <typename KeyOf> std::vector<std::vector<uint32_t>> equalGroups(size_t count, KeyOf keyOf)
{
    std::vector<std::pair<size_t, uint32_t>> hashes;
    hashes.reserve(count);
    std::string key;
    for (size_t i = 0; i < count; ++i) {
        key.clear();
        if (keyOf(i, key))
            hashes.emplace_back(std::hash<std::string_view>()(key), uint32_t(i));
    }
    std::sort(hashes.begin(), hashes.end());
    std::vector<std::vector<uint32_t>> groups;
    std::string other;
    for (size_t run = 0; run < hashes.size();) {
        size_t end = run + 1;
        while (end < hashes.size() && hashes[end].first == hashes[run].first)
            ++end;
        if (end == run + 1) { // a key of its own, as nearly every one is
            run = end;
            continue;
        }
        // Equal hashes: split by the keys themselves, which almost always agree.
        std::vector<bool> taken(end - run, false);
        for (size_t a = run; a < end; ++a) {
            if (taken[a - run])
                continue;
            key.clear();
            keyOf(hashes[a].second, key);
            std::vector<uint32_t> group { hashes[a].second };
            for (size_t b = a + 1; b < end; ++b) {
                if (taken[b - run])
                    continue;
                other.clear();
                keyOf(hashes[b].second, other);
                if (other == key) {
                    group.push_back(hashes[b].second);
                    taken[b - run] = true;
                }
            }
            if (group.size() > 1)
                groups.push_back(std::move(group));
        }
        run = end;
    }
    return groups;
}

} // namespace

void RulesPass::Private::checkDuplicatePayments()
{
    using Field = Payments::Field;
    const std::vector<Payments::Transaction> &all = collected.transactions();
    auto amountOf = [&](const Payments::Transaction &t) {
        return text(Payments::amountText(t.cents) + ' ' + collected.currency(t));
    };

    // The same account, amount and remittance (or structured reference): paid twice, most likely.
    const auto same = equalGroups(all.size(), [&](size_t i, std::string &key) {
        const Payments::Transaction &t = all[i];
        const std::array<QByteArrayView, Payments::kFields> fields = collected.fields(t);
        const QByteArrayView iban = fields[size_t(Field::Iban)];
        const QByteArrayView reference = fields[size_t(Field::Reference)];
        const QByteArrayView remittance = fields[size_t(Field::Remittance)];
        if (t.cents < 0 || iban.isEmpty()
            || (reference.trimmed().isEmpty() && remittance.trimmed().isEmpty()))
            return false;
        appendNormalised(key, iban, true);
        key.append(reinterpret_cast<const char *>(&t.cents), sizeof t.cents);
        const QByteArray currency = collected.currency(t); // shared, not copied
        key.append(currency.constData(), size_t(currency.size()));
        key += '\x01';
        if (!reference.trimmed().isEmpty()) {
            key += 'R';
            appendNormalised(key, reference, true);
        } else {
            key += 'U';
            appendNormalised(key, remittance, false);
        }
        return true;
    });
    for (const std::vector<uint32_t> &group : same) {
        const Payments::Transaction &t = all[group.front()];
        const QByteArrayView reference = collected.field(t, Field::Reference);
        const QString what = reference.trimmed().isEmpty()
            ? QStringLiteral("\"%1\"").arg(text(collected.field(t, Field::Remittance).trimmed()))
            : text(reference.trimmed());
        std::vector<qsizetype> members;
        for (const uint32_t i : group)
            members.push_back(collected.offsetOf(i));
        const qsizetype at = members[1]; // the first repetition, as the other duplicate rules report
        add(RuleId::PaymentDuplicate, at,
            { amountOf(t), text(collected.field(t, Field::Iban)), what, QString::number(group.size()) }, -1,
            std::move(members));
    }

    // The same end-to-end id to the same account with different amounts: a corrected payment beside
    // the one it corrects. The same id to different accounts is DUPLICATE-ENDTOENDID's alone.
    const auto sameId = equalGroups(all.size(), [&](size_t i, std::string &key) {
        const QByteArrayView id = collected.field(all[i], Field::EndToEndId);
        const QByteArrayView iban = collected.field(all[i], Field::Iban);
        if (id.isEmpty() || id == "NOTPROVIDED" || iban.isEmpty())
            return false;
        appendNormalised(key, iban, true);
        key.append(id.data(), size_t(id.size()));
        return true;
    });
    // The transactions (from, to) whose DUPLICATE-ENDTOENDID this finding says better.
    std::vector<std::pair<qsizetype, qsizetype>> repeats;
    for (const std::vector<uint32_t> &group : sameId) {
        QStringList amounts;
        for (const uint32_t i : group) {
            const QString amount = amountOf(all[i]);
            if (!amounts.contains(amount))
                amounts.append(amount);
        }
        if (amounts.size() < 2)
            continue;
        std::vector<qsizetype> members;
        for (const uint32_t i : group) {
            members.push_back(collected.offsetOf(i));
            if (i != group.front())
                repeats.emplace_back(collected.offsetOf(i),
                    i + 1 < all.size() ? collected.offsetOf(i + 1) : std::numeric_limits<qsizetype>::max());
        }
        const qsizetype at = members[1];
        add(RuleId::EndToEndIdAmounts, at,
            { text(collected.field(all[group.front()], Field::EndToEndId)),
                amounts.join(QStringLiteral(", ")) },
            -1, std::move(members));
    }
    if (repeats.empty())
        return;
    std::sort(repeats.begin(), repeats.end());
    const auto said = std::erase_if(warnings, [&](const RawFinding &r) {
        if (r.rule != RuleId::DuplicateEndToEndId)
            return false;
        const auto next = std::upper_bound(
            repeats.begin(), repeats.end(), std::pair(r.offset, std::numeric_limits<qsizetype>::max()));
        return next != repeats.begin() && r.offset < std::prev(next)->second;
    });
    warningCount -= qsizetype(said);
}

void RulesPass::Private::startScope(Name n)
{
    if (n == Name::CdtrRefInf)
        creditorReferenceScored = false;
    if (n == Name::PmtInf) {
        payment = Totals();
        paymentId.clear();
        collection.reset();
        collectionText.clear();
        mandates.clear();
        collected.beginBlock(stack.back().offset);
    } else if (isTransaction(n) && parentName(1) == Name::PmtInf) {
        inTransaction = true;
        collected.beginTransaction(stack.back().offset);
        transactionHasAmount = false;
        mandateId.clear();
    }
    if (n == Name::PmtInf || isTransaction(n)) {
        if (scopes.size() == openScopes)
            scopes.emplace_back();
        for (Account &a : scopes[openScopes].party) {
            a.iban.clear();
            a.ibanOffset = -1;
            a.bic.clear();
            a.bicOffset = -1;
        }
        ++openScopes;
    }
}

void RulesPass::Private::endScope(const Frame &f)
{
    if (f.name != Name::PmtInf && !isTransaction(f.name))
        return;
    if (openScopes > 0) {
        for (const Account &a : scope()->party) {
            if (a.iban.empty() || a.bic.empty())
                continue;
            const QByteArrayView ibanCountry = QByteArrayView(a.iban.data(), 2);
            const QByteArrayView bicCountry = QByteArrayView(a.bic.data() + 4, 2);
            if (!sameBankingCountry(ibanCountry, bicCountry))
                add(RuleId::BicIbanCountry, a.bicOffset,
                    { text(a.bic), text(bicCountry.toByteArray()), text(a.iban),
                        text(ibanCountry.toByteArray()) });
        }
        // A direct debit's creditor account stands in its payment information block, one scope out.
        if (f.name == Name::DrctDbtTxInf && openScopes >= 2) {
            const Account &debtor = scope()->party[0];
            const Account &creditor = scopes[openScopes - 2].party[1];
            if (!debtor.iban.empty() && debtor.iban == creditor.iban)
                add(RuleId::DebtorIbanIsCreditorIban, debtor.ibanOffset, { text(debtor.iban) });
        }
        --openScopes;
    }
    if (f.name == Name::PmtInf) {
        checkTotals(payment, RuleId::PaymentNumberOfTransactions, RuleId::PaymentControlSum, text(paymentId));
        collected.endBlock(stated(payment));
        mandates.clear();
        return;
    }
    if (inTransaction && parentName(1) == Name::PmtInf) {
        inTransaction = false;
        collected.endTransaction();
        ++payment.count;
        ++group.count;
        if (!transactionHasAmount)
            payment.sumKnown = group.sumKnown = false;
    }
}

void RulesPass::Private::checkTotals(const Totals &t, RuleId countRule, RuleId sumRule, const QString &block)
{
    if (t.statedCount && *t.statedCount != t.count)
        add(countRule, t.countOffset, { text(t.countText), QString::number(t.count), block });
    if (t.statedSum && t.sumKnown && t.sum.isValid() && !t.statedSum->equals(t.sum))
        add(sumRule, t.sumOffset, { text(t.sumText), text(t.sum.toString()), block });
}

void RulesPass::Private::checkCharacters(Frame &f, const char *data, int length)
{
    if (f.badOffset >= 0 || f.hasChild)
        return;
    // The schema sees such a value collapsed: line breaks and tabs become blanks, which the set holds.
    std::string blanked;
    if (f.collapse
        && std::any_of(data, data + length, [](char c) { return c == '\n' || c == '\r' || c == '\t'; })) {
        blanked.assign(data, size_t(length));
        std::replace_if(
            blanked.begin(), blanked.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
        data = blanked.data();
    }
    QByteArrayView piece(data, length);
    qsizetype base = f.textLength;
    if (f.cutCharacter && !piece.isEmpty()) {
        // The second byte of a character whose first (0xC3) ended the last piece.
        const char pair[2] = { char(0xC3), piece[0] };
        if (firstOutsideDkCharset(QByteArrayView(pair, 2)) >= 0) {
            f.badOffset = base - 1;
            f.badCharacter = codePointAt(QByteArrayView(pair, 2), 0);
            return;
        }
        piece = piece.sliced(1);
        ++base;
    }
    f.cutCharacter = false;
    const qsizetype at = firstOutsideDkCharset(piece);
    if (at >= 0) {
        f.badOffset = base + at;
        f.badCharacter = codePointAt(piece, at);
    } else if (!piece.isEmpty() && uchar(piece.back()) == 0xC3) {
        f.cutCharacter = true;
    }
    f.textLength = base + piece.size();
}

// ---------------------------------------------------------------------------------------------

RulesPass::RulesPass(const QByteArray &utf8, TextEncoding encoding)
    : d(std::make_unique<Private>(utf8))
{
    d->encoding = encoding;
    d->now = referenceNow();
    for (size_t i = 0; i < std::size(Private::kValueRules); ++i)
        d->rulesOfName[size_t(Private::kValueRules[i].name)] |= 1u << i;
}

QDateTime RulesPass::referenceNow()
{
    const QString given = qEnvironmentVariable("PRAVIK_NOW");
    if (!given.isEmpty()) {
        const QDateTime at = QDateTime::fromString(given, Qt::ISODateWithMs);
        if (at.isValid())
            return at;
    }
    return QDateTime::currentDateTime();
}

void RulesPass::setNow(const QDateTime &now)
{
    d->now = now;
}

void RulesPass::setHistory(const History *history, const QDateTime &ignoreSameSince)
{
    d->history = history;
    d->ignoreSameSince = ignoreSameSince;
}

RulesPass::~RulesPass() = default;

void RulesPass::startElement(const char *localName, const char *namespaceUri, qsizetype tagOffset)
{
    if (d->stack.empty()) {
        if (!d->documentNamespace.isNull() || !namespaceUri
            || !QByteArrayView(namespaceUri).startsWith(kPainNamespacePrefix)) {
            d->ignored = true; // another vocabulary, or a second root: no SEPA rule applies
            return;
        }
        d->documentNamespace = QByteArray(namespaceUri);
        d->collected.setDirectDebit(d->documentNamespace.contains("pain.008"));
        if (d->encoding == TextEncoding::Utf8Bom)
            d->add(RuleId::FileByteOrderMark, 0, {});
        else if (d->encoding != TextEncoding::Utf8)
            d->add(RuleId::FileEncoding, 0, { encodingName(d->encoding) });
        // A file stored otherwise has its finding above; converting it to UTF-8 mends the declaration too.
        if (d->encoding == TextEncoding::Utf8 || d->encoding == TextEncoding::Utf8Bom) {
            const QByteArray declared = declaredEncoding(d->document);
            if (!declared.isEmpty() && declared.compare("UTF-8", Qt::CaseInsensitive) != 0
                && declared.compare("UTF8", Qt::CaseInsensitive) != 0)
                d->add(RuleId::FileEncodingDeclared, 0, { text(declared), encodingName(d->encoding) });
        }
    }
    if (d->ignored)
        return;
    // Only the document's own vocabulary counts; a foreign element is Other, whatever its name.
    bool ours = namespaceUri == d->documentNamespacePointer;
    if (!ours) {
        ours = (namespaceUri ? QByteArrayView(namespaceUri) : QByteArrayView("")) == d->documentNamespace;
        if (ours)
            d->documentNamespacePointer = namespaceUri;
    }
    Name n = Name::Other;
    bool collapse = false;
    if (ours) {
        Private::NameSlot &slot
            = d->names[(uint64_t(reinterpret_cast<uintptr_t>(localName)) * 0x9E3779B97F4A7C15ull) >> 56];
        if (slot.localName != localName)
            slot = { localName, nameOf(localName), collapsesWhitespace(localName) };
        n = slot.name;
        collapse = slot.collapse;
    }

    if (!d->stack.empty()) {
        Frame &parent = d->stack.back();
        parent.hasChild = true;
        parent.collecting = false;
    }
    Frame f;
    f.name = n;
    f.localName = localName;
    f.offset = tagOffset;
    f.collapse = collapse;
    d->stack.push_back(f);
    if (n == Name::PmtInf && d->firstPaymentOffset < 0)
        d->firstPaymentOffset = tagOffset;
    d->startScope(n);
    if (n == Name::Other)
        return;
    if (const int rule = d->valueRule(n); rule >= 0) {
        d->stack.back().collecting = true;
        d->stack.back().valueRule = int8_t(rule);
        d->valueText.clear();
    }
}

void RulesPass::endElement()
{
    if (d->ignored || d->stack.empty())
        return;
    Frame &f = d->stack.back();
    if (!f.hasChild && f.badOffset >= 0) {
        QString shown = QString::fromUcs4(&f.badCharacter, 1);
        if (f.badCharacter < 0x20 || f.badCharacter == 0x7F)
            shown = QString();
        const QString code
            = QStringLiteral("U+%1").arg(uint(f.badCharacter), 4, 16, QLatin1Char('0')).toUpper();
        const QString character = shown.isEmpty() ? code : QStringLiteral("'%1' (%2)").arg(shown, code);
        d->add(RuleId::TextCharset, f.offset, { character, QString::fromUtf8(f.localName) });
    }
    if (f.collecting && !f.hasChild) {
        const auto take = Private::kValueRules[f.valueRule].take;
        (d.get()->*take)(f, QByteArrayView(d->valueText.data(), qsizetype(d->valueText.size())).trimmed());
    }
    d->endScope(f);
    d->stack.pop_back();
    d->complete = d->stack.empty();
}

void RulesPass::characters(const char *text, int length)
{
    if (d->ignored || d->stack.empty())
        return;
    Frame &f = d->stack.back();
    d->checkCharacters(f, text, length);
    if (f.collecting) {
        if (qsizetype(d->valueText.size()) + length > kMaxValue)
            f.collecting = false;
        else
            d->valueText.append(text, length);
    }
}

qsizetype RulesPass::errorCount() const
{
    return d->errorCount;
}

qsizetype RulesPass::warningCount() const
{
    return d->warningCount;
}

qsizetype RulesPass::unlisted() const
{
    return d->unlisted;
}

const Payments &RulesPass::payments() const
{
    return d->collected;
}

Payments RulesPass::takePayments()
{
    return std::exchange(d->collected, Payments());
}

std::optional<History::Entry> RulesPass::historyEntry() const
{
    if (d->ignored || !d->complete || d->messageId.isEmpty())
        return std::nullopt;
    return History::Entry { d->messageId, d->paymentsDigest(), d->now.toUTC() };
}

std::vector<Finding> RulesPass::finish()
{
    // A pass the engine cut short (too many schema errors) saw only part of the transactions.
    if (d->complete) {
        d->checkTotals(d->group, RuleId::GroupNumberOfTransactions, RuleId::GroupControlSum, QString());
        d->checkHistory();
    }
    if (!d->ignored) {
        d->checkDuplicatePayments();
        d->collected.finish(d->stated(d->group), d->document);
    }

    // Every error first, then warnings as far as the limit leaves room; the rest is counted.
    std::vector<RawFinding> raw = std::move(d->errors);
    const size_t room = size_t(kMaxFindings) - raw.size();
    if (d->warnings.size() > room)
        d->warnings.resize(room);
    raw.insert(
        raw.end(), std::make_move_iterator(d->warnings.begin()), std::make_move_iterator(d->warnings.end()));
    d->errors.clear();
    d->warnings.clear();
    d->unlisted = d->errorCount + d->warningCount - qsizetype(raw.size());

    std::stable_sort(
        raw.begin(), raw.end(), [](const RawFinding &a, const RawFinding &b) { return a.offset < b.offset; });
    std::vector<qsizetype> offsets;
    offsets.reserve(raw.size() * 2);
    for (const RawFinding &r : raw) {
        offsets.push_back(r.offset);
        if (r.related >= 0)
            offsets.push_back(r.related);
        offsets.insert(offsets.end(), r.members.begin(), r.members.end());
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    TextPositions positions;
    positions.reset(d->document);
    std::vector<TextPosition> at;
    at.reserve(offsets.size());
    for (const qsizetype o : offsets)
        at.push_back(positions.at(o));
    auto position = [&](qsizetype o) -> const TextPosition & {
        return at[size_t(std::lower_bound(offsets.begin(), offsets.end(), o) - offsets.begin())];
    };

    std::vector<Finding> findings;
    findings.reserve(raw.size());
    for (RawFinding &r : raw) {
        const Rule &info = rule(r.rule);
        if (r.related >= 0)
            r.args.append(QString::number(position(r.related).line));
        if (!r.members.empty()) {
            // The text says how many there are; a list of thousands of lines would only bury it.
            QStringList lines;
            for (const qsizetype m : r.members) {
                if (lines.size() == kMaxMemberLines) {
                    lines.append(QStringLiteral("…"));
                    break;
                }
                lines.append(QString::number(position(m).line));
            }
            r.args.append(lines.join(QStringLiteral(", ")));
        }
        const TextPosition &p = position(r.offset);
        Finding f;
        f.code = QString::fromLatin1(info.code);
        f.severity = info.severity;
        f.german = filled(info.german, r.args);
        f.english = filled(info.english, r.args);
        f.line = p.line;
        f.linePos = p.linePos;
        f.filePos = p.filePos;
        f.srcText = trimControls(p.lineText);
        findings.push_back(std::move(f));
    }
    return findings;
}

} // namespace sepa
