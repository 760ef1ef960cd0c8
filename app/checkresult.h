#pragma once
// The headless checker's view of one payment file: read it as the editor would, validate it with the
// engine, and write the outcome for people (the window's report lines) or for programs (JSON).

#include "platform/textfile.h"
#include "sepa/finding.h"
#include "sepa/history.h"
#include "sepa/payments.h"
#include "validation/xmlparseerrors.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class SchemaCache;

namespace checker {

enum class Verdict
{
    Valid,
    Invalid,
    Refused,
    Unreadable
};

// "valid", "invalid", "refused", "unreadable".
QString verdictName(Verdict verdict);

// Where and why the parser stopped on a file that is not well-formed; line 0 when it never began.
struct ParserStop
{
    QString message;
    int line = 0; // from 1
    int linePos = 0; // from 1
    int filePos = 0; // from 0, in UTF-16 units as the errors count them
};

struct FileCheck
{
    QString file; // as given on the command line
    Verdict verdict = Verdict::Unreadable;
    QString message; // why the file was refused or could not be read
    bool read = false; // encoding is known
    TextEncoding encoding = TextEncoding::Utf8;
    TXMLParseErrors errors; // every schema error of an invalid file
    ParserStop stop; // of a file refused as not well-formed
    QString namespaceUri; // of a file refused for having no schema
    QString detail; // what such a file is, when its message is a known one (legacy::refusalDetail)
    bool rulesRun = false; // the SEPA rules ran (asked for, and the file passed the namespace probe)
    std::vector<sepa::Finding> findings; // of the SEPA rules, in document order, errors kept first
    qsizetype ruleErrors = 0; // every finding of severity error, listed or not
    qsizetype ruleWarnings = 0;
    qsizetype rulesUnlisted = 0; // findings left out of the list at its limit
    std::optional<sepa::History::Entry> historyEntry; // what the history keeps of this file
    std::shared_ptr<const sepa::Payments> payments; // what the file pays, when asked for (RulesRun)

    bool hasRuleErrors() const { return ruleErrors > 0; }
};

// How the SEPA rules run beside the schema: not at all, or with the history of checked files (which
// must outlive the check) or without.
struct RulesRun
{
    bool run = false;
    const sepa::History *history = nullptr;
    bool payments = false; // collect what the file pays (FileCheck::payments), with or without the rules
};

// Never throws: every failure becomes the verdict Refused or Unreadable with its message. With rules,
// the SEPA rules run in the same pass over every file that is not refused.
// jobs: threads for validating the parts of one large file (1: one pass).
FileCheck checkFile(const QString &file, SchemaCache &cache, RulesRun rules = {}, int jobs = 1);

// The name standard input has in reports ("-" on the command line).
QString standardInputName();

// checkFile for the document on standard input, read to its end within the size limit of files.
FileCheck checkStandardInput(SchemaCache &cache, RulesRun rules = {}, int jobs = 1);

// The report lines the window shows, each ending in '\n'; nothing for a refused or unreadable file.
// When the rules ran, their report follows after a blank line (rulesReport).
QByteArray textReport(const FileCheck &check);

// "SEPA rules: no findings." or the count of every finding and nine lines per listed finding:
// separator, Rule, Severity, Reason (English), Grund (German), SrcText, Line, LinePos, FilePos. Reason,
// Grund and SrcText are escaped as the schema report's fields, so that each stays on its line. The
// count's line says how many findings the list leaves out.
QByteArray rulesReport(const FileCheck &check);

// "line L, position P: the parser's words" for a file refused as not well-formed, else empty.
QString stopText(const FileCheck &check);

// One JSON object on one line, ending in '\n': file, verdict, encoding (when read), message (when
// refused or unreadable), stop (line, linePos, filePos and message, when the parser stopped on a file
// that is not well-formed) and errors with code, reason, line, linepos, filepos, xpath and srcText,
// then unlisted (how many further errors the capped list leaves out) when there are such; when the
// rules ran, "rules" with code, severity, reason, grund, line, linepos, filepos and srcText, then
// "rulesErrors" and "rulesWarnings" counting every finding (and "rulesStoppedEarly": true with
// "rulesUnlisted" when the list left some out).
QByteArray jsonRecord(const FileCheck &check);

} // namespace checker
