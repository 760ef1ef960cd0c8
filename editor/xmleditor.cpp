#include "editor/xmleditor_p.h"

#include "platform/exception.h"
#include "platform/widgets/application.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <utility>

using namespace Qt::StringLiterals;
using namespace xmleditor;

namespace xmleditor {
bool (*assistiveTechnologyActive)() = &QAccessible::isActive;
} // namespace xmleditor

namespace {

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

QByteArray TXMLEditor::Private::realText() const
{
    if (!pieces())
        return QByteArray(characters(), length());
    return breaks().withoutBreaks(characters(), length());
}

void TXMLEditor::Private::centreLine(int line)
{
    const long visible = send(Sci::SCI_VISIBLEFROMDOCLINE, line - 1);
    const long onScreen = send(Sci::SCI_LINESONSCREEN);
    send(Sci::SCI_SETFIRSTVISIBLELINE, std::max(0L, visible - onScreen / 2));
}

void TXMLEditor::Private::colourFromView()
{
    constexpr long farAway = 64 * 1024;
    const long top = send(Sci::SCI_DOCLINEFROMVISIBLE, send(Sci::SCI_GETFIRSTVISIBLELINE));
    const long viewStart = send(Sci::SCI_POSITIONFROMLINE, top);
    const long styled = send(Sci::SCI_GETENDSTYLED);
    if (viewStart >= m_colouredFrom && viewStart <= styled + farAway)
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
    m_colouredFrom = from;
    send(Sci::SCI_STARTSTYLING, static_cast<unsigned long>(from), 0);
}

long TXMLEditor::Private::bytePosition(qint64 filePos)
{
    if (!m_offsetCursorValid) {
        // Counted on the file's text: the virtual breaks are skipped.
        const VirtualBreaks::Places &skip = breaks().positions();
        m_offsetCursor.reset(characters(), length(), skip.data(), qsizetype(skip.size()));
        m_offsetCursorValid = true;
    }
    return long(m_offsetCursor.bytePosition(filePos));
}

void TXMLEditor::Private::revealPosition(long position)
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
    const long width = std::max(1L, long(m_sci->viewport()->width()) - textLeft);
    long offset = 0;
    if (endAt > width) {
        offset = at - width / 4;
        // A tag wider than the rest of the view keeps its start in view.
        offset = std::max(offset, std::min(endAt - width, at - width / 16));
        offset = std::max(0L, offset);
    }
    // Scintilla widens its scrolling range only as it draws wider lines; a narrower range would
    // take the offset back to its end.
    const long needed = offset + m_sci->viewport()->width();
    if (send(Sci::SCI_GETSCROLLWIDTH) < needed)
        send(Sci::SCI_SETSCROLLWIDTH, static_cast<unsigned long>(needed));
    send(Sci::SCI_SETXOFFSET, static_cast<unsigned long>(offset));
}

void TXMLEditor::Private::gotoBytePosition(long position, bool visible)
{
    send(Sci::SCI_GOTOPOS, position);
    const int line = int(send(Sci::SCI_LINEFROMPOSITION, position)) + 1;
    centreLine(line);
    revealPosition(position);
    // A hidden editor may not know its final size yet; place the view again once it is shown.
    m_pendingCentreLine = visible ? 0 : line;
    m_pendingReveal = visible ? -1 : position;
}

void TXMLEditor::Private::placePending()
{
    if (m_pendingCentreLine > 0)
        centreLine(m_pendingCentreLine);
    if (m_pendingReveal >= 0 && m_pendingReveal == send(Sci::SCI_GETCURRENTPOS))
        revealPosition(long(m_pendingReveal));
    else if (m_pendingCentreLine > 0)
        send(Sci::SCI_SCROLLCARET);
    m_pendingCentreLine = 0;
    m_pendingReveal = -1;
}

void TXMLEditor::Private::onNotice(int position, int type, int length)
{
    settle();
    if (!(type & (Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE)))
        return;
    const long lines = send(Sci::SCI_GETLINECOUNT);
    onModified(position, type, length, 0);
    m_pending = PendingEdit { type, position, length, lines };
    m_settleTimer.start();
}

