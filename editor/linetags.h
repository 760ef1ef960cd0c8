#pragma once
// Integer tags on the lines of a Scintilla document (0 = none). A tag's 31 bits are kept as markers
// on its line, so that Scintilla moves it with the line's text; one more marker shows the error
// symbol in the gutter on every tagged line.

class QsciScintillaBase;

class LineTags
{
public:
    // Scintilla draws fold marks for markers 25-31 in a margin that shows any of them, so the
    // symbol's marker lies below them; the tag bits take every other marker.
    static constexpr int symbolMarker = 24;

    explicit LineTags(QsciScintillaBase *editor);

    int tag(int line) const;
    void setTag(int line, int tag);
    int findLine(int tag) const;
    void clear();

    // A deletion that joins lines leaves Scintilla with the markers of all of them on the first;
    // these two keep one line's tag there instead of a mix of bits.
    void beforeDelete(long position, long length);
    void afterDelete();

private:
    unsigned markers(int line) const;
    static int markerOfBit(int bit) { return bit < symbolMarker ? bit : bit + 1; }

    QsciScintillaBase *m_editor;
    int m_joinedLine = -1;
    int m_joinedTag = 0;
};
