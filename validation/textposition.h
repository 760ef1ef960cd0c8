#pragma once
// Turns byte offsets in UTF-8 text into the positions a user sees: line, position in the line and
// offset in the text, in UTF-16 code units, with every line break (CR LF, LF or a lone CR) counted
// as two so that offsets match the editor's text joined by CR LF.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

struct TextPosition
{
    int32_t line = 1; // from 1
    int32_t linePos = 1; // from 1
    int32_t filePos = 0; // from 0
    QString lineText; // the whole line, or an excerpt from the point on when the line is very long
};

class TextPositions
{
public:
    void reset(const QByteArray &utf8);

    // Positions are asked for mostly in increasing order; each call scans only from the last one,
    // and within one line from the nearest checkpoint, so that a file written on one long line
    // with an error in every transaction costs one pass, not one pass per error.
    TextPosition at(qsizetype byteOffset);

    // Lines longer than this are shown as an excerpt starting at the point asked for.
    static constexpr qsizetype kMaxLineText = 1000;
    static constexpr qsizetype kExcerpt = 200;

private:
    // Goes back to the last remembered line start at or before byteOffset.
    void rewind(qsizetype byteOffset);
    void startLine(qsizetype lineStart);
    qsizetype lineEnd();
    int64_t column(qsizetype byteOffset); // UTF-16 units from the line's start

    static constexpr qsizetype kCheckpointBytes = 4096;
    static constexpr qsizetype kMarkBytes = 1024;

    // Line starts passed so far, at least kMarkBytes apart, for going back cheaply.
    struct LineMark
    {
        qsizetype start;
        int64_t line;
        int64_t filePos;
    };
    std::vector<LineMark> m_marks;

    const char *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_lineStart = 0;
    qsizetype m_lineEnd = -1; // the line's break (or the text's end); -1 until needed
    int64_t m_line = 1;
    int64_t m_lineStartFilePos = 0;
    std::vector<int64_t> m_checkpoints; // column at m_lineStart + i * kCheckpointBytes
};