void TXMLEditor::Private::followAccessibility()
{
    const bool active = xmleditor::assistiveTechnologyActive();
    if (m_eventMask >= 0 && active == ((m_eventMask & Sci::SC_MOD_INSERTTEXT) != 0))
        return;
    m_eventMask = Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE
        | (active ? Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT : 0);
    send(Sci::SCI_SETMODEVENTMASK, static_cast<unsigned long>(m_eventMask));
}

void TXMLEditor::Private::settle()
{
    if (!m_pending)
        return;
    const PendingEdit edit = *m_pending;
    m_pending.reset();
    const int linesAdded = int(send(Sci::SCI_GETLINECOUNT) - edit.linesBefore);
    const int performed
        = edit.type & (Sci::SC_PERFORMED_USER | Sci::SC_PERFORMED_UNDO | Sci::SC_PERFORMED_REDO);
    const int made = (edit.type & Sci::SC_MOD_BEFOREINSERT) ? Sci::SC_MOD_INSERTTEXT : Sci::SC_MOD_DELETETEXT;
    onModified(int(edit.position), made | performed, int(edit.length), linesAdded);
    if (linesAdded != 0) {
        if (pieces() || !m_numbers.empty())
            m_gutterTimer.start();
        else
            updateGutterWidth();
    }
    Q_EMIT m_owner->textChanged();
}

void TXMLEditor::Private::followColumn(bool known, qsizetype position, int type, qsizetype length)
{
    Column &c = m_lastColumn;
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
    c.version = m_textVersion;
}

void TXMLEditor::Private::onModified(int position, int type, int length, int linesAdded)
{
    if (type & (Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE))
        m_editing = true;
    if (type & (Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT | Sci::SC_MOD_BEFOREDELETE)) {
        const bool columnKnown = m_lastColumn.version == m_textVersion;
        ++m_textVersion;
        m_offsetCursorValid = false;
        followColumn(columnKnown, position, type, length);
    }
    if (type & Sci::SC_MOD_BEFOREDELETE)
        m_tags.beforeDelete(position, length);
    const VirtualBreaks::Change change = (type & Sci::SC_PERFORMED_UNDO) ? VirtualBreaks::Change::Undo
        : (type & Sci::SC_PERFORMED_REDO)                                ? VirtualBreaks::Change::Redo
                                                                         : VirtualBreaks::Change::User;
    if (type & Sci::SC_MOD_DELETETEXT) {
        m_tags.afterDelete();
        m_sci->breaks.deleted(position, length, change);
        followEdit(position, length, 0);
        m_editing = false;
    }
    if (type & Sci::SC_MOD_INSERTTEXT) {
        m_sci->breaks.inserted(
            position, length, change,
            [this](qsizetype at) { return char(send(Sci::SCI_GETCHARAT, static_cast<unsigned long>(at))); },
            m_insertedBreaks);
        followEdit(position, 0, length);
        m_editing = false;
        if (change == VirtualBreaks::Change::User && !m_insertedBreaks)
            noteTyped(position, length);
    }
    if (linesAdded != 0 && !m_numbers.empty()) {
        // Scintilla moves the margin texts of the lines around an edit with the line ends it
        // joins or splits, which may leave a number where no line of the file starts any more.
        // The numbered lines below the edit moved with their texts, so that the gutter's next
        // update clears them where they are now.
        const qsizetype end = position + ((type & Sci::SC_MOD_INSERTTEXT) ? length : 0);
        const long first = send(Sci::SCI_LINEFROMPOSITION, position);
        const long last = send(Sci::SCI_LINEFROMPOSITION, static_cast<unsigned long>(end)) + 1;
        for (long line = std::max(0L, first - 1); line <= last; ++line)
            m_sci->SendScintilla(Sci::SCI_MARGINSETTEXT, line, static_cast<const char *>(nullptr));
        for (Number &number : m_numbers) {
            if (number.line > first)
                number.line = int(std::max(first, number.line + long(linesAdded)));
        }
        m_numbersStale = true;
    }
    if (linesAdded != 0 && (pieces() || !m_numbers.empty()))
        m_gutterTimer.start();
    followPositions(m_errorPositions, position, type, length);
    m_items.follow(position, type, length);
    m_findings.follow(position, type, length);
}

