#pragma once
// The upgrade of payment files in retired versions to the versions German banks take: credit
// transfers (pain.001.001.03, pain.001.002.03, pain.001.003.03) to pain.001.001.09, direct debits
// (pain.008.001.02, pain.008.002.02, pain.008.003.02) to pain.008.001.08.
//
// The text is rewritten in one pass and keeps everything the new version has a place for, in order,
// with the file's own indentation and line ends; only the elements of the mapping table change. What
// has no place is listed, addresses of free lines are split where that is certain, and every such
// change is a note naming the party and the transaction. The result is validated (bank schema and
// SEPA rules) before anyone may write it.

#include "platform/exception.h"
#include "sepa/finding.h"
#include "validation/xmlparseerrors.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

class SchemaCache;

namespace legacy {

// One thing a person should look at in the upgraded file; line and srcText point into the source.
struct UpgradeNote
{
    enum Kind
    {
        AddressSplit, // an address of free lines was split: check it
        AddressNotSplit, // an address of free lines stays so: TwnNm and Ctry must be added by hand
        NotCarried, // an element without a place in the new version, left out
        SchemaLocation, // the schema location named a file of the old version
        Incomplete, // an element the new version requires has no value in the source: add it by hand
    };
    Kind kind = AddressSplit;
    sepa::Severity severity = sepa::Severity::Warning;
    QString english;
    QString german;
    int line = 0; // from 1
    QString srcText; // the source line, trimmed
};

// "address-split", "address-not-split", "not-carried", "schema-location", "incomplete".
QString noteKindName(UpgradeNote::Kind kind);

// Thrown when a text cannot be upgraded at all (not a version with an upgrade, not XML enough).
class EUpgradeError : public Exception
{
public:
    using Exception::Exception;
};

struct UpgradeResult
{
    QString from; // "pain.001.003.03"
    QString to; // "pain.001.001.09"
    QByteArray text; // the upgraded document, UTF-8
    std::vector<UpgradeNote> notes;
    // The check of the result: it may be written only when it passes.
    bool schemaValid = false;
    TXMLParseErrors errors; // the schema errors of the result, positions in the result
    std::vector<sepa::Finding> findings; // the SEPA rules' findings of the result
    bool passes() const;
    // Why the result may not be written, for a person; empty when it passes.
    QString failure() const;
};

// The message an upgrade of this namespace leads to, or empty.
QString upgradeTarget(const QString &namespaceUri);

// Rewrites utf8 (a document of a retired version that has an upgrade) without checking the result.
// Throws EUpgradeError when it cannot.
QByteArray transform(
    const QByteArray &utf8, std::vector<UpgradeNote> &notes, QString *from = nullptr, QString *to = nullptr);

// Receives an upgraded text in pieces, in order.
using TextSink = std::function<void(QByteArrayView)>;

// Receives the notes of an upgrade one by one, in document order.
using NoteSink = std::function<void(UpgradeNote &&)>;

// transform that hands the result to write as it is produced (pieces of about pieceSize bytes) and
// each note to notes as it is found, so that only the source and a piece of the result are in memory.
// What write or notes throw passes through.
void transform(const QByteArray &utf8, const TextSink &write, const NoteSink &notes, QString *from = nullptr,
    QString *to = nullptr, qsizetype pieceSize = qsizetype(1) << 20);

// The same, the notes kept in a list.
void transform(const QByteArray &utf8, const TextSink &write, std::vector<UpgradeNote> &notes,
    QString *from = nullptr, QString *to = nullptr, qsizetype pieceSize = qsizetype(1) << 20);

// The check of an upgraded text into result's schemaValid, errors and findings (text stays the
// caller's). Throws EUpgradeError for a text that is not well-formed.
void checkUpgraded(const QByteArray &text, UpgradeResult &result, SchemaCache &cache);

// transform, then the result's check. Throws EUpgradeError as transform does, and what the
// validation engine throws when its services fail.
UpgradeResult upgrade(const QByteArray &utf8, SchemaCache &cache);

// The file an upgrade writes by default: "payments.xml" -> "payments.pain.001.001.09.xml", in the
// source's folder.
QString defaultUpgradeName(const QString &source, const QString &to);

} // namespace legacy
