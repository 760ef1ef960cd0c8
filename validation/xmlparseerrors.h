#pragma once
// The errors of one validation, copied out of the XML services into plain records, and the report
// the window shows for them.

#include "platform/taggedlines.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

namespace xmlservices {
class ParseError;
}

// One schema error. Positions name the point the error is about, so that the user can jump there:
//   FLine     1-based line of that point (lines end at CR LF, LF or a lone CR);
//   FLinePos  1-based position of that point within its line, in UTF-16 code units;
//   FFilePos  0-based offset of that point from the start of the text, in UTF-16 code units, with
//             every line break counted as two (CR LF), so that it matches the editor's joined text
//             whatever line ends the file has.
// The point is the start ('<') of the offending element's start tag for an unexpected element, a bad
// attribute or a bad value, and the start of the parent's end tag for content missing from it.
// FXPath is a real XPath of that element (an attribute's for attribute errors), with positions.
struct TXMLParseErrorItem
{
    QString FSrcText;
    QString FReason;
    int32_t FErrorCode = 0;
    int32_t FLine = 0;
    int32_t FLinePos = 0;
    int32_t FFilePos = 0;
    QString FXPath;

    static TXMLParseErrorItem New(const QString &aSrcText, const QString &aReason, const QString &aXPath,
        int32_t aErrorCode, int32_t aLine, int32_t aLinePos, int32_t aFilePos);

    friend bool operator==(const TXMLParseErrorItem &, const TXMLParseErrorItem &) = default;
};

// The one line a report of a valid document consists of, also the text of the window's verdict.
QString ValidDocumentSentence();

// Called with (tag, line) for each error, before that error's report lines are written.
using TXMLSetBookmarkProc = std::function<void(int32_t aTag, int32_t aLine)>;

class TXMLParseErrors : public QList<TXMLParseErrorItem>
{
public:
    TXMLParseErrors() = default;

    // Errors the services found beyond those listed (the list is capped); 0 when all are listed.
    int64_t FUnlisted = 0;

    // Copies every error of the services' collection, in collection order; none when its code is 0.
    static TXMLParseErrors Create(const xmlservices::ParseError &aXmlDomParseErrors);

    // Appends the report to aStrings (not cleared first). With a callback each error's lines carry
    // its tag (list position + 1) and the callback is told (tag, FLine) first; without, tags are 0.
    // Reason and SrcText are written through reportField, so that each error is exactly seven
    // lines; when errors went unlisted, one last line (tag 0) says how many.
    void ToStrings(TTaggedLines &aStrings, const TXMLSetBookmarkProc &aSetBookmarkProc = {}) const;
};

// A field of a report line in a form that stays on one line and reads back exactly: a line feed
// becomes "\n", a carriage return "\r", a tab "\t", every other character that may break or hide a
// line (C0 and C1 controls, DEL, U+2028, U+2029) "\u" and four hexadecimal digits; a backslash is
// written "\\" where it stands before n, r, t, u, a backslash or such a character, and as it is
// elsewhere. Everything else stays as it is.
QString reportField(const QString &s);
