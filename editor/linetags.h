#pragma once
// Integer tags on the lines of a Scintilla document (0 = none). A tag is kept in the bits of markers
// 0-30 of its line, so that Scintilla moves it with the line's text; marker 31 shows the error symbol
// in the gutter on every tagged line.

class QsciScintillaBase;

class LineTags
{
public:
    static constexpr int symbolMarker = 31;
    static constexpr unsigned tagBits = 0x7FFFFFFFu;

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

    QsciScintillaBase *m_editor;
    int m_joinedLine = -1;
    int m_joinedTag = 0;
};
