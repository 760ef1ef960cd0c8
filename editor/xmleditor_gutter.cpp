// The gutter: the file's line ends, kept through every edit, and the line numbers beside the text.

#include "editor/xmleditor_p.h"

#include "platform/exception.h"

#include <algorithm>
#include <cstring>

using namespace xmleditor;

namespace {

int digitCount(int value)
{
    int digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

} // namespace

qsizetype TXMLEditor::Private::startAfter(qsizetype end) const
{
    qsizetype at = end + 1;
    if (charAt(end) == '\r') {
        while (breaks().contains(at))
            ++at;
    }
    return at;
}

const std::vector<qsizetype> &TXMLEditor::Private::realEnds() const
{
    if (!m_realEndsValid) {
        m_realEndsCache.clear();
        // The text in its two parts around Scintilla's gap, which stays where the typing is.
        const qsizetype size = length();
        const qsizetype gap = std::clamp<qsizetype>(send(Sci::SCI_GETGAPPOSITION), 0, size);
        const char *const parts[2] = {
            reinterpret_cast<const char *>(send(Sci::SCI_GETRANGEPOINTER, 0, long(gap))),
            reinterpret_cast<const char *>(
                send(Sci::SCI_GETRANGEPOINTER, static_cast<unsigned long>(gap), long(size - gap))),
        };
        const auto byteAt = [&](qsizetype at) { return at < gap ? parts[0][at] : parts[1][at - gap]; };
        // Calls found(position) for each byte of the text that is byte, in order.
        const auto forEach = [&](char byte, const auto &found) {
            for (int i = 0; i < 2; ++i) {
                const qsizetype base = i == 0 ? 0 : gap;
                const qsizetype partSize = i == 0 ? gap : size - gap;
                const char *const begin = parts[i];
                for (const char *p = begin; partSize > 0
                     && (p = static_cast<const char *>(std::memchr(p, byte, size_t(begin + partSize - p))));)
                    found(base + (p++ - begin));
            }
        };
        std::vector<qsizetype> &ends = m_realEndsCache;
        qsizetype crLf = 0; // real CRs right before an LF
        forEach('\n', [&](qsizetype at) {
            crLf += at > 0 && byteAt(at - 1) == '\r' && !breaks().contains(at - 1) ? 1 : 0;
            ends.push_back(at);
        });
        // Real CRs only: the virtual ones are passed in step with their sorted places. Counted
        // eight bytes at a time, the CRs first show whether any can be a lone one.
        const VirtualBreaks::Places &virtualAt = breaks().positions();
        auto next = virtualAt.begin();
        bool loneCr = false;
        const qsizetype crs = countByte(parts[0], gap, '\r') + countByte(parts[1], size - gap, '\r');
        if (crs != qsizetype(virtualAt.size()) + crLf) {
            forEach('\r', [&](qsizetype at) {
                while (next != virtualAt.end() && *next < at)
                    ++next;
                if (next != virtualAt.end() && *next == at)
                    return;
                // The byte after it in the file's text lies beyond any virtual breaks that follow.
                qsizetype after = at + 1;
                for (auto v = next; v != virtualAt.end() && *v == after; ++v)
                    ++after;
                if (after >= size || byteAt(after) != '\n') {
                    ends.push_back(at);
                    loneCr = true;
                }
            });
        }
        if (loneCr)
            std::sort(ends.begin(), ends.end());
        m_realEndsValid = !m_editing;
    }
    return m_realEndsCache;
}

void TXMLEditor::Private::followEdit(qsizetype position, qsizetype removed, qsizetype inserted)
{
    if (!m_realEndsValid)
        return;
    // A large text put in (an undo of a whole text in pieces, say) is looked at faster with the
    // rest, in one pass beside the sorted virtual breaks.
    constexpr qsizetype largeInsertion = 1024 * 1024;
    if (!pieces() || inserted > largeInsertion) {
        m_realEndsValid = false;
        m_gutterTimer.start();
        return;
    }
    std::vector<qsizetype> &ends = m_realEndsCache;
    const auto first = std::lower_bound(ends.begin(), ends.end(), position);
    const auto gone = std::lower_bound(first, ends.end(), position + removed);
    bool moved = first != gone;
    for (auto it = ends.erase(first, gone); it != ends.end(); ++it)
        *it += inserted - removed;
    // A CR before the edit, and the virtual breaks between, may now be followed by another
    // byte; the byte after the edit may be an LF that now follows a CR.
    const qsizetype size = length();
    qsizetype from = position;
    while (from > 0 && breaks().contains(from - 1))
        --from;
    from = std::max<qsizetype>(0, from - 1);
    const qsizetype to = std::min(size, position + inserted + 1);
    std::vector<qsizetype> found;
    const auto *text = reinterpret_cast<const char *>(
        send(Sci::SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), long(to - from)));
    for (qsizetype at = from; at < to; ++at) {
        const char c = text[at - from];
        if (c == '\n') {
            found.push_back(at);
        } else if (c == '\r' && !breaks().contains(at)) {
            qsizetype after = at + 1;
            while (breaks().contains(after))
                ++after;
            if (after >= size || charAt(after) != '\n')
                found.push_back(at);
        }
    }
    const auto low = std::lower_bound(ends.begin(), ends.end(), from);
    const auto high = std::lower_bound(low, ends.end(), to);
    moved = moved || !std::equal(low, high, found.begin(), found.end());
    ends.insert(ends.erase(low, high), found.begin(), found.end());
    // An LF after a virtual break, or taken from behind one, is a line of the file more or
    // less where Scintilla counts none.
    if (moved)
        m_gutterTimer.start();
}

