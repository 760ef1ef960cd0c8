#pragma once
// The headless checker's view of one payment file: read it as the editor would, validate it with the
// engine, and write the outcome for people (the window's report lines) or for programs (JSON).

#include "platform/textfile.h"
#include "validation/xmlparseerrors.h"

#include <QByteArray>
#include <QString>

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

struct FileCheck
{
    QString file; // as given on the command line
    Verdict verdict = Verdict::Unreadable;
    QString message; // why the file was refused or could not be read
    bool read = false; // encoding is known
    TextEncoding encoding = TextEncoding::Utf8;
    TXMLParseErrors errors; // every schema error of an invalid file
};

// Never throws: every failure becomes the verdict Refused or Unreadable with its message.
FileCheck checkFile(const QString &file, SchemaCache &cache);

// The name standard input has in reports ("-" on the command line).
QString standardInputName();

// checkFile for the document on standard input, read to its end within the size limit of files.
FileCheck checkStandardInput(SchemaCache &cache);

// The report lines the window shows, each ending in '\n'; nothing for a refused or unreadable file.
QByteArray textReport(const FileCheck &check);

// One JSON object on one line, ending in '\n': file, verdict, encoding (when read), message (when
// refused or unreadable) and errors with code, reason, line, linepos, filepos, xpath and srcText,
// then unlisted (how many further errors the capped list leaves out) when there are such.
QByteArray jsonRecord(const FileCheck &check);

} // namespace checker
