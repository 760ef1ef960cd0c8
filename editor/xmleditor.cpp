#include "editor/xmleditor.h"

#include "editor/documenttext.h"
#include "editor/linetags.h"
#include "editor/qsci.h"
#include "editor/virtualbreaks.h"
#include "platform/exception.h"
#include "platform/textformat.h"
#include "platform/widgets/application.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QMimeData>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace xmleditor {
bool (*assistiveTechnologyActive)() = &QAccessible::isActive;
} // namespace xmleditor

namespace {

using Sci = QsciScintillaBase;

constexpr int errorIndicator = Sci::INDIC_CONTAINER;
constexpr int stopIndicator = Sci::INDIC_CONTAINER + 1;
constexpr int symbolMarginWidth = 17;
constexpr int minimumGutterDigits = 4;
constexpr long typingRoom = 64 * 1024;
// The named font when it is installed, else the platform's fixed-pitch font; drawn without
// anti-aliasing.
QFont monospaceFont(const QString &family, qreal pointSize)
{
    QFont font = QFontDatabase::families().contains(family)
        ? QFont(family)
        : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

int digitCount(int value)
{
    int digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

class ScintillaView : public QsciScintilla
{
public:
    using QsciScintilla::QsciScintilla;
    VirtualBreaks breaks;
    // Called before each paint and after each resize, so that the gutter is current when drawn.
    std::function<void()> beforePaint;
    // Called after each event the view handles, since any of them may have edited the text.
    std::function<void()> afterEvent;

    bool event(QEvent *event) override
    {
        const bool handled = QsciScintilla::event(event);
        if (afterEvent)
            afterEvent();
        return handled;
    }

protected:
    bool viewportEvent(QEvent *event) override
    {
        const bool handled = QsciScintilla::viewportEvent(event);
        if (afterEvent && event->type() != QEvent::Paint)
            afterEvent();
        return handled;
    }
    void paintEvent(QPaintEvent *event) override
    {
        if (beforePaint)
            beforePaint();
        QsciScintilla::paintEvent(event);
    }
    void resizeEvent(QResizeEvent *event) override
    {
        QsciScintilla::resizeEvent(event);
        if (beforePaint)
            beforePaint();
    }

    // Copied or dragged text leaves the virtual breaks behind, as the file would.
    QMimeData *toMimeData(const QByteArray &text, bool rectangular) const override
    {
        if (breaks.empty() || rectangular) // a rectangle's rows lie within shown lines
            return QsciScintilla::toMimeData(text, rectangular);
        // The text is that of the selections in turn; each is found in it and loses its breaks.
        QByteArray real;
        real.reserve(text.size());
        qsizetype done = 0;
        const long selections = SendScintilla(SCI_GETSELECTIONS);
        for (long i = 0; i < selections; ++i) {
            const long start = SendScintilla(SCI_GETSELECTIONNSTART, i);
            const long end = SendScintilla(SCI_GETSELECTIONNEND, i);
            if (breaks.countIn(start, end) == 0)
                continue;
            const auto *range = reinterpret_cast<const char *>(
                SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(start), end - start));
            const QByteArray raw = QByteArray::fromRawData(range, end - start);
            const qsizetype at = text.indexOf(raw, done);
            if (at < 0)
                continue;
            real.append(text.constData() + done, at - done);
            real.append(breaks.withoutBreaks(range, end - start, start));
            done = at + raw.size();
        }
        real.append(text.constData() + done, text.size() - done);
        return QsciScintilla::toMimeData(real, rectangular);
    }
};

// QScintilla's accessibility object answers every change of the caret with the number of characters
// before it, counted from the start of the text: on a large file each keystroke paid a pass over
// it. While no assistive technology listens, the editor has a plain accessible widget instead.
QAccessibleInterface *plainEditorAccessible(const QString &className, QObject *object)
{
    if (className != "QsciScintilla"_L1 || xmleditor::assistiveTechnologyActive())
        return nullptr;
    auto *view = dynamic_cast<ScintillaView *>(object);
    return view ? new QAccessibleWidget(view, QAccessible::EditableText) : nullptr;
}

ScintillaView *createView(QWidget *parent)
{
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(plainEditorAccessible); });
    return new ScintillaView(parent);
}

} // namespace

struct TXMLEditor::Private
{
    Private(TXMLEditor *editor, ScintillaView *view)
        : owner(editor)
        , sci(view)
        , tags(view)
    {
    }

    long send(unsigned int message, unsigned long wParam = 0, long lParam = 0) const
    {
        return sci->SendScintilla(message, wParam, lParam);
    }

    // The document's bytes, valid until the next change of the text.
    const char *characters() const
    {
        return static_cast<const char *>(sci->SendScintillaPtrResult(Sci::SCI_GETCHARACTERPOINTER));
    }
    qsizetype length() const { return send(Sci::SCI_GETLENGTH); }

    const VirtualBreaks &breaks() const { return sci->breaks; }
    // True while some line is shown in pieces: the gutter then numbers the file's lines itself.
    bool pieces() const { return !sci->breaks.empty(); }

    int lineCount() const { return pieces() ? int(realEnds().size()) + 1 : int(send(Sci::SCI_GETLINECOUNT)); }

    void checkLine(int line) const
    {
        if (line < 0 || line >= lineCount())
            throw EArgumentOutOfRangeException(
                u"Line index %1 out of bounds (0..%2)"_s.arg(line).arg(lineCount() - 1));
    }

    // The byte at a document position, without moving Scintilla's gap.
    char charAt(qsizetype at) const { return char(send(Sci::SCI_GETCHARAT, static_cast<unsigned long>(at))); }

    // Where the file's line that ends at the byte at `end` (an LF or a real CR) is followed by the
    // next: after the line end and any virtual breaks right after a CR.
    qsizetype startAfter(qsizetype end) const
    {
        qsizetype at = end + 1;
        if (charAt(end) == '\r') {
            while (breaks().contains(at))
                ++at;
        }
        return at;
    }

