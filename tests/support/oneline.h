#pragma once
// The same document written on one line, as many generators write payment files: each line break
// between two tags goes, with the indentation around it. Header-only.

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

namespace testsupport {

inline QString oneLine(QString pretty)
{
    static const QRegularExpression lineBreakBetweenTags(QStringLiteral(">\\s*\\r?\\n\\s*<"));
    return pretty.replace(lineBreakBetweenTags, QStringLiteral("><"));
}

inline QByteArray oneLine(const QByteArray &pretty)
{
    return oneLine(QString::fromUtf8(pretty)).toUtf8();
}

} // namespace testsupport
