#pragma once
// The parts of TXMLEditor that its source files share: the Scintilla view, the private class and the
// settings of the view. The gutter's line ends and numbers are in xmleditor_gutter.cpp, loading and
// saving in xmleditor_file.cpp, the rest in xmleditor.cpp.

#include "editor/documenttext.h"
#include "editor/linetags.h"
#include "editor/qsci.h"
#include "editor/virtualbreaks.h"
#include "editor/xmleditor.h"
#include "platform/exception.h"
#include "platform/textformat.h"

#include <QEvent>
#include <QMimeData>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace xmleditor {

using Sci = QsciScintillaBase;

constexpr int errorIndicator = Sci::INDIC_CONTAINER;
constexpr int stopIndicator = Sci::INDIC_CONTAINER + 1;
constexpr int symbolMarginWidth = 17;
constexpr int minimumGutterDigits = 4;
constexpr long typingRoom = 64 * 1024;

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

} // namespace xmleditor

using xmleditor::ScintillaView;
using Sci = xmleditor::Sci;

struct TXMLEditor::Private
{
    Private(TXMLEditor *editor, ScintillaView *view)
        : m_owner(editor)
        , m_sci(view)
        , m_tags(view)
    {
    }

    long send(unsigned int message, unsigned long wParam = 0, long lParam = 0) const
    {
        return m_sci->SendScintilla(message, wParam, lParam);
    }

    // The document's bytes, valid until the next change of the text.
    const char *characters() const
    {
        return static_cast<const char *>(m_sci->SendScintillaPtrResult(Sci::SCI_GETCHARACTERPOINTER));
    }
    qsizetype length() const { return send(Sci::SCI_GETLENGTH); }

    const VirtualBreaks &breaks() const { return m_sci->breaks; }
    // True while some line is shown in pieces: the gutter then numbers the file's lines itself.
    bool pieces() const { return !m_sci->breaks.empty(); }

    int lineCount() const { return pieces() ? int(realEnds().size()) + 1 : int(send(Sci::SCI_GETLINECOUNT)); }

    void checkLine(int line) const
    {
        if (line < 0 || line >= lineCount())
            throw EArgumentOutOfRangeException(
                QStringLiteral("Line index %1 out of bounds (0..%2)").arg(line).arg(lineCount() - 1));
    }

    // The byte at a document position, without moving Scintilla's gap.
    char charAt(qsizetype at) const { return char(send(Sci::SCI_GETCHARAT, static_cast<unsigned long>(at))); }

    // Where the file's line that ends at the byte at `end` (an LF or a real CR) is followed by the
    // next: after the line end and any virtual breaks right after a CR.
    qsizetype startAfter(qsizetype end) const;

    // A file's line ends at an LF or at a CR of its own that no LF follows in its text. The document
    // positions of these line ends, found once in the whole text and then kept with every edit.
    const std::vector<qsizetype> &realEnds() const;

    // The line ends kept through an edit of the document at position: the bytes [position,
    // position + removed) went, inserted bytes came in their place; the virtual breaks have moved.
    // Only the line ends near the edit are looked at again, so that a new line in a text of
    // millions of pieces costs what its neighbourhood does.
    void followEdit(qsizetype position, qsizetype removed, qsizetype inserted);

    // Line of the file (from 0) to the shown line it starts on, and back; the same with no virtual
    // breaks. Looked up in the kept line ends, so that neither costs more than a search.
    int shownLine(int line) const;
    int realLine(int shown) const;

    // The document's bytes without its virtual breaks: the file's text.
    QByteArray realText() const;

    // A text in pieces has the file's line numbers in the gutter as margin texts, beside the first
    // piece of each line; only around the view, since a new line renumbers every line below it.
    void updateNumbers();

    void updateGutterWidth();

    void centreLine(int line);

    // Colouring runs from the end of what is coloured up to the view, so that a jump to the end of a
    // large text would colour all of it, in the background, while keys wait. When the view lies far
    // beyond (or above) what is coloured, colouring starts afresh where a line in view follows a
    // tag's end, as the lexer's state there is plain text; what lies between is coloured once it
    // comes into view.
    void colourFromView();

    // The byte position of an offset into the CR LF-joined text; ascending offsets are cheapest.
    long bytePosition(qint64 filePos);

    // Scrolls sideways so that the text at position shows with a quarter of the view of context to
    // its left and, where it fits as well, up to the end of its tag (the next '>' on its line).
    void revealPosition(long position);

    // The caret to a byte position, its line centred, the position itself in view.
    void gotoBytePosition(long position, bool visible);

    // The view where it is wanted for a hidden editor, now that it is shown with its size.
    void placePending();

    // Scintilla tells of an edit before it makes it; what follows from the edit waits until it is
    // done, which the next notice, any call of the editor, the end of the event that made it or
    // the next pass of the event loop finds. QScintilla's own notice after an edit counts the
    // characters from the start of the text for its accessibility events, which cost every
    // keystroke a pass over the text before the caret; so it is not asked for.
    void onNotice(int position, int type, int length);