int TXMLEditor::Private::shownLine(int line) const
{
    if (!pieces() || line == 0)
        return line;
    return int(send(Sci::SCI_LINEFROMPOSITION, startAfter(realEnds().at(size_t(line - 1)))));
}

int TXMLEditor::Private::realLine(int shown) const
{
    if (!pieces())
        return shown;
    // The lines of the file that start on this shown line or above: the line ends before them.
    const std::vector<qsizetype> &ends = realEnds();
    return int(std::partition_point(ends.begin(), ends.end(), [&](qsizetype end) {
        return send(Sci::SCI_LINEFROMPOSITION, startAfter(end)) <= shown;
    }) - ends.begin());
}

void TXMLEditor::Private::updateNumbers()
{
    const bool text = pieces();
    if (text != m_textMargin) {
        m_textMargin = text;
        m_sci->setMarginType(0, text ? QsciScintilla::TextMarginRightJustified : QsciScintilla::NumberMargin);
    }
    long first = 0;
    long last = 0;
    if (text) {
        // A screen above and below as well, so that a scroll by a page finds its numbers set.
        const long top = send(Sci::SCI_GETFIRSTVISIBLELINE);
        const long onScreen = std::max(1L, send(Sci::SCI_LINESONSCREEN));
        first = std::max(0L, top - onScreen);
        last = std::min(send(Sci::SCI_GETLINECOUNT), top + 2 * onScreen + 1);
    }
    if (!m_numbersStale && first == m_numbered.first && last == m_numbered.last)
        return;
    std::vector<Number> wanted;
    int previous = first == 0 ? -1 : realLine(int(first) - 1);
    for (long shown = first; shown < last; ++shown) {
        const int line = realLine(int(shown));
        if (line != previous)
            wanted.push_back({ int(shown), line + 1 });
        previous = line;
    }
    // Line by line: clearing all margin texts at once notifies once per shown line.
    for (const Number &old : m_numbers) {
        if (m_numbersStale || !std::binary_search(wanted.begin(), wanted.end(), old))
            m_sci->SendScintilla(Sci::SCI_MARGINSETTEXT, old.line, static_cast<const char *>(nullptr));
    }
    for (const Number &number : wanted) {
        if (!m_numbersStale && std::binary_search(m_numbers.begin(), m_numbers.end(), number))
            continue;
        const QByteArray digits = QByteArray::number(number.number);
        m_sci->SendScintilla(Sci::SCI_MARGINSETTEXT, number.line, digits.constData());
        send(Sci::SCI_MARGINSETSTYLE, number.line, Sci::STYLE_LINENUMBER);
    }
    m_numbers = std::move(wanted);
    m_numbered = { first, last };
    m_numbersStale = false;
}

void TXMLEditor::Private::updateGutterWidth()
{
    settle();
    m_numbersStale = true;
    updateNumbers();
    const int digits = std::max(minimumGutterDigits, digitCount(lineCount()));
    if (digits == m_gutterDigits)
        return;
    m_gutterDigits = digits;
    const QByteArray nines(digits, '9');
    const long width = m_sci->SendScintilla(Sci::SCI_TEXTWIDTH, Sci::STYLE_LINENUMBER, nines.constData());
    m_sci->setMarginWidth(0, int(width) + 8);
}