    // A file's line ends at an LF or at a CR of its own that no LF follows in its text. The document
    // positions of these line ends, found once in the whole text and then kept with every edit.
    const std::vector<qsizetype> &realEnds() const
    {
        if (!realEndsValid) {
            realEndsCache.clear();
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
                         && (p = static_cast<const char *>(
                                 std::memchr(p, byte, size_t(begin + partSize - p))));)
                        found(base + (p++ - begin));
                }
            };
            std::vector<qsizetype> &ends = realEndsCache;
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
            realEndsValid = !editing;
        }
        return realEndsCache;
    }

    // The line ends kept through an edit of the document at position: the bytes [position,
    // position + removed) went, inserted bytes came in their place; the virtual breaks have moved.
    // Only the line ends near the edit are looked at again, so that a new line in a text of
    // millions of pieces costs what its neighbourhood does.
    void followEdit(qsizetype position, qsizetype removed, qsizetype inserted)
    {
        if (!realEndsValid)
            return;
        // A large text put in (an undo of a whole text in pieces, say) is looked at faster with the
        // rest, in one pass beside the sorted virtual breaks.
        constexpr qsizetype largeInsertion = 1024 * 1024;
        if (!pieces() || inserted > largeInsertion) {
            realEndsValid = false;
            gutterTimer.start();
            return;
        }
        std::vector<qsizetype> &ends = realEndsCache;
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
            gutterTimer.start();
    }

    // Line of the file (from 0) to the shown line it starts on, and back; the same with no virtual
    // breaks. Looked up in the kept line ends, so that neither costs more than a search.
    int shownLine(int line) const
    {
        if (!pieces() || line == 0)
            return line;
        return int(send(Sci::SCI_LINEFROMPOSITION, startAfter(realEnds().at(size_t(line - 1)))));
    }
    int realLine(int shown) const
    {
        if (!pieces())
            return shown;
        // The lines of the file that start on this shown line or above: the line ends before them.
        const std::vector<qsizetype> &ends = realEnds();
        return int(std::partition_point(ends.begin(), ends.end(), [&](qsizetype end) {
            return send(Sci::SCI_LINEFROMPOSITION, startAfter(end)) <= shown;
        }) - ends.begin());
    }

    // The document's bytes without its virtual breaks: the file's text.
    QByteArray realText() const
    {
        if (!pieces())
            return QByteArray(characters(), length());
        return breaks().withoutBreaks(characters(), length());
    }

    // A text in pieces has the file's line numbers in the gutter as margin texts, beside the first
    // piece of each line; only around the view, since a new line renumbers every line below it.
    void updateNumbers()
    {
        const bool text = pieces();
        if (text != textMargin) {
            textMargin = text;
            sci->setMarginType(
                0, text ? QsciScintilla::TextMarginRightJustified : QsciScintilla::NumberMargin);
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
        if (!numbersStale && first == numbered.first && last == numbered.last)
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
        for (const Number &old : numbers) {
            if (numbersStale || !std::binary_search(wanted.begin(), wanted.end(), old))
                sci->SendScintilla(Sci::SCI_MARGINSETTEXT, old.line, static_cast<const char *>(nullptr));
        }
        for (const Number &number : wanted) {
            if (!numbersStale && std::binary_search(numbers.begin(), numbers.end(), number))
                continue;
            const QByteArray digits = QByteArray::number(number.number);
            sci->SendScintilla(Sci::SCI_MARGINSETTEXT, number.line, digits.constData());
            send(Sci::SCI_MARGINSETSTYLE, number.line, Sci::STYLE_LINENUMBER);
        }
        numbers = std::move(wanted);
        numbered = { first, last };
        numbersStale = false;
    }

    void updateGutterWidth()
    {
        settle();
        numbersStale = true;
        updateNumbers();
        const int digits = std::max(minimumGutterDigits, digitCount(lineCount()));
        if (digits == gutterDigits)
            return;
        gutterDigits = digits;
        const QByteArray nines(digits, '9');
        const long width = sci->SendScintilla(Sci::SCI_TEXTWIDTH, Sci::STYLE_LINENUMBER, nines.constData());
        sci->setMarginWidth(0, int(width) + 8);
    }

    void centreLine(int line)
    {
        const long visible = send(Sci::SCI_VISIBLEFROMDOCLINE, line - 1);
        const long onScreen = send(Sci::SCI_LINESONSCREEN);
        send(Sci::SCI_SETFIRSTVISIBLELINE, std::max(0L, visible - onScreen / 2));
    }

    // Colouring runs from the end of what is coloured up to the view, so that a jump to the end of a
    // large text would colour all of it, in the background, while keys wait. When the view lies far
    // beyond (or above) what is coloured, colouring starts afresh where a line in view follows a
    // tag's end, as the lexer's state there is plain text; what lies between is coloured once it
    // comes into view.
    void colourFromView()
    {
        constexpr long farAway = 64 * 1024;
        const long top = send(Sci::SCI_DOCLINEFROMVISIBLE, send(Sci::SCI_GETFIRSTVISIBLELINE));
        const long viewStart = send(Sci::SCI_POSITIONFROMLINE, top);
        const long styled = send(Sci::SCI_GETENDSTYLED);
        if (viewStart >= colouredFrom && viewStart <= styled + farAway)
            return;
        // A line start that follows a '>' (line ends and virtual breaks between): up to a few
        // lines above the view, else the view's own first line.
        long from = viewStart;
        for (long line = top; line >= 0 && line > top - 64; --line) {
            const long start = send(Sci::SCI_POSITIONFROMLINE, line);
            long before = start - 1;
            while (before >= 0 && (charAt(before) == '\r' || charAt(before) == '\n'))
                --before;
            if (before < 0 || charAt(before) == '>') {
                from = start;
                break;
            }
        }
        colouredFrom = from;
        send(Sci::SCI_STARTSTYLING, static_cast<unsigned long>(from), 0);
    }

    // The byte position of an offset into the CR LF-joined text; ascending offsets are cheapest.
    long bytePosition(qint64 filePos)
    {
        if (!offsetCursorValid) {
            // Counted on the file's text: the virtual breaks are skipped.
            const VirtualBreaks::Places &skip = breaks().positions();
            offsetCursor.reset(characters(), length(), skip.data(), qsizetype(skip.size()));
            offsetCursorValid = true;
        }
        return long(offsetCursor.bytePosition(filePos));
    }

    // Scrolls sideways so that the text at position shows with a quarter of the view of context to
    // its left and, where it fits as well, up to the end of its tag (the next '>' on its line).
    void revealPosition(long position)
    {
        const long line = send(Sci::SCI_LINEFROMPOSITION, position);
        const long lineStart = send(Sci::SCI_POSITIONFROMLINE, line);
        const long lineEnd = send(Sci::SCI_GETLINEENDPOSITION, line);
        const auto *text
            = reinterpret_cast<const char *>(send(Sci::SCI_GETRANGEPOINTER, position, lineEnd - position));
        const void *close = text ? std::memchr(text, '>', size_t(std::max(0L, lineEnd - position))) : nullptr;
        const long end = close ? position + long(static_cast<const char *>(close) - text) + 1 : lineEnd;
        // Distances from the line's start, whatever the view's offset is now.
        const long xOffset = send(Sci::SCI_GETXOFFSET);
        const long textLeft = send(Sci::SCI_POINTXFROMPOSITION, 0, lineStart) + xOffset;
        const long at = send(Sci::SCI_POINTXFROMPOSITION, 0, position) + xOffset - textLeft;
        const long endAt = send(Sci::SCI_POINTXFROMPOSITION, 0, end) + xOffset - textLeft;
        const long width = std::max(1L, long(sci->viewport()->width()) - textLeft);
        long offset = 0;
        if (endAt > width) {
            offset = at - width / 4;
            // A tag wider than the rest of the view keeps its start in view.
            offset = std::max(offset, std::min(endAt - width, at - width / 16));
            offset = std::max(0L, offset);
        }
        // Scintilla widens its scrolling range only as it draws wider lines; a narrower range would
        // take the offset back to its end.
        const long needed = offset + sci->viewport()->width();
        if (send(Sci::SCI_GETSCROLLWIDTH) < needed)
            send(Sci::SCI_SETSCROLLWIDTH, static_cast<unsigned long>(needed));
        send(Sci::SCI_SETXOFFSET, static_cast<unsigned long>(offset));
    }

    // The caret to a byte position, its line centred, the position itself in view.
    void gotoBytePosition(long position, bool visible)
    {
        send(Sci::SCI_GOTOPOS, position);
        const int line = int(send(Sci::SCI_LINEFROMPOSITION, position)) + 1;
        centreLine(line);
        revealPosition(position);
        // A hidden editor may not know its final size yet; place the view again once it is shown.
        pendingCentreLine = visible ? 0 : line;
        pendingReveal = visible ? -1 : position;
    }

    // The view where it is wanted for a hidden editor, now that it is shown with its size.
    void placePending()
    {
        if (pendingCentreLine > 0)
            centreLine(pendingCentreLine);
        if (pendingReveal >= 0 && pendingReveal == send(Sci::SCI_GETCURRENTPOS))
            revealPosition(long(pendingReveal));
        else if (pendingCentreLine > 0)
            send(Sci::SCI_SCROLLCARET);
        pendingCentreLine = 0;
        pendingReveal = -1;
    }

    // Scintilla tells of an edit before it makes it; what follows from the edit waits until it is
    // done, which the next notice, any call of the editor, the end of the event that made it or
    // the next pass of the event loop finds. QScintilla's own notice after an edit counts the
    // characters from the start of the text for its accessibility events, which cost every
    // keystroke a pass over the text before the caret; so it is not asked for.
    void onNotice(int position, int type, int length)
    {
        settle();
        if (!(type & (Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE)))
            return;
        const long lines = send(Sci::SCI_GETLINECOUNT);
        onModified(position, type, length, 0);
        pending = PendingEdit { type, position, length, lines };
        settleTimer.start();
    }

    // While an assistive technology listens, QScintilla's notices after each edit tell it of the
    // change, at the cost of that count; the editor's own work still follows the notice before.
    void followAccessibility()
    {
        const bool active = xmleditor::assistiveTechnologyActive();
        if (eventMask >= 0 && active == ((eventMask & Sci::SC_MOD_INSERTTEXT) != 0))
            return;
        eventMask = Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE
            | (active ? Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT : 0);
        send(Sci::SCI_SETMODEVENTMASK, static_cast<unsigned long>(eventMask));
    }

    // The edit announced last, now made: the line ends, breaks, marks and gutter follow it.
    void settle()
    {
        if (!pending)
            return;
        const PendingEdit edit = *pending;
        pending.reset();
        const int linesAdded = int(send(Sci::SCI_GETLINECOUNT) - edit.linesBefore);
        const int performed
            = edit.type & (Sci::SC_PERFORMED_USER | Sci::SC_PERFORMED_UNDO | Sci::SC_PERFORMED_REDO);
        const int made
            = (edit.type & Sci::SC_MOD_BEFOREINSERT) ? Sci::SC_MOD_INSERTTEXT : Sci::SC_MOD_DELETETEXT;
        onModified(int(edit.position), made | performed, int(edit.length), linesAdded);
        if (linesAdded != 0) {
            if (pieces() || !numbers.empty())
                gutterTimer.start();
            else
                updateGutterWidth();
        }
        Q_EMIT owner->textChanged();
    }

    // Keeps the caret's last column through an edit that leaves the text before its position on its
    // line as it was, or changes it by characters without a line end: typing on a long line then
    // counts only what lies between the column's position and the caret, not the line from its start.
    void followColumn(bool known, qsizetype position, int type, qsizetype length)
    {
        Column &c = lastColumn;
        if (!known)
            return;
        const auto range = [this](qsizetype from, qsizetype size) {
            return reinterpret_cast<const char *>(
                send(Sci::SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), long(size)));
        };
        const auto hasLineEnd = [](const char *text, qsizetype size) {
            return std::memchr(text, '\n', size_t(size)) || std::memchr(text, '\r', size_t(size));
        };
        if ((type & Sci::SC_MOD_DELETETEXT) || position >= c.position) {
            // Adjusted before the deletion, or made after the column's position.
        } else if (position < c.lineStart) {
            return;
        } else if (type & Sci::SC_MOD_BEFOREDELETE) {
            const qsizetype to = std::min(position + length, c.position);
            const char *text = range(position, to - position);
            if (hasLineEnd(text, to - position))
                return;
            c.units -= utf16Length(text, to - position) - breaks().countIn(position, to);
            c.position = position + length <= c.position ? c.position - length : position;
        } else if (type & Sci::SC_MOD_INSERTTEXT) {
            const char *text = range(position, length);
            if (hasLineEnd(text, length))
                return;
            c.units += utf16Length(text, length);
            c.position += length;
        }
        c.version = textVersion;
    }

    void onModified(int position, int type, int length, int linesAdded)
    {
        if (type & (Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE))
            editing = true;
        if (type & (Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT | Sci::SC_MOD_BEFOREDELETE)) {
            const bool columnKnown = lastColumn.version == textVersion;
            ++textVersion;
            offsetCursorValid = false;
            followColumn(columnKnown, position, type, length);
        }
        if (type & Sci::SC_MOD_BEFOREDELETE)
            tags.beforeDelete(position, length);
        const VirtualBreaks::Change change = (type & Sci::SC_PERFORMED_UNDO) ? VirtualBreaks::Change::Undo
            : (type & Sci::SC_PERFORMED_REDO)                                ? VirtualBreaks::Change::Redo
                                                                             : VirtualBreaks::Change::User;
        if (type & Sci::SC_MOD_DELETETEXT) {
            tags.afterDelete();
            sci->breaks.deleted(position, length, change);
            followEdit(position, length, 0);
            editing = false;
        }
        if (type & Sci::SC_MOD_INSERTTEXT) {
            sci->breaks.inserted(
                position, length, change,
                [this](
                    qsizetype at) { return char(send(Sci::SCI_GETCHARAT, static_cast<unsigned long>(at))); },
                insertedBreaks);
            followEdit(position, 0, length);
            editing = false;
            if (change == VirtualBreaks::Change::User && !insertedBreaks)
                noteTyped(position, length);
        }
        if (linesAdded != 0 && !numbers.empty()) {
            // Scintilla moves the margin texts of the lines around an edit with the line ends it
            // joins or splits, which may leave a number where no line of the file starts any more.
            // The numbered lines below the edit moved with their texts, so that the gutter's next
            // update clears them where they are now.
            const qsizetype end = position + ((type & Sci::SC_MOD_INSERTTEXT) ? length : 0);
            const long first = send(Sci::SCI_LINEFROMPOSITION, position);
            const long last = send(Sci::SCI_LINEFROMPOSITION, static_cast<unsigned long>(end)) + 1;
            for (long line = std::max(0L, first - 1); line <= last; ++line)
                sci->SendScintilla(Sci::SCI_MARGINSETTEXT, line, static_cast<const char *>(nullptr));
            for (Number &number : numbers) {
                if (number.line > first)
                    number.line = int(std::max(first, number.line + long(linesAdded)));
            }
            numbersStale = true;
        }
        if (linesAdded != 0 && (pieces() || !numbers.empty()))
            gutterTimer.start();
        if (errorPositions.empty())
            return;
        if (type & Sci::SC_MOD_INSERTTEXT) {
            for (long &p : errorPositions) {
                if (p >= position)
                    p += length;
            }
        } else if (type & Sci::SC_MOD_DELETETEXT) {
            for (long &p : errorPositions) {
                if (p >= position + length)
                    p -= length;
                else if (p > position)
                    p = position;
            }
        }
    }

    // A line made long by typing or pasting is shown in pieces once the editor is idle.
    void noteTyped(qsizetype position, qsizetype length)
    {
        if (typedFrom < 0) {
            typedFrom = position;
            typedTo = position + length;
        } else {
            typedFrom = std::min(typedFrom, position);
            typedTo = std::max(typedTo + (position <= typedTo ? length : 0), position + length);
        }
        splitTimer.start();
    }

    // The shown lines around the typed text that are longer than a long line, each replaced by
    // itself with virtual breaks as one undo step; the caret and the view stay on the same text.
    void splitTypedLines()
    {
        settle();
        const qsizetype size = length();
        const qsizetype from = std::min(typedFrom, size);
        const qsizetype to = std::min(typedTo, size);
        typedFrom = typedTo = -1;
        if (from < 0)
            return;
        const int firstLine = int(send(Sci::SCI_LINEFROMPOSITION, from));
        const int lastLine = int(send(Sci::SCI_LINEFROMPOSITION, to));
        const long caret = send(Sci::SCI_GETCURRENTPOS);
        const long anchor = send(Sci::SCI_GETANCHOR);
        const long caretRow = send(Sci::SCI_LINEFROMPOSITION, caret) - send(Sci::SCI_GETFIRSTVISIBLELINE);
        long newCaret = caret;
        long newAnchor = anchor;
        bool split = false;
        // From the last line up, so that the lines above keep their numbers.
        for (int line = lastLine; line >= firstLine; --line) {
            const long start = send(Sci::SCI_POSITIONFROMLINE, line);
            const long end = send(Sci::SCI_GETLINEENDPOSITION, line);
            if (end - start <= VirtualBreaks::longLine)
                continue;
            const auto *text
                = reinterpret_cast<const char *>(send(Sci::SCI_GETRANGEPOINTER, start, end - start));
            const VirtualBreaks::Places offsets = VirtualBreaks::find(text, end - start);
            if (offsets.empty())
                continue;
            QByteArray pieces;
            pieces.reserve(end - start + qsizetype(offsets.size()));
            VirtualBreaks::Places inText;
            inText.reserve(offsets.size());
            qsizetype done = 0;
            for (const quint32 offset : offsets) {
                pieces.append(text + done, offset - done);
                inText.push_back(quint32(pieces.size()));
                pieces.append('\r');
                done = offset;
            }
            pieces.append(text + done, end - start - done);
            // A position in the line moves on by the breaks before it.
            const auto moved = [&](long position) {
                if (position <= start || position > end)
                    return position > end ? position + long(offsets.size()) : position;
                return position
                    + long(std::upper_bound(offsets.begin(), offsets.end(), quint32(position - start))
                        - offsets.begin());
            };
            newCaret = moved(newCaret);
            newAnchor = moved(newAnchor);
            if (!split)
                send(Sci::SCI_BEGINUNDOACTION);
            split = true;
            insertedBreaks = &inText;
            send(Sci::SCI_SETTARGETRANGE, start, end);
            sci->SendScintilla(Sci::SCI_REPLACETARGET, uintptr_t(pieces.size()), pieces.constData());
            settle();
            insertedBreaks = nullptr;
        }
        if (!split)
            return;
        send(Sci::SCI_ENDUNDOACTION);
        send(Sci::SCI_SETSELECTION, newCaret, newAnchor);
        send(
            Sci::SCI_SETFIRSTVISIBLELINE, std::max(0L, send(Sci::SCI_LINEFROMPOSITION, newCaret) - caretRow));
    }

    TXMLEditor *owner;
    ScintillaView *sci;
    LineTags tags;
    struct PendingEdit
    {
        int type = 0; // the notice's: before an insertion or a deletion, and by whom
        qsizetype position = 0;
        qsizetype length = 0;
        long linesBefore = 0;
    };
    std::optional<PendingEdit> pending;
    QTimer settleTimer;
    int eventMask = -1; // the notices asked of Scintilla
    // Byte position of the error with tag t at index t - 1; -1 when it has none.
    std::vector<long> errorPositions;
    documenttext::JoinedOffsetCursor offsetCursor;
    bool offsetCursorValid = false;
    mutable std::vector<qsizetype> realEndsCache;
    mutable bool realEndsValid = false;
    bool editing = false; // between Scintilla's notice before an edit and the edit's
    struct Number
    {
        int line; // shown
        int number;
        auto operator<=>(const Number &) const = default;
    };
    std::vector<Number> numbers; // the margin texts set, by shown line
    struct Range
    {
        long first = 0;
        long last = 0;
    } numbered; // the shown lines they were set for
    bool numbersStale = false; // some may have moved or lost their number
    bool textMargin = false;
    QTimer splitTimer;
    QTimer gutterTimer;
    // Counts the changes of the text, so that what was measured on it is known to be current.
    quint64 textVersion = 0;
    struct Column
    {
        quint64 version = ~quint64(0);
        qsizetype lineStart = -1;
        qsizetype position = 0;
        qsizetype units = 0; // UTF-16 units from lineStart to position
    };
    mutable Column lastColumn;
    qsizetype typedFrom = -1; // typed or pasted text not yet looked at for long lines
    qsizetype typedTo = -1;
    const VirtualBreaks::Places *insertedBreaks = nullptr; // of the text the editor puts in
    TextEncoding encoding = TextEncoding::Windows1252;
    int updateDepth = 0;
    int gutterDigits = 0;
    int pendingCentreLine = 0;
    qsizetype pendingReveal = -1; // the position a jump in a hidden editor shows once it is shown
    long colouredFrom = 0; // where the colouring that reaches the end of the coloured text started
};

