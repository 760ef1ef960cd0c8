#pragma once
// Scintilla measures a line as a whole after every change to it, so the editor shows a very long
// line in pieces: a virtual line break (a CR the file does not have) after each tag that another
// follows, or after a piece's length without one. The breaks' places are kept here, in document
// bytes, and follow every edit, so that a CR of the file's own is never taken for a virtual one.

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <vector>

class VirtualBreaks
{
public:
    // Four bytes a place: a one-line file has a break every few dozen bytes.
    using Places = std::vector<quint32>;

    // Longer lines than this are shown in pieces, each at most about pieceLength bytes when no tag
    // ends sooner.
    static constexpr qsizetype longLine = 16 * 1024;
    static constexpr qsizetype pieceLength = 4 * 1024;

    // Where in a file's text (UTF-8) the virtual breaks go: each before the byte at that offset,
    // never inside a character or next to a line end. Empty when no line is long or the text is
    // too large for the places.
    static Places find(const char *data, qsizetype size);

    // Takes the places found by find() for a text that is now the document with a CR before each.
    void reset(Places fileOffsets);
    void clear();

    bool empty() const { return m_positions.empty(); }
    // Document positions of the virtual CRs, ascending.
    const Places &positions() const
    {
        settle();
        return m_positions;
    }
    bool contains(qsizetype position) const;
    // How many virtual breaks lie in [from, to).
    qsizetype countIn(qsizetype from, qsizetype to) const;
    // How many virtual breaks come before the byte at fileOffset of the file's text: its document
    // position is fileOffset plus that many.
    qsizetype before(qsizetype fileOffset) const;

    // Who made a change: the user (or the program), an undo or a redo.
    enum class Change
    {
        User,
        Undo,
        Redo,
    };
    // Follow a change of the document. A deletion remembers the breaks it took: the undo that
    // puts its text back (or the redo, for a deletion an undo made) gets them back. breaks, for a
    // text the editor put in itself, are the offsets in it of its virtual breaks. charAt reads the
    // document after the change.
    void inserted(qsizetype position, qsizetype length, Change change,
        const std::function<char(qsizetype)> &charAt, const Places *breaks = nullptr);
    void deleted(qsizetype position, qsizetype length, Change change);

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
    // Places and step add up modulo 2^32, so that a place may wait below zero for its step.
    qsizetype at(size_t index) const
    {
        return qsizetype(quint32(m_positions[index] + (index >= m_stepFrom ? quint32(m_step) : 0u)));
    }
    size_t lowerBound(qsizetype position) const;
    void shiftFrom(size_t index, qsizetype delta);
    void settle() const;

    mutable Places m_positions;
    mutable size_t m_stepFrom = 0;
    mutable qsizetype m_step = 0;
    std::vector<Deletion> m_deletions; // those an undo may put back, latest last
    std::vector<Deletion> m_undone; // deletions by undo that a redo may put back, latest last
};
