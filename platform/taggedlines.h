#pragma once
// Text lines that carry an integer tag beside them (0 = none): the validation report ties each of
// its lines to an error this way, and the editor's lines carry the same tags as error marks.

#include <QList>
#include <QString>

struct TTaggedLine
{
    QString text;
    int tag = 0;

    friend bool operator==(const TTaggedLine &, const TTaggedLine &) = default;
};

using TTaggedLines = QList<TTaggedLine>;