    // While an assistive technology listens, QScintilla's notices after each edit tell it of the
    // change, at the cost of that count; the editor's own work still follows the notice before.
    void followAccessibility();

    // The edit announced last, now made: the line ends, breaks, marks and gutter follow it.
    void settle();

    // Keeps the caret's last column through an edit that leaves the text before its position on its
    // line as it was, or changes it by characters without a line end: typing on a long line then
    // counts only what lies between the column's position and the caret, not the line from its start.
    void followColumn(bool known, qsizetype position, int type, qsizetype length);

    void onModified(int position, int type, int length, int linesAdded);
    // Positions kept through an edit: text inserted at or before one pushes it on, a deletion around
    // it leaves it where the deletion was (and marks it in lost, where given, when it took the
    // position's own character).
    static void followPosition(long &p, bool &lost, long position, int type, long length)
    {
        if (type & Sci::SC_MOD_INSERTTEXT) {
            if (p >= position)
                p += length;
        } else if (type & Sci::SC_MOD_DELETETEXT) {
            if (p >= position + length) {
                p -= length;
            } else if (p >= position) {
                p = position;
                lost = true;
            }
        }
    }
    static void followPositions(std::vector<long> &positions, long position, int type, long length);

    // The places of the items a page lists, through the edits since they were set: each one's
    // byte position in the text as it was then (4 bytes: a document without Scintilla's large-text
    // option stays below 2 GB) and the edits made since, which a position passes through when it is
    // asked for. Typing runs join into one edit; the edits fold into the positions once there are
    // many, so that keystrokes cost no pass over a hundred thousand items.
    struct ItemPlaces
    {
        struct Edit
        {
            long position;
            long length;
            int type;
        };
        std::vector<quint32> at;
        std::vector<bool> lost; // an edit deleted the item's first character
        std::vector<Edit> edits;

        void clear();
        void follow(long position, int type, long length);
        // The item's place now, and whether it is lost (then the place the deletion left).
        long place(size_t item, bool &isLost) const;
        // The last item not lost whose place is at or before position; -1 for none. For places
        // set in ascending order.
        qsizetype itemAt(long position) const;
    };
    // Sets places' positions from offsets (any order) into the text as it is now, counted in unit.
    void setItemPlaces(
        ItemPlaces &places, const std::vector<qint64> &offsets, documenttext::JoinedOffsetCursor::Unit unit);
    bool gotoItemPlace(const ItemPlaces &places, qsizetype item);

    // A line made long by typing or pasting is shown in pieces once the editor is idle.
    void noteTyped(qsizetype position, qsizetype length);

    // The shown lines around the typed text that are longer than a long line, each replaced by
    // itself with virtual breaks as one undo step; the caret and the view stay on the same text.
    void splitTypedLines();

    TXMLEditor *m_owner;
    ScintillaView *m_sci;
    LineTags m_tags;
    struct PendingEdit
    {
        int type = 0; // the notice's: before an insertion or a deletion, and by whom
        qsizetype position = 0;
        qsizetype length = 0;
        long linesBefore = 0;
    };
    std::optional<PendingEdit> m_pending;
    QTimer m_settleTimer;
    int m_eventMask = -1; // the notices asked of Scintilla
    // Byte position of the error with tag t at index t - 1; -1 when it has none.
    std::vector<long> m_errorPositions;
    ItemPlaces m_items; // the transactions of the payments page, ascending
    ItemPlaces m_findings; // the rule findings, in the rules page's order
    documenttext::JoinedOffsetCursor m_offsetCursor;
    bool m_offsetCursorValid = false;
    mutable std::vector<qsizetype> m_realEndsCache;
    mutable bool m_realEndsValid = false;
    bool m_editing = false; // between Scintilla's notice before an edit and the edit's
    struct Number
    {
        int line; // shown
        int number;
        auto operator<=>(const Number &) const = default;
    };
    std::vector<Number> m_numbers; // the margin texts set, by shown line
    struct Range
    {
        long first = 0;
        long last = 0;
    } m_numbered; // the shown lines they were set for
    bool m_numbersStale = false; // some may have moved or lost their number
    bool m_textMargin = false;
    QTimer m_splitTimer;
    QTimer m_gutterTimer;
    // Counts the changes of the text, so that what was measured on it is known to be current.
    quint64 m_textVersion = 0;
    struct Column
    {
        quint64 version = ~quint64(0);
        qsizetype lineStart = -1;
        qsizetype position = 0;
        qsizetype units = 0; // UTF-16 units from lineStart to position
    };
    mutable Column m_lastColumn;
    qsizetype m_typedFrom = -1; // typed or pasted text not yet looked at for long lines
    qsizetype m_typedTo = -1;
    const VirtualBreaks::Places *m_insertedBreaks = nullptr; // of the text the editor puts in
    TextEncoding m_encoding = TextEncoding::Windows1252;
    int m_updateDepth = 0;
    int m_gutterDigits = 0;
    int m_pendingCentreLine = 0;
    qsizetype m_pendingReveal = -1; // the position a jump in a hidden editor shows once it is shown
    long m_colouredFrom = 0; // where the colouring that reaches the end of the coloured text started
};