void TXMLEditor::Private::followPositions(std::vector<long> &positions, long position, int type, long length)
{
    bool lost = false;
    for (long &p : positions)
        followPosition(p, lost, position, type, length);
}

void TXMLEditor::Private::ItemPlaces::clear()
{
    at = {};
    lost = {};
    edits = {};
}

void TXMLEditor::Private::ItemPlaces::follow(long position, int type, long length)
{
    if (at.empty() || !(type & (Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT)))
        return;
    const int kind = type & (Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT);
    if (!edits.empty() && edits.back().type == kind) {
        // Typing on, Delete again or Backspace again: one edit with the one before.
        Edit &last = edits.back();
        if (kind == Sci::SC_MOD_INSERTTEXT && position == last.position + last.length) {
            last.length += length;
            return;
        }
        if (kind == Sci::SC_MOD_DELETETEXT
            && (position == last.position || position + length == last.position)) {
            last.position = std::min(last.position, position);
            last.length += length;
            return;
        }
    }
    edits.push_back({ position, length, kind });
    // Folded at a size where one pass over the items costs what that many edits would have.
    constexpr size_t kFoldAt = 256;
    if (edits.size() < kFoldAt)
        return;
    for (size_t i = 0; i < at.size(); ++i) {
        bool isLost = lost[i];
        const long p = place(i, isLost);
        at[i] = quint32(p);
        lost[i] = isLost;
    }
    edits.clear();
}

long TXMLEditor::Private::ItemPlaces::place(size_t item, bool &isLost) const
{
    long p = long(at[item]);
    isLost = lost[item];
    for (const Edit &e : edits)
        followPosition(p, isLost, e.position, e.type, e.length);
    return p;
}

qsizetype TXMLEditor::Private::ItemPlaces::itemAt(long position) const
{
    // The places keep their order through edits (a deletion leaves those it took where it was), so
    // that a binary search finds the last one at or before position.
    size_t low = 0;
    size_t high = at.size();
    bool isLost = false;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (place(middle, isLost) <= position)
            low = middle + 1;
        else
            high = middle;
    }
    while (low > 0) {
        --low;
        place(low, isLost);
        if (!isLost)
            return qsizetype(low);
    }
    return -1;
}

void TXMLEditor::Private::setItemPlaces(
    ItemPlaces &places, const std::vector<qint64> &offsets, documenttext::JoinedOffsetCursor::Unit unit)
{
    settle();
    places.clear();
    places.at.resize(offsets.size());
    places.lost.assign(offsets.size(), false);
    // The cursor walks on from its last answer: the offsets in ascending order cost one pass.
    std::vector<quint32> order;
    if (!std::is_sorted(offsets.begin(), offsets.end())) {
        order.resize(offsets.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = quint32(i);
        std::stable_sort(
            order.begin(), order.end(), [&](quint32 a, quint32 b) { return offsets[a] < offsets[b]; });
    }
    documenttext::JoinedOffsetCursor cursor;
    const VirtualBreaks::Places &skip = breaks().positions();
    cursor.reset(characters(), length(), skip.data(), qsizetype(skip.size()), unit);
    for (size_t k = 0; k < offsets.size(); ++k) {
        const size_t i = order.empty() ? k : order[k];
        places.at[i] = quint32(cursor.bytePosition(std::max<qint64>(offsets[i], 0)));
    }
}

bool TXMLEditor::Private::gotoItemPlace(const ItemPlaces &places, qsizetype item)
{
    settle();
    if (item < 0 || size_t(item) >= places.at.size())
        return false;
    bool isLost = false;
    const long position = places.place(size_t(item), isLost);
    if (isLost)
        return false;
    gotoBytePosition(std::min(position, long(length())), m_owner->isVisible());
    return true;
}

void TXMLEditor::Private::noteTyped(qsizetype position, qsizetype length)
{
    if (m_typedFrom < 0) {
        m_typedFrom = position;
        m_typedTo = position + length;
    } else {
        m_typedFrom = std::min(m_typedFrom, position);
        m_typedTo = std::max(m_typedTo + (position <= m_typedTo ? length : 0), position + length);
    }
    m_splitTimer.start();
}

void TXMLEditor::Private::splitTypedLines()
{
    settle();
    const qsizetype size = length();
    const qsizetype from = std::min(m_typedFrom, size);
    const qsizetype to = std::min(m_typedTo, size);
    m_typedFrom = m_typedTo = -1;
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
        const auto *text = reinterpret_cast<const char *>(send(Sci::SCI_GETRANGEPOINTER, start, end - start));
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
        m_insertedBreaks = &inText;
        send(Sci::SCI_SETTARGETRANGE, start, end);
        m_sci->SendScintilla(Sci::SCI_REPLACETARGET, uintptr_t(pieces.size()), pieces.constData());
        settle();
        m_insertedBreaks = nullptr;
    }
    if (!split)
        return;
    send(Sci::SCI_ENDUNDOACTION);
    send(Sci::SCI_SETSELECTION, newCaret, newAnchor);
    send(Sci::SCI_SETFIRSTVISIBLELINE, std::max(0L, send(Sci::SCI_LINEFROMPOSITION, newCaret) - caretRow));
}