TXMLEditor::TXMLEditor(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<Private>(this, createView(this)))
{
    ScintillaView *sci = d->sci;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sci);
    setFocusProxy(sci);

    sci->setUtf8(true);
    const QFont editorFont = monospaceFont(u"Courier New"_s, 10.0);
    // The gutter's font is 11 pixels high at 96 dots per inch.
    const QFont gutterFont = monospaceFont(u"Courier New"_s, 8.25);

    auto *lexer = new QsciLexerXML(sci);
    lexer->setDefaultFont(editorFont);
    for (int style = 0; style <= Sci::STYLE_MAX; ++style) {
        if (lexer->description(style).isEmpty())
            continue;
        QFont font = editorFont;
        font.setBold(lexer->font(style).bold());
        font.setItalic(lexer->font(style).italic());
        lexer->setFont(font, style);
    }
    sci->setLexer(lexer);
    sci->setFolding(QsciScintilla::NoFoldStyle);
    d->send(Sci::SCI_SETFONTQUALITY, Sci::SC_EFF_QUALITY_NON_ANTIALIASED);
    d->send(Sci::SCI_SETSCROLLWIDTHTRACKING, 1);
    // Colour only what comes into view, in idle steps: colouring the whole text after every edit
    // cost each keystroke near the top of a large file a pass over the rest of it.
    d->send(Sci::SCI_SETIDLESTYLING, Sci::SC_IDLESTYLING_TOVISIBLE);
    // Keep the layouts of a page and many more measured pieces of text: a file on one line is
    // one very long layout, measured piece by piece.
    d->send(Sci::SCI_SETLAYOUTCACHE, Sci::SC_CACHE_PAGE);
    d->send(Sci::SCI_SETPOSITIONCACHE, 65536);

    // Gutter: line numbers, then the error symbols in the 17 pixels to their right.
    sci->setMarginsFont(gutterFont);
    sci->setMarginType(0, QsciScintilla::NumberMargin);
    sci->setMarginMarkerMask(0, 0);
    sci->setMarginType(1, QsciScintilla::SymbolMargin);
    sci->setMarginMarkerMask(1, int(1u << LineTags::symbolMarker));
    sci->setMarginWidth(1, symbolMarginWidth);
    sci->setMarginWidth(2, 0);
    d->send(Sci::SCI_MARKERDEFINE, LineTags::symbolMarker, Sci::SC_MARK_CIRCLE);
    sci->SendScintilla(Sci::SCI_MARKERSETFORE, LineTags::symbolMarker, QColor(0x80, 0, 0));
    sci->SendScintilla(Sci::SCI_MARKERSETBACK, LineTags::symbolMarker, QColor(0xE0, 0x20, 0x20));
    d->updateGutterWidth();

    d->send(Sci::SCI_INDICSETSTYLE, errorIndicator, Sci::INDIC_SQUIGGLEPIXMAP);
    sci->SendScintilla(Sci::SCI_INDICSETFORE, errorIndicator, QColor(0xE0, 0x20, 0x20));
    d->send(Sci::SCI_INDICSETSTYLE, stopIndicator, Sci::INDIC_STRAIGHTBOX);
    sci->SendScintilla(Sci::SCI_INDICSETFORE, stopIndicator, QColor(0xE0, 0x20, 0x20));
    d->send(Sci::SCI_INDICSETALPHA, stopIndicator, 90);
    d->send(Sci::SCI_INDICSETOUTLINEALPHA, stopIndicator, 255);

    d->followAccessibility();
    connect(sci, &QsciScintillaBase::SCN_MODIFIED, this,
        [this](int position, int type, const char *, int length, int, int, int, int, int, int) {
            d->onNotice(position, type, length);
        });
    d->settleTimer.setSingleShot(true);
    d->settleTimer.setInterval(0);
    connect(&d->settleTimer, &QTimer::timeout, this, [this] { Guarded([this] { d->settle(); }); });
    sci->afterEvent = [this] {
        Guarded([this] {
            d->settle();
            d->followAccessibility();
        });
    };
    // The numbers around the view follow it before it is drawn.
    sci->beforePaint = [this] {
        Guarded([this] {
            d->settle();
            d->colourFromView();
            if (d->textMargin)
                d->updateNumbers();
        });
    };
    d->gutterTimer.setSingleShot(true);
    d->gutterTimer.setInterval(0);
    connect(&d->gutterTimer, &QTimer::timeout, this, [this] { Guarded([this] { d->updateGutterWidth(); }); });
    d->splitTimer.setSingleShot(true);
    d->splitTimer.setInterval(0);
    connect(&d->splitTimer, &QTimer::timeout, this, [this] { Guarded([this] { d->splitTypedLines(); }); });
    connect(sci, &QsciScintilla::cursorPositionChanged, this, &TXMLEditor::caretMoved);
    connect(sci, &QsciScintilla::modificationChanged, this, &TXMLEditor::modificationChanged);
}

