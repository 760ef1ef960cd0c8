#include "xmlparseerrors.h"

#include "xmlservices.h"

#include "platform/textformat.h"

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
    return list;
}

void TXMLParseErrors::ToStrings(TTaggedLines &aStrings, const TXMLSetBookmarkProc &aSetBookmarkProc) const
{
    if (isEmpty()) {
        aStrings.append({ QStringLiteral("XML is valid according the schema."), 0 });
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
        aStrings.append({ QStringLiteral("Reason: ") + e.FReason, tag });
        aStrings.append({ QStringLiteral("SrcText: ") + e.FSrcText, tag });
        aStrings.append({ QStringLiteral("Line: ") + QString::number(e.FLine), tag });
        aStrings.append({ QStringLiteral("LinePos: ") + QString::number(e.FLinePos), tag });
        aStrings.append({ QStringLiteral("FilePos: ") + QString::number(e.FFilePos), tag });
    }
}