TXMLEditor::TXMLEditor(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<Private>(this, createView(this)))
{
    ScintillaView *sci = d->m_sci;
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
    d->m_settleTimer.setSingleShot(true);
    d->m_settleTimer.setInterval(0);
    connect(&d->m_settleTimer, &QTimer::timeout, this, [this] { Guarded([this] { d->settle(); }); });
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
            if (d->m_textMargin)
                d->updateNumbers();
        });
    };
    d->m_gutterTimer.setSingleShot(true);
    d->m_gutterTimer.setInterval(0);
    connect(
        &d->m_gutterTimer, &QTimer::timeout, this, [this] { Guarded([this] { d->updateGutterWidth(); }); });
    d->m_splitTimer.setSingleShot(true);
    d->m_splitTimer.setInterval(0);
    connect(&d->m_splitTimer, &QTimer::timeout, this, [this] { Guarded([this] { d->splitTypedLines(); }); });
    connect(sci, &QsciScintilla::cursorPositionChanged, this, &TXMLEditor::caretMoved);
    connect(sci, &QsciScintilla::modificationChanged, this, &TXMLEditor::modificationChanged);
}

TXMLEditor::~TXMLEditor()
{
    // The view outlives this part of the editor while its parent deletes it.
    d->m_sci->beforePaint = nullptr;
    d->m_sci->afterEvent = nullptr;
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
    return d->m_tags.tag(d->shownLine(line));
}

void TXMLEditor::setLineTag(int line, int tag)
{
    d->settle();
    d->checkLine(line);
    if (tag < 0)
        throw EArgumentOutOfRangeException(u"A line tag cannot be negative (%1)"_s.arg(tag));
    d->m_tags.setTag(d->shownLine(line), tag);
}

int TXMLEditor::findLineWithTag(int tag) const
{
    d->settle();
    const int shown = d->m_tags.findLine(tag);
    return shown < 0 ? shown : d->realLine(shown);
}

void TXMLEditor::clearLineTags()
{
    d->settle();
    TXMLEditorUpdateGuard guard(*this);
    d->m_tags.clear();
}

