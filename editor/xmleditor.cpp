#include "editor/xmleditor.h"

#include "editor/documenttext.h"
#include "editor/linetags.h"
#include "editor/qsci.h"
#include "platform/exception.h"

#include <QFontDatabase>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

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

bool hasSurrogateSequence(const char *data, qsizetype size)
{
    const char *const end = data + size;
    for (const char *p = data; (p = static_cast<const char *>(std::memchr(p, 0xED, size_t(end - p))));) {
        ++p;
        if (p < end && static_cast<unsigned char>(*p) >= 0xA0)
            return true;
    }
    return false;
}

// The file bytes of document bytes in encoding, converted a line (or a megabyte) at a time so that
// no UTF-16 copy of a large text is made. Pieces end after a line end or before the start of a
// character; a surrogate pair is one four-byte character there, so it is never cut.
QByteArray encodePiecewise(const char *data, qsizetype size, TextEncoding encoding)
{
    constexpr qsizetype piece = 1024 * 1024;
    const qsizetype bomLength = byteOrderMark(encoding).size();
    const qsizetype units = documenttext::utf16Length(data, size);
    QByteArray bytes;
    bytes.reserve(bomLength + (encoding == TextEncoding::Windows1252 ? units : 2 * units));
    qsizetype start = 0;
    do {
        qsizetype end = std::min(size, start + piece);
        if (end < size) {
            const void *lineEnd = std::memchr(data + end, '\n', size_t(std::min(size - end, piece)));
            end = lineEnd ? static_cast<const char *>(lineEnd) - data + 1 : end;
            while (end < size && (static_cast<unsigned char>(data[end]) & 0xC0) == 0x80)
                ++end;
        }
        QByteArray encoded;
        try {
            encoded = encodeText(documenttext::toText(data + start, end - start), encoding);
        } catch (const EConvertError &) {
            // Once more on the whole text, for a message that names the character's true line.
            return encodeText(documenttext::toText(data, size), encoding);
        }
        bytes.append(start == 0 ? encoded : encoded.sliced(bomLength));
        start = end;
    } while (start < size);
    return bytes;
}

} // namespace

struct TXMLEditor::Private
{
    explicit Private(QsciScintilla *editor)
        : sci(editor)
        , tags(editor)
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

    void checkLine(int line) const
    {
        if (line < 0 || line >= int(send(Sci::SCI_GETLINECOUNT)))
            throw EArgumentOutOfRangeException(
                u"Line index %1 out of bounds (0..%2)"_s.arg(line).arg(send(Sci::SCI_GETLINECOUNT) - 1));
    }