TXMLEditor::~TXMLEditor()
{
    // The view outlives this part of the editor while its parent deletes it.
    d->sci->beforePaint = nullptr;
    d->sci->afterEvent = nullptr;
}

int TXMLEditor::lineCount() const
{
    d->settle();
    return d->lineCount();
}

int TXMLEditor::lineTag(int line) const
{
    d->settle();
    d->checkLine(line);
    return d->tags.tag(d->shownLine(line));
}

void TXMLEditor::setLineTag(int line, int tag)
{
    d->settle();
    d->checkLine(line);
    if (tag < 0)
        throw EArgumentOutOfRangeException(u"A line tag cannot be negative (%1)"_s.arg(tag));
    d->tags.setTag(d->shownLine(line), tag);
}

int TXMLEditor::findLineWithTag(int tag) const
{
    d->settle();
    const int shown = d->tags.findLine(tag);
    return shown < 0 ? shown : d->realLine(shown);
}

void TXMLEditor::clearLineTags()
{
    d->settle();
    TXMLEditorUpdateGuard guard(*this);
    d->tags.clear();
}

void TXMLEditor::addErrorUnderline(qint64 filePos, int length)
{
    d->settle();
    if (filePos < 0)
        return;
    const long start = d->bytePosition(filePos);
    long end;
    if (length >= 0) {
        documenttext::JoinedOffsetCursor ahead = d->offsetCursor;
        end = long(ahead.bytePosition(filePos + length));
    } else {
        const long line = d->send(Sci::SCI_LINEFROMPOSITION, start);
        const long lineEnd = d->send(Sci::SCI_GETLINEENDPOSITION, line);
        const auto *text
            = reinterpret_cast<const char *>(d->send(Sci::SCI_GETRANGEPOINTER, start, lineEnd - start));
        const void *close = text ? std::memchr(text, '>', size_t(lineEnd - start)) : nullptr;
        end = close ? start + long(static_cast<const char *>(close) - text) + 1 : lineEnd;
    }
    if (end <= start)
        return;
    d->send(Sci::SCI_SETINDICATORCURRENT, errorIndicator);
    d->send(Sci::SCI_INDICATORFILLRANGE, start, end - start);
}