void TXMLEditor::addErrorUnderline(qint64 filePos, int length)
{
    d->settle();
    if (filePos < 0)
        return;
    const long start = d->bytePosition(filePos);
    long end;
    if (length >= 0) {
        documenttext::JoinedOffsetCursor ahead = d->m_offsetCursor;
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
    d->m_tags.clear();
    d->m_errorPositions.clear();
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
    if (size_t(tag) > d->m_errorPositions.size())
        d->m_errorPositions.resize(size_t(tag), -1);
    const long position = d->bytePosition(filePos);
    d->m_errorPositions[size_t(tag - 1)] = position;
    // A long line shown in pieces shows the error's symbol on the piece of its position.
    if (d->pieces())
        d->send(Sci::SCI_MARKERADD, d->send(Sci::SCI_LINEFROMPOSITION, position), LineTags::symbolMarker);
}

bool TXMLEditor::gotoErrorPosition(int tag)
{
    d->settle();
    if (tag <= 0 || size_t(tag) > d->m_errorPositions.size() || d->m_errorPositions[size_t(tag - 1)] < 0)
        return false;
    d->gotoBytePosition(d->m_errorPositions[size_t(tag - 1)], isVisible());
    return true;
}

int TXMLEditor::adjacentErrorTag(int current, bool forward) const
{
    d->settle();
    // Errors ordered by (position, tag); the caret's own key lies between them.
    using Key = std::pair<long, int>;
    const long caret = d->send(Sci::SCI_GETCURRENTPOS);
    const bool onCurrent = current > 0 && size_t(current) <= d->m_errorPositions.size()
        && d->m_errorPositions[size_t(current - 1)] == caret;
    const Key here { caret, onCurrent ? current : (forward ? std::numeric_limits<int>::max() : 0) };
    std::optional<Key> best;
    std::optional<Key> wrap;
    for (size_t i = 0; i < d->m_errorPositions.size(); ++i) {
        if (d->m_errorPositions[i] < 0)
            continue;
        const Key key { d->m_errorPositions[i], int(i + 1) };
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

void TXMLEditor::setItemPositions(const std::vector<qint64> &utf8Offsets)
{
    d->setItemPlaces(d->m_items, utf8Offsets, documenttext::JoinedOffsetCursor::Unit::Utf8);
}

bool TXMLEditor::gotoItemPosition(qsizetype item)
{
    return d->gotoItemPlace(d->m_items, item);
}

qsizetype TXMLEditor::itemAtCaret() const
{
    d->settle();
    return d->m_items.itemAt(d->send(Sci::SCI_GETCURRENTPOS));
}

void TXMLEditor::setFindingPositions(const std::vector<qint64> &filePositions)
{
    d->setItemPlaces(d->m_findings, filePositions, documenttext::JoinedOffsetCursor::Unit::Utf16);
}

bool TXMLEditor::gotoFindingPosition(qsizetype finding)
{
    return d->gotoItemPlace(d->m_findings, finding);
}

int TXMLEditor::errorPositionCount() const
{
    d->settle();
    return int(std::count_if(
        d->m_errorPositions.begin(), d->m_errorPositions.end(), [](long position) { return position >= 0; }));
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

quint64 TXMLEditor::textVersion() const
{
    d->settle();
    return d->m_textVersion;
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
    d->m_sci->SendScintilla(Sci::SCI_REPLACETARGET, uintptr_t(bytes.size()), bytes.constData());
    d->settle();
    // A text set as a whole is shown as it is.
    d->m_splitTimer.stop();
    d->m_typedFrom = d->m_typedTo = -1;
    clearErrorMarks();
    d->m_items.clear();
    d->m_findings.clear();
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
    Private::Column &last = d->m_lastColumn;
    const bool onward = last.version == d->m_textVersion && last.lineStart == lineStart;
    const long from = onward ? std::min(long(last.position), position) : lineStart;
    const long to = onward ? std::max(long(last.position), position) : position;
    const auto *text = reinterpret_cast<const char *>(d->send(Sci::SCI_GETRANGEPOINTER, from, to - from));
    // The virtual breaks on the way count for nothing.
    const qsizetype units = utf16Length(text, to - from) - d->breaks().countIn(from, to);
    last.units = !onward ? units : position >= last.position ? last.units + units : last.units - units;
    last.position = position;
    last.lineStart = lineStart;
    last.version = d->m_textVersion;
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
    d->m_pendingCentreLine = isVisible() ? 0 : d->shownLine(line - 1) + 1;
    d->m_pendingReveal = -1;
}

void TXMLEditor::gotoFilePos(qint64 filePos)
{
    d->settle();
    const long position = std::min(d->bytePosition(std::max<qint64>(filePos, 0)), long(d->length()));
    gotoLine(d->realLine(int(d->send(Sci::SCI_LINEFROMPOSITION, position))) + 1);
    d->send(Sci::SCI_GOTOPOS, position);
    d->revealPosition(position);
    d->m_pendingReveal = isVisible() ? -1 : position;
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
    if (d->m_updateDepth++ == 0)
        d->m_sci->setUpdatesEnabled(false);
}

void TXMLEditor::endUpdate()
{
    if (d->m_updateDepth > 0 && --d->m_updateDepth == 0)
        d->m_sci->setUpdatesEnabled(true); // schedules the one repaint
}

void TXMLEditor::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    d->placePending();
}
