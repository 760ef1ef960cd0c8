#pragma once
// Scintilla measures a line as a whole after every change to it, so the editor shows a very long
// line in pieces: a virtual line break (a CR the file does not have) after each tag that another
// follows, or after a piece's length without one. The breaks' places are kept here, in document
// bytes, and follow every edit, so that a CR of the file's own is never taken for a virtual one.

#include <QByteArray>

#include <functional>
#include <vector>

class VirtualBreaks
{
public:
    // Longer lines than this are shown in pieces, each at most about pieceLength bytes when no tag
    // ends sooner; only in a text of at most maxLines lines, whose gutter then numbers the file's lines.
    static constexpr qsizetype longLine = 16 * 1024;
    static constexpr qsizetype pieceLength = 4 * 1024;
    static constexpr qsizetype maxLines = 10000;

    // Where in a file's text (UTF-8) the virtual breaks go: each before the byte at that offset,
    // never inside a character or next to a line end. Empty when no line is long or there are too
    // many lines.
    static std::vector<qsizetype> find(const char *data, qsizetype size);

    // Takes the places found by find() for a text that is now the document with a CR before each.
    void reset(std::vector<qsizetype> fileOffsets);
    void clear();

    bool empty() const { return m_positions.empty(); }
    // Document positions of the virtual CRs, ascending.
    const std::vector<qsizetype> &positions() const
    {
        settle();
        return m_positions;
    }
    bool contains(qsizetype position) const;
    // How many virtual breaks lie in [from, to).
    qsizetype countIn(qsizetype from, qsizetype to) const;

    // Follow a change of the document; undo says an undo made it. Each deletion that is no undo
    // remembers the breaks it took, and the undo that puts its text back gets them back; charAt
    // reads the document after the change.
    void inserted(
        qsizetype position, qsizetype length, bool undo, const std::function<char(qsizetype)> &charAt);
    void deleted(qsizetype position, qsizetype length, bool undo);

    // The bytes of document[from, from + size) without the virtual breaks among them.
    QByteArray withoutBreaks(const char *data, qsizetype size, qsizetype from = 0) const;

private:
    struct Deletion
    {
        qsizetype position;
        qsizetype length;
        std::vector<qsizetype> offsets; // of the breaks taken, from position
    };
    // An edit moves every break after it. So that typing in a large text does not touch them all
    // each time, the move of those from m_stepFrom on waits in m_step, and the next edit settles
    // only the breaks between its place and the last one's.
    qsizetype at(size_t index) const { return m_positions[index] + (index >= m_stepFrom ? m_step : 0); }
    size_t lowerBound(qsizetype position) const;
    void shiftFrom(size_t index, qsizetype delta);
    void settle() const;

    mutable std::vector<qsizetype> m_positions;
    mutable size_t m_stepFrom = 0;
    mutable qsizetype m_step = 0;
    std::vector<Deletion> m_deletions;
};