void TXMLEditor::clearErrorMarks()
{
    d->settle();
    TXMLEditorUpdateGuard guard(*this);
    d->tags.clear();
    d->errorPositions.clear();
    for (const int indicator : { errorIndicator, stopIndicator }) {
        d->send(Sci::SCI_SETINDICATORCURRENT, indicator);
        d->send(Sci::SCI_INDICATORCLEARRANGE, 0, d->length());
    }
}

void TXMLEditor::setErrorPosition(int tag, qint64 filePos)
{
    d->settle();
    if (tag <= 0)
        throw EArgumentOutOfRangeException(u"An error's tag must be positive (%1)"_s.arg(tag));
    if (filePos < 0)
        return;
    if (size_t(tag) > d->errorPositions.size())
        d->errorPositions.resize(size_t(tag), -1);
    const long position = d->bytePosition(filePos);
    d->errorPositions[size_t(tag - 1)] = position;
    // A long line shown in pieces shows the error's symbol on the piece of its position.
    if (d->pieces())
        d->send(Sci::SCI_MARKERADD, d->send(Sci::SCI_LINEFROMPOSITION, position), LineTags::symbolMarker);
}

bool TXMLEditor::gotoErrorPosition(int tag)
{
    d->settle();
    if (tag <= 0 || size_t(tag) > d->errorPositions.size() || d->errorPositions[size_t(tag - 1)] < 0)
        return false;
    d->gotoBytePosition(d->errorPositions[size_t(tag - 1)], isVisible());
    return true;
}

