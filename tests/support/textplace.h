#pragma once
// Where a piece of text stands, counted independently of the engine, the way its reports count: the
// line from 1, the position in the line from 1 in UTF-16 units, the offset from the start of the text
// from 0 with every line break counted as CR LF.

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace testsupport {

struct TextPlace
{
    int line = 0;
    int linePos = 0;
    int filePos = 0;
    QString lineText; // the whole line, as it stands
};

// The occurrence-th (from 1) place of marker in the UTF-8 text; all zero when there is none.
inline TextPlace locateText(const QByteArray &utf8, const QByteArray &marker, int occurrence = 1)
{
    const QString text = QString::fromUtf8(utf8);
    qsizetype at = -1;
    for (int i = 0; i < occurrence; ++i) {
        at = text.indexOf(QString::fromUtf8(marker), at + 1);
        if (at < 0)
            return {};
    }
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\\r\\n|\\n|\\r")));
    qsizetype consumed = 0;
    int filePos = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const qsizetype len = lines[i].size();
        qsizetype breakLen = 0;
        if (consumed + len < text.size())
            breakLen = text.mid(consumed + len, 2) == QStringLiteral("\r\n") ? 2 : 1;
        if (at <= consumed + len)
            return { i + 1, int(at - consumed + 1), filePos + int(at - consumed), lines[i] };
        consumed += len + breakLen;
        filePos += int(len) + 2;
    }
    return {};
}

} // namespace testsupport
