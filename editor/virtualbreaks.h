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
    const std::vector<qsizetype> &positions() const { return m_positions; }
    bool contains(qsizetype position) const;
    // How many virtual breaks lie in [from, to).
    qsizetype countIn(qsizetype from, qsizetype to) const;

    // Follow a change of the document. A deletion remembers the breaks it took, so that an undo
    // which puts the same text back gets them back; charAt reads the document after the change.
    void inserted(
        qsizetype position, qsizetype length, bool undo, const std::function<char(qsizetype)> &charAt);
    void deleted(qsizetype position, qsizetype length);
    // Forget the remembered deletions, once the undo history is gone.
    void forgetDeletions() { m_deletions.clear(); }

    // The bytes of document[from, from + size) without the virtual breaks among them.
    QByteArray withoutBreaks(const char *data, qsizetype size, qsizetype from = 0) const;

private:
    struct Deletion
    {
        qsizetype position;
        qsizetype length;
        std::vector<qsizetype> offsets; // of the breaks taken, from position
    };
    std::vector<qsizetype> m_positions;
    std::vector<Deletion> m_deletions;
};