int TXMLEditor::adjacentErrorTag(int current, bool forward) const
{
    d->settle();
    // Errors ordered by (position, tag); the caret's own key lies between them.
    using Key = std::pair<long, int>;
    const long caret = d->send(Sci::SCI_GETCURRENTPOS);
    const bool onCurrent = current > 0 && size_t(current) <= d->errorPositions.size()
        && d->errorPositions[size_t(current - 1)] == caret;
    const Key here { caret, onCurrent ? current : (forward ? std::numeric_limits<int>::max() : 0) };
    std::optional<Key> best;
    std::optional<Key> wrap;
    for (size_t i = 0; i < d->errorPositions.size(); ++i) {
        if (d->errorPositions[i] < 0)
            continue;
        const Key key { d->errorPositions[i], int(i + 1) };
        if (forward) {
            if (key > here && (!best || key < *best))
                best = key;
            if (!wrap || key < *wrap)
                wrap = key;
        } else {
            if (key < here && (!best || key > *best))
                best = key;
            if (!wrap || key > *wrap)
                wrap = key;
        }
    }
    if (best)
        return best->second;
    return wrap ? wrap->second : 0;
}

int TXMLEditor::errorPositionCount() const
{
    d->settle();
    return int(std::count_if(
        d->errorPositions.begin(), d->errorPositions.end(), [](long position) { return position >= 0; }));
}

