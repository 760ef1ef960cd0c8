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

// What TextPositions counts over a stretch of text: UTF-16 units (one per UTF-8 lead byte, two for
// a four-byte sequence), line feeds, carriage returns and CR LF pairs.
struct TextCounts
{
    int64_t units = 0;
    int64_t lf = 0;
    int64_t cr = 0;
    int64_t crlf = 0;

    int64_t lineBreaks() const { return lf + cr - crlf; }
    // UTF-16 units with every line break counted as two.
    int64_t filePos() const { return units + lf + cr - 2 * crlf; }
};

// The counts over data[from, to); a CR at to - 1 pairs with an LF at to when to < size.
TextCounts countText(const char *data, qsizetype from, qsizetype to, qsizetype size);

class TextPositions
{
public:
    void reset(const QByteArray &utf8);
    // Positions counted from a line start whose line and offset are known (positions before it are
    // not asked for): a chunk of the text counts only from where it begins.
    void reset(const QByteArray &utf8, qsizetype lineStart, int64_t line, int64_t lineStartFilePos);

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
    // Passes every line break that begins before byteOffset.
    void advance(qsizetype byteOffset);
    void startLine(qsizetype lineStart);
    qsizetype lineEnd();
    int64_t column(qsizetype byteOffset); // UTF-16 units from the line's start

    static constexpr qsizetype kCheckpointBytes = 4096;
    static constexpr qsizetype kMarkBytes = 1024;
    // Lines are passed this many bytes at a time, counted in bulk; a line start is remembered at
    // the end of each stretch, so that going back costs at most about one stretch.
    static constexpr qsizetype kStretchBytes = qsizetype(64) << 10;

    // Line starts passed so far, at least kMarkBytes apart, for going back cheaply.
    struct LineMark
    {
        qsizetype start;
        int64_t line;
        int64_t filePos;
    };
    std::vector<LineMark> m_marks;
    LineMark m_origin { 0, 1, 0 }; // where counting starts

    const char *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_lineStart = 0;
    qsizetype m_lineEnd = -1; // the line's break (or the text's end); -1 until needed
    int64_t m_line = 1;
    int64_t m_lineStartFilePos = 0;
    std::vector<int64_t> m_checkpoints; // column at m_lineStart + i * kCheckpointBytes
};