    void updateGutterWidth()
    {
        const int digits = std::max(minimumGutterDigits, digitCount(int(send(Sci::SCI_GETLINECOUNT))));
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

    // The byte position of an offset into the CR LF-joined text; ascending offsets are cheapest.
    long bytePosition(qint64 filePos)
    {
        if (!offsetCursorValid) {
            offsetCursor.reset(characters(), length());
            offsetCursorValid = true;
        }
        return long(offsetCursor.bytePosition(filePos));
    }

    // The caret to a byte position, its line centred, the position itself in view.
    void gotoBytePosition(long position, bool visible)
    {
        send(Sci::SCI_GOTOPOS, position);
        const int line = int(send(Sci::SCI_LINEFROMPOSITION, position)) + 1;
        centreLine(line);
        send(Sci::SCI_SCROLLCARET);
        // A hidden editor may not know its final size yet; place the view again once it is shown.
        pendingCentreLine = visible ? 0 : line;
    }

    void onModified(int position, int type, int length)
    {
        if (type & (Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT | Sci::SC_MOD_BEFOREDELETE))
            offsetCursorValid = false;
        if (type & Sci::SC_MOD_BEFOREDELETE)
            tags.beforeDelete(position, length);
        if (type & Sci::SC_MOD_DELETETEXT)
            tags.afterDelete();
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

    QsciScintilla *sci;
    LineTags tags;
    // Byte position of the error with tag t at index t - 1; -1 when it has none.
    std::vector<long> errorPositions;
    documenttext::JoinedOffsetCursor offsetCursor;
    bool offsetCursorValid = false;
    TextEncoding encoding = TextEncoding::Windows1252;
    int updateDepth = 0;
    int gutterDigits = 0;
    int pendingCentreLine = 0;
};

TXMLEditor::TXMLEditor(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<Private>(new QsciScintilla(this)))
{
    QsciScintilla *sci = d->sci;
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

    d->send(Sci::SCI_SETMODEVENTMASK,
        d->send(Sci::SCI_GETMODEVENTMASK) | Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT
            | Sci::SC_MOD_BEFOREDELETE);
    connect(sci, &QsciScintillaBase::SCN_MODIFIED, this,
        [this](int position, int type, const char *, int length, int, int, int, int, int, int) {
            d->onModified(position, type, length);
        });
    connect(sci, &QsciScintilla::linesChanged, this, [this] { d->updateGutterWidth(); });
    connect(sci, &QsciScintilla::textChanged, this, &TXMLEditor::textChanged);
    connect(sci, &QsciScintilla::cursorPositionChanged, this, &TXMLEditor::caretMoved);
    connect(sci, &QsciScintilla::modificationChanged, this, &TXMLEditor::modificationChanged);
}

TXMLEditor::~TXMLEditor() = default;

int TXMLEditor::lineCount() const
{
    return int(d->send(Sci::SCI_GETLINECOUNT));
}

int TXMLEditor::lineTag(int line) const
{
    d->checkLine(line);
    return d->tags.tag(line);
}

void TXMLEditor::setLineTag(int line, int tag)
{
    d->checkLine(line);
    if (tag < 0)
        throw EArgumentOutOfRangeException(u"A line tag cannot be negative (%1)"_s.arg(tag));
    d->tags.setTag(line, tag);
}

int TXMLEditor::findLineWithTag(int tag) const
{
    return d->tags.findLine(tag);
}

void TXMLEditor::clearLineTags()
{
    TXMLEditorUpdateGuard guard(*this);
    d->tags.clear();
}

void TXMLEditor::addErrorUnderline(qint64 filePos, int length)
{
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
    if (tag <= 0)
        throw EArgumentOutOfRangeException(u"An error's tag must be positive (%1)"_s.arg(tag));
    if (filePos < 0)
        return;
    if (size_t(tag) > d->errorPositions.size())
        d->errorPositions.resize(size_t(tag), -1);
    d->errorPositions[size_t(tag - 1)] = d->bytePosition(filePos);
}

bool TXMLEditor::gotoErrorPosition(int tag)
{
    if (tag <= 0 || size_t(tag) > d->errorPositions.size() || d->errorPositions[size_t(tag - 1)] < 0)
        return false;
    d->gotoBytePosition(d->errorPositions[size_t(tag - 1)], isVisible());
    return true;
}

int TXMLEditor::adjacentErrorTag(int current, bool forward) const
{
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
    return int(std::count_if(
        d->errorPositions.begin(), d->errorPositions.end(), [](long position) { return position >= 0; }));
}

void TXMLEditor::addStopMark(qint64 filePos)
{
    if (filePos < 0)
        return;
    const long length = long(d->length());
    long start = std::min(d->bytePosition(filePos), length);
    const long lineEnd = d->send(Sci::SCI_GETLINEENDPOSITION, d->send(Sci::SCI_LINEFROMPOSITION, start));
    const auto *text
        = reinterpret_cast<const char *>(d->send(Sci::SCI_GETRANGEPOINTER, start, lineEnd - start));
    const void *close = text ? std::memchr(text, '>', size_t(lineEnd - start)) : nullptr;
    long end = close ? start + long(static_cast<const char *>(close) - text) + 1 : lineEnd;
    // From the '<' of the tag the parser stood in, when it stopped inside one on this line.
    const long lineStart = d->send(Sci::SCI_POSITIONFROMLINE, d->send(Sci::SCI_LINEFROMPOSITION, start));
    const auto *before
        = reinterpret_cast<const char *>(d->send(Sci::SCI_GETRANGEPOINTER, lineStart, start - lineStart));
    for (long p = start - 1; before && p >= lineStart && before[p - lineStart] != '>'; --p) {
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
    d->gotoBytePosition(
        std::min(d->bytePosition(std::max<qint64>(filePos, 0)), long(d->length())), isVisible());
}

bool TXMLEditor::isModified() const
{
    return d->send(Sci::SCI_GETMODIFY) != 0;
}

QString TXMLEditor::text() const
{
    return documenttext::toJoinedText(d->characters(), d->length());
}

QByteArray TXMLEditor::textUtf8() const
{
    return documenttext::toJoinedUtf8(d->characters(), d->length());
}

bool TXMLEditor::isBlank() const
{
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
    TXMLEditorUpdateGuard guard(*this);
    const QByteArray bytes = toUtf8KeepingSurrogates(text);
    d->send(Sci::SCI_SETTARGETRANGE, 0, d->length());
    d->sci->SendScintilla(Sci::SCI_REPLACETARGET, uintptr_t(bytes.size()), bytes.constData());
    clearErrorMarks();
}

int TXMLEditor::caretColumn() const
{
    const long position = d->send(Sci::SCI_GETCURRENTPOS);
    const long lineStart = d->send(Sci::SCI_POSITIONFROMLINE, d->send(Sci::SCI_LINEFROMPOSITION, position));
    const auto *text
        = reinterpret_cast<const char *>(d->send(Sci::SCI_GETRANGEPOINTER, lineStart, position - lineStart));
    return int(documenttext::utf16Length(text, position - lineStart)) + 1;
}

int TXMLEditor::caretLine() const
{
    return int(d->send(Sci::SCI_LINEFROMPOSITION, d->send(Sci::SCI_GETCURRENTPOS))) + 1;
}

void TXMLEditor::gotoLine(int line)
{
    line = std::clamp(line, 1, lineCount());
    d->send(Sci::SCI_GOTOLINE, line - 1);
    d->centreLine(line);
    // A hidden editor may not know its final height yet; centre again once it is shown.
    d->pendingCentreLine = isVisible() ? 0 : line;
}

void TXMLEditor::gotoFilePos(qint64 filePos)
{
    documenttext::JoinedOffsetCursor cursor;
    cursor.reset(d->characters(), d->length());
    const long position = long(cursor.bytePosition(std::max<qint64>(filePos, 0)));
    gotoLine(int(d->send(Sci::SCI_LINEFROMPOSITION, position)) + 1);
    d->send(Sci::SCI_GOTOPOS, position);
}

int TXMLEditor::firstVisibleLine() const
{
    return int(d->send(Sci::SCI_DOCLINEFROMVISIBLE, d->send(Sci::SCI_GETFIRSTVISIBLELINE))) + 1;
}

int TXMLEditor::visibleLineCount() const
{
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
    TextEncoding encoding;
    // A UTF-8 file becomes the document as it is, without a copy; any other its UTF-8 form, with
    // the unpaired surrogates of a UTF-16 file kept.
    QByteArray document = toUtf8Text(readFileBytes(fileName), &encoding);
    const LineEnd lineEnd = dominantLineEnd(document.constData(), document.size());

    TXMLEditorUpdateGuard guard(*this);
    // Without change notifications while the text is replaced: QScintilla would copy the whole text
    // for each, and the tags and underlines are cleared below anyway.
    const long eventMask = d->send(Sci::SCI_GETMODEVENTMASK);
    d->send(Sci::SCI_SETMODEVENTMASK, 0);
    d->send(Sci::SCI_SETUNDOCOLLECTION, 0);
    d->send(Sci::SCI_CLEARALL);
    // Room for the text and for some typing, so that neither the first read nor the first
    // keystrokes make Scintilla copy its whole buffer.
    d->send(Sci::SCI_ALLOCATE, document.size() + typingRoom);
    d->sci->SendScintilla(Sci::SCI_APPENDTEXT, uintptr_t(document.size()), document.constData());
    document = QByteArray();
    d->send(Sci::SCI_EMPTYUNDOBUFFER);
    d->send(Sci::SCI_SETUNDOCOLLECTION, 1);
    d->send(Sci::SCI_SETSAVEPOINT);
    d->send(Sci::SCI_SETMODEVENTMASK, eventMask);
    d->offsetCursorValid = false;

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
    d->send(Sci::SCI_GOTOPOS, 0);
    Q_EMIT textChanged();
}

void TXMLEditor::saveToFile(const QString &fileName)
{
    const char *data = d->characters();
    const qsizetype size = d->length();
    const bool utf8 = d->encoding == TextEncoding::Utf8 || d->encoding == TextEncoding::Utf8Bom;
    QByteArray bytes;
    if (utf8 && !hasSurrogateSequence(data, size)) {
        // The document is the file's UTF-8 already; write it without a copy where possible.
        if (d->encoding == TextEncoding::Utf8Bom)
            bytes = byteOrderMark(d->encoding).toByteArray() + QByteArray::fromRawData(data, size);
        else
            bytes = QByteArray::fromRawData(data, size);
    } else {
        bytes = encodePiecewise(data, size, d->encoding);
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
    if (d->pendingCentreLine > 0) {
        d->centreLine(d->pendingCentreLine);
        d->send(Sci::SCI_SCROLLCARET);
        d->pendingCentreLine = 0;
    }
}