void TXMLEditor::addStopMark(qint64 filePos)
{
    d->settle();
    if (filePos < 0)
        return;
    const long length = long(d->length());
    long start = std::min(d->bytePosition(filePos), length);
    const long lineEnd = d->send(Sci::SCI_GETLINEENDPOSITION, d->send(Sci::SCI_LINEFROMPOSITION, start));
    const auto *text
        = reinterpret_cast<const char *>(d->send(Sci::SCI_GETRANGEPOINTER, start, lineEnd - start));
    const void *close = text ? std::memchr(text, '>', size_t(lineEnd - start)) : nullptr;
    long end = close ? start + long(static_cast<const char *>(close) - text) + 1 : lineEnd;
    const long lineStart = d->send(Sci::SCI_POSITIONFROMLINE, d->send(Sci::SCI_LINEFROMPOSITION, start));
    const auto *before
        = reinterpret_cast<const char *>(d->send(Sci::SCI_GETRANGEPOINTER, lineStart, start - lineStart));
    // Right after a tag (an end tag that does not match, say) the parser stopped in that tag;
    // else in the tag it stood in, from its '<', when it stopped inside one on this line.
    const bool afterTag = before && start > lineStart && before[start - 1 - lineStart] == '>';
    if (afterTag)
        end = start;
    for (long p = start - 1 - (afterTag ? 1 : 0); before && p >= lineStart && before[p - lineStart] != '>';
         --p) {
        if (before[p - lineStart] == '<') {
            start = p;
            break;
        }
    }
    // At the end of a line or of the text the mark takes the character before, so that it shows.
    if (end <= start) {
        if (start == 0)
            return;
        start = long(d->send(Sci::SCI_POSITIONBEFORE, start));
        end = long(d->send(Sci::SCI_POSITIONAFTER, start));
    }
    d->send(Sci::SCI_SETINDICATORCURRENT, stopIndicator);
    d->send(Sci::SCI_INDICATORFILLRANGE, start, end - start);
}

void TXMLEditor::gotoFilePosition(qint64 filePos)
{
    d->settle();
    d->gotoBytePosition(
        std::min(d->bytePosition(std::max<qint64>(filePos, 0)), long(d->length())), isVisible());
}

bool TXMLEditor::isModified() const
{
    d->settle();
    return d->send(Sci::SCI_GETMODIFY) != 0;
}

QString TXMLEditor::text() const
{
    d->settle();
    if (d->pieces()) {
        const QByteArray real = d->realText();
        return fromUtf8JoiningLines(real.constData(), real.size());
    }
    return fromUtf8JoiningLines(d->characters(), d->length());
}

QByteArray TXMLEditor::textUtf8() const
{
    d->settle();
    if (d->pieces())
        return utf8JoiningLines(d->realText());
    return utf8JoiningLines(d->characters(), d->length());
}

bool TXMLEditor::isBlank() const
{
    d->settle();
    // Piece by piece: the whole text at once would move Scintilla's gap to the end after every
    // edit, and a text that is not blank usually shows it in its first bytes.
    constexpr long piece = 64 * 1024;
    const long length = long(d->length());
    for (long position = 0; position < length; position += piece) {
        const long size = std::min(piece, length - position);
        const auto *p
            = reinterpret_cast<const unsigned char *>(d->send(Sci::SCI_GETRANGEPOINTER, position, size));
        if (!std::all_of(p, p + size, [](unsigned char b) { return b <= 0x20; }))
            return false;
    }
    return true;
}

void TXMLEditor::setText(const QString &text)
{
    d->settle();
    TXMLEditorUpdateGuard guard(*this);
    const QByteArray bytes = toUtf8KeepingSurrogates(text);
    // The virtual breaks go with the text they were in (and come back with an undo).
    d->send(Sci::SCI_SETTARGETRANGE, 0, d->length());
    d->sci->SendScintilla(Sci::SCI_REPLACETARGET, uintptr_t(bytes.size()), bytes.constData());
    d->settle();
    // A text set as a whole is shown as it is.
    d->splitTimer.stop();
    d->typedFrom = d->typedTo = -1;
    clearErrorMarks();
    d->updateGutterWidth();
}

int TXMLEditor::caretColumn() const
{
    d->settle();
    const long position = d->send(Sci::SCI_GETCURRENTPOS);
    const int shown = int(d->send(Sci::SCI_LINEFROMPOSITION, position));
    const long lineStart = d->send(Sci::SCI_POSITIONFROMLINE, d->shownLine(d->realLine(shown)));
    // The status bar asks after every event; on a long line the caret's last column is the start,
    // so that only the bytes between the two are counted.
    Private::Column &last = d->lastColumn;
    const bool onward = last.version == d->textVersion && last.lineStart == lineStart;
    const long from = onward ? std::min(long(last.position), position) : lineStart;
    const long to = onward ? std::max(long(last.position), position) : position;
    const auto *text = reinterpret_cast<const char *>(d->send(Sci::SCI_GETRANGEPOINTER, from, to - from));
    // The virtual breaks on the way count for nothing.
    const qsizetype units = utf16Length(text, to - from) - d->breaks().countIn(from, to);
    last.units = !onward ? units : position >= last.position ? last.units + units : last.units - units;
    last.position = position;
    last.lineStart = lineStart;
    last.version = d->textVersion;
    return int(last.units) + 1;
}

int TXMLEditor::caretLine() const
{
    d->settle();
    return d->realLine(int(d->send(Sci::SCI_LINEFROMPOSITION, d->send(Sci::SCI_GETCURRENTPOS)))) + 1;
}

void TXMLEditor::gotoLine(int line)
{
    d->settle();
    line = std::clamp(line, 1, lineCount());
    d->send(Sci::SCI_GOTOLINE, d->shownLine(line - 1));
    d->centreLine(d->shownLine(line - 1) + 1);
    d->send(Sci::SCI_SETXOFFSET, 0);
    // A hidden editor may not know its final height yet; centre again once it is shown.
    d->pendingCentreLine = isVisible() ? 0 : d->shownLine(line - 1) + 1;
    d->pendingReveal = -1;
}

void TXMLEditor::gotoFilePos(qint64 filePos)
{
    d->settle();
    const long position = std::min(d->bytePosition(std::max<qint64>(filePos, 0)), long(d->length()));
    gotoLine(d->realLine(int(d->send(Sci::SCI_LINEFROMPOSITION, position))) + 1);
    d->send(Sci::SCI_GOTOPOS, position);
    d->revealPosition(position);
    d->pendingReveal = isVisible() ? -1 : position;
}

