#include "xmlparseerrors.h"

#include "xmlservices.h"

#include "platform/textformat.h"

#include <algorithm>

namespace {

bool breaksLine(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

} // namespace

// A backslash is doubled only where it would otherwise be read as the start of an escape, so that
// the backslashes of schema patterns ("\d") read as they are written.
QString reportField(const QString &s)
{
    if (std::none_of(s.begin(), s.end(), [](QChar c) { return breaksLine(c.unicode()) || c == u'\\'; }))
        return s;
    QString out;
    out.reserve(s.size() + 16);
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s.at(i).unicode();
        if (c == u'\\') {
            const char16_t next = i + 1 < s.size() ? s.at(i + 1).unicode() : 0;
            const bool ambiguous = i + 1 < s.size()
                && (next == u'\\' || next == u'n' || next == u'r' || next == u't' || next == u'u'
                    || breaksLine(next));
            out += ambiguous ? QStringLiteral("\\\\") : QStringLiteral("\\");
        } else if (!breaksLine(c)) {
            out += QChar(c);
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else if (c == u'\r') {
            out += QStringLiteral("\\r");
        } else if (c == u'\t') {
            out += QStringLiteral("\\t");
        } else {
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QChar(u'0'));
        }
    }
    return out;
}

TXMLParseErrorItem TXMLParseErrorItem::New(const QString &aSrcText, const QString &aReason,
    const QString &aXPath, int32_t aErrorCode, int32_t aLine, int32_t aLinePos, int32_t aFilePos)
{
    TXMLParseErrorItem item;
    item.FSrcText = trimControls(aSrcText);
    item.FReason = trimControls(aReason);
    item.FErrorCode = aErrorCode;
    item.FLine = aLine;
    item.FLinePos = aLinePos;
    item.FFilePos = aFilePos;
    item.FXPath = aXPath;
    return item;
}

TXMLParseErrors TXMLParseErrors::Create(const xmlservices::ParseError &aXmlDomParseErrors)
{
    TXMLParseErrors list;
    if (aXmlDomParseErrors.errorCode() == 0)
        return list;
    const auto &all = aXmlDomParseErrors.allErrors();
    list.reserve(all.size());
    for (const auto &e : all)
        list.append(
            TXMLParseErrorItem::New(e.srcText, e.reason, e.xpath, e.errorCode, e.line, e.linepos, e.filepos));
    list.FUnlisted = aXmlDomParseErrors.unlisted();
    return list;
}

QString ValidDocumentSentence()
{
    return QStringLiteral("XML is valid according the schema.");
}

void TXMLParseErrors::ToStrings(TTaggedLines &aStrings, const TXMLSetBookmarkProc &aSetBookmarkProc) const
{
    if (isEmpty()) {
        aStrings.append({ ValidDocumentSentence(), 0 });
        return;
    }
    static const QString separator(70, u'-');
    for (qsizetype i = 0; i < size(); ++i) {
        const TXMLParseErrorItem &e = at(i);
        int tag = 0;
        if (aSetBookmarkProc) {
            tag = int(i + 1);
            aSetBookmarkProc(tag, e.FLine);
        }
        aStrings.append({ separator, tag });
        aStrings.append({ QStringLiteral("ErrorCode: ") + QString::number(e.FErrorCode), tag });
        aStrings.append({ QStringLiteral("Reason: ") + reportField(e.FReason), tag });
        aStrings.append({ QStringLiteral("SrcText: ") + reportField(e.FSrcText), tag });
        aStrings.append({ QStringLiteral("Line: ") + QString::number(e.FLine), tag });
        aStrings.append({ QStringLiteral("LinePos: ") + QString::number(e.FLinePos), tag });
        aStrings.append({ QStringLiteral("FilePos: ") + QString::number(e.FFilePos), tag });
    }
    if (FUnlisted > 0) {
        aStrings.append({ QStringLiteral("Not listed: %1 further errors (the report stops at %2 errors).")
                              .arg(FUnlisted)
                              .arg(size()),
            0 });
    }
}
