#include "editor/linetags.h"

#include "editor/qsci.h"

#include <bit>

LineTags::LineTags(QsciScintillaBase *editor)
    : m_editor(editor)
{
    for (int bit = 0; bit < 31; ++bit)
        m_editor->SendScintilla(
            QsciScintillaBase::SCI_MARKERDEFINE, markerOfBit(bit), QsciScintillaBase::SC_MARK_EMPTY);
}

unsigned LineTags::markers(int line) const
{
    return unsigned(m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERGET, line));
}

int LineTags::tag(int line) const
{
    const unsigned all = markers(line);
    const unsigned low = all & ((1u << symbolMarker) - 1);
    const unsigned high = (all >> (symbolMarker + 1)) << symbolMarker;
    return int(low | high);
}

void LineTags::setTag(int line, int tag)
{
    // Every marker of a line is ours; joined lines may carry a bit twice, so start from none.
    if (markers(line) != 0)
        m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERDELETE, line, -1);
    if (tag == 0)
        return;
    for (unsigned bits = unsigned(tag); bits != 0; bits &= bits - 1)
        m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERADD, line, markerOfBit(std::countr_zero(bits)));
    m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERADD, line, symbolMarker);
}

int LineTags::findLine(int tag) const
{
    if (tag < 0)
        return -1;
    if (tag == 0) {
        const int count = int(m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINECOUNT));
        for (int line = 0; line < count; ++line) {
            if (this->tag(line) == 0)
                return line;
        }
        return -1;
    }
    const long symbolMask = long(1u << symbolMarker);
    for (long line = m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERNEXT, 0, symbolMask); line >= 0;
         line = m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERNEXT, line + 1, symbolMask)) {
        if (this->tag(int(line)) == tag)
            return int(line);
    }
    return -1;
}

void LineTags::clear()
{
    // Scintilla visits every line to delete; finding none marked is immediate on a fresh text.
    if (m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERNEXT, 0, -1L) >= 0)
        m_editor->SendScintilla(QsciScintillaBase::SCI_MARKERDELETEALL, -1);
    m_joinedLine = -1;
}

void LineTags::beforeDelete(long position, long length)
{
    const int first = int(m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, position));
    const int last = int(m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, position + length));
    m_joinedLine = -1;
    if (first == last)
        return;
    // The joined line is what is left of the first line followed by what is left of the last. When
    // nothing of the first is left, it is the last line's text; otherwise the first line's tag wins,
    // and the last line's tag only when the first has none and some of the last line's text remains.
    const long firstStart = m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, first);
    const long lastContentEnd = m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, last);
    const int firstTag = tag(first);
    const int lastTag = tag(last);
    if (position == firstStart)
        m_joinedTag = lastTag;
    else if (firstTag != 0 || position + length >= lastContentEnd)
        m_joinedTag = firstTag;
    else
        m_joinedTag = lastTag;
    m_joinedLine = first;
}

void LineTags::afterDelete()
{
    if (m_joinedLine < 0)
        return;
    const int line = m_joinedLine;
    m_joinedLine = -1;
    setTag(line, m_joinedTag);
}