int TXMLEditor::firstVisibleLine() const
{
    d->settle();
    return d->realLine(int(d->send(Sci::SCI_DOCLINEFROMVISIBLE, d->send(Sci::SCI_GETFIRSTVISIBLELINE)))) + 1;
}

int TXMLEditor::visibleLineCount() const
{
    d->settle();
    return int(d->send(Sci::SCI_LINESONSCREEN));
}

void TXMLEditor::beginUpdate()
{
    if (d->updateDepth++ == 0)
        d->sci->setUpdatesEnabled(false);
}

void TXMLEditor::endUpdate()
{
    if (d->updateDepth > 0 && --d->updateDepth == 0)
        d->sci->setUpdatesEnabled(true); // schedules the one repaint
}

void TXMLEditor::loadFromFile(const QString &fileName)
{
    d->settle();
    TextEncoding encoding;
    // A UTF-8 file becomes the document as it is, without a copy; any other its UTF-8 form, with
    // the unpaired surrogates of a UTF-16 file kept.
    QByteArray document = toUtf8Text(readFileBytes(fileName), &encoding);
    const LineEnd lineEnd = dominantLineEnd(document.constData(), document.size());
    VirtualBreaks::Places breaks = VirtualBreaks::find(document.constData(), document.size());

    TXMLEditorUpdateGuard guard(*this);
    // Without change notifications while the text is replaced: QScintilla would copy the whole text
    // for each, and the tags and underlines are cleared below anyway.
    d->send(Sci::SCI_SETMODEVENTMASK, 0);
    d->send(Sci::SCI_SETUNDOCOLLECTION, 0);
    d->send(Sci::SCI_CLEARALL);
    // The lines went with their margin texts, but for the first.
    d->sci->SendScintilla(Sci::SCI_MARGINSETTEXT, 0UL, static_cast<const char *>(nullptr));
    d->numbers.clear();
    d->gutterDigits = 0;
    // Room for the text, its virtual breaks and some typing, so that neither the first read nor
    // the first keystrokes make Scintilla copy its whole buffer.
    d->send(Sci::SCI_ALLOCATE, document.size() + qsizetype(breaks.size()) + typingRoom);
    const char *const data = document.constData();
    if (breaks.empty()) {
        d->sci->SendScintilla(Sci::SCI_APPENDTEXT, uintptr_t(document.size()), data);
    } else {
        // A megabyte at a time with its breaks put in, so that no second copy of the text is made.
        constexpr qsizetype chunk = 1024 * 1024;
        QByteArray staged;
        staged.reserve(chunk + 1);
        qsizetype from = 0;
        auto flush = [&] {
            d->sci->SendScintilla(Sci::SCI_APPENDTEXT, uintptr_t(staged.size()), staged.constData());
            staged.resize(0);
        };
        for (size_t i = 0; i <= breaks.size(); ++i) {
            const qsizetype to = i < breaks.size() ? breaks[i] : document.size();
            while (from < to) {
                if (staged.size() >= chunk)
                    flush();
                const qsizetype part = std::min(to - from, chunk - staged.size());
                staged.append(data + from, part);
                from += part;
            }
            if (i < breaks.size())
                staged.append('\r');
        }
        flush();
    }
    document = QByteArray();
    d->send(Sci::SCI_EMPTYUNDOBUFFER);
    d->send(Sci::SCI_SETUNDOCOLLECTION, 1);
    d->send(Sci::SCI_SETSAVEPOINT);
    d->send(Sci::SCI_SETMODEVENTMASK, static_cast<unsigned long>(d->eventMask));
    d->sci->breaks.reset(std::move(breaks));
    d->colouredFrom = 0;
    ++d->textVersion; // changed without notifications
    d->splitTimer.stop();
    d->typedFrom = d->typedTo = -1;
    d->offsetCursorValid = false;
    d->realEndsValid = false;

    // New lines typed into the file get its own line end; the existing ones stay as they are.
    switch (lineEnd) {
    case LineEnd::CrLf:
        d->sci->setEolMode(QsciScintilla::EolWindows);
        break;
    case LineEnd::Lf:
        d->sci->setEolMode(QsciScintilla::EolUnix);
        break;
    case LineEnd::Cr:
        d->sci->setEolMode(QsciScintilla::EolMac);
        break;
    }
    d->encoding = encoding;
    clearErrorMarks();
    d->updateGutterWidth();
    // From the first line, also in an editor not shown yet: one too small to hold a line would
    // scroll the caret's line out of view, and keep it so once shown.
    d->send(Sci::SCI_GOTOPOS, 0);
    d->send(Sci::SCI_SETFIRSTVISIBLELINE, 0);
    d->send(Sci::SCI_SETXOFFSET, 0);
    d->pendingCentreLine = isVisible() ? 0 : 1;
    d->pendingReveal = isVisible() ? -1 : 0;
    Q_EMIT textChanged();
}

void TXMLEditor::saveToFile(const QString &fileName)
{
    d->settle();
    const QByteArray real = d->pieces() ? d->realText() : QByteArray();
    const char *data = d->pieces() ? real.constData() : d->characters();
    const qsizetype size = d->pieces() ? real.size() : d->length();
    const bool utf8 = d->encoding == TextEncoding::Utf8 || d->encoding == TextEncoding::Utf8Bom;
    QByteArray bytes;
    if (utf8 && !containsSurrogateSequence(data, size)) {
        // The document is the file's UTF-8 already; write it without a copy where possible.
        if (d->encoding == TextEncoding::Utf8Bom)
            bytes = byteOrderMark(d->encoding).toByteArray() + QByteArray::fromRawData(data, size);
        else
            bytes = QByteArray::fromRawData(data, size);
    } else {
        bytes = encodeUtf8Text(data, size, d->encoding);
    }
    writeFileAtomically(fileName, bytes);
    d->send(Sci::SCI_SETSAVEPOINT);
}

TextEncoding TXMLEditor::encoding() const
{
    return d->encoding;
}

void TXMLEditor::setEncoding(TextEncoding encoding)
{
    d->encoding = encoding;
}

void TXMLEditor::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    d->placePending();
}
