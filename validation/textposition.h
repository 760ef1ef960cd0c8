#pragma once
// Turns byte offsets in UTF-8 text into the positions a user sees: line, position in the line and
// offset in the text, in UTF-16 code units, with every line break (CR LF, LF or a lone CR) counted
// as two so that offsets match the editor's text joined by CR LF.

#include <QByteArray>
#include <QString>
#include <cstdint>

struct TextPosition
{
    int32_t line = 1;    // from 1
    int32_t linePos = 1; // from 1
    int32_t filePos = 0; // from 0
    QString lineText;    // the whole line, or an excerpt from the point on when the line is very long
};

class TextPositions
{
public:
    void reset(const QByteArray &utf8);

    // Positions are asked for mostly in increasing order; each call scans only from the last one.
    TextPosition at(qsizetype byteOffset);

    // Lines longer than this are shown as an excerpt starting at the point asked for.
    static constexpr qsizetype kMaxLineText = 1000;
    static constexpr qsizetype kExcerpt = 200;

private:
    const char *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_lineStart = 0;
    int64_t m_line = 1;
    int64_t m_lineStartFilePos = 0;
};
