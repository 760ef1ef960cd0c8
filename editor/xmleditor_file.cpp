// Loading and saving the editor's text.

#include "editor/xmleditor_p.h"

#include <algorithm>
#include <utility>

using namespace xmleditor;

void TXMLEditor::loadFromFile(const QString &fileName)
{
    TextEncoding encoding;
    // A UTF-8 file becomes the document as it is, without a copy; any other its UTF-8 form, with
    // the unpaired surrogates of a UTF-16 file kept.
    const QByteArray document = toUtf8Text(readFileBytes(fileName), &encoding);
    loadText(document, encoding);
}

void TXMLEditor::loadText(const QByteArray &document, TextEncoding encoding)
{
    d->settle();
    const LineEnd lineEnd = dominantLineEnd(document.constData(), document.size());
    VirtualBreaks::Places breaks = VirtualBreaks::find(document.constData(), document.size());

    TXMLEditorUpdateGuard guard(*this);
    // Without change notifications while the text is replaced: QScintilla would copy the whole text
    // for each, and the tags and underlines are cleared below anyway.
    d->send(Sci::SCI_SETMODEVENTMASK, 0);
    d->send(Sci::SCI_SETUNDOCOLLECTION, 0);
    d->send(Sci::SCI_CLEARALL);
    // The lines went with their margin texts, but for the first.
    d->m_sci->SendScintilla(Sci::SCI_MARGINSETTEXT, 0UL, static_cast<const char *>(nullptr));
    d->m_numbers.clear();
    d->m_gutterDigits = 0;
    // Room for the text, its virtual breaks and some typing, so that neither the first read nor
    // the first keystrokes make Scintilla copy its whole buffer.
    d->send(Sci::SCI_ALLOCATE, document.size() + qsizetype(breaks.size()) + typingRoom);
    const char *const data = document.constData();
    if (breaks.empty()) {
        d->m_sci->SendScintilla(Sci::SCI_APPENDTEXT, uintptr_t(document.size()), data);
    } else {
        // A megabyte at a time with its breaks put in, so that no second copy of the text is made.
        constexpr qsizetype chunk = 1024 * 1024;
        QByteArray staged;
        staged.reserve(chunk + 1);
        qsizetype from = 0;
        auto flush = [&] {
            d->m_sci->SendScintilla(Sci::SCI_APPENDTEXT, uintptr_t(staged.size()), staged.constData());
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
    d->send(Sci::SCI_EMPTYUNDOBUFFER);
    d->send(Sci::SCI_SETUNDOCOLLECTION, 1);
    d->send(Sci::SCI_SETSAVEPOINT);
    d->send(Sci::SCI_SETMODEVENTMASK, static_cast<unsigned long>(d->m_eventMask));
    d->m_sci->breaks.reset(std::move(breaks));
    d->m_colouredFrom = 0;
    ++d->m_textVersion; // changed without notifications
    d->m_splitTimer.stop();
    d->m_typedFrom = d->m_typedTo = -1;
    d->m_offsetCursorValid = false;
    d->m_realEndsValid = false;

    // New lines typed into the file get its own line end; the existing ones stay as they are.
    switch (lineEnd) {
    case LineEnd::CrLf:
        d->m_sci->setEolMode(QsciScintilla::EolWindows);
        break;
    case LineEnd::Lf:
        d->m_sci->setEolMode(QsciScintilla::EolUnix);
        break;
    case LineEnd::Cr:
        d->m_sci->setEolMode(QsciScintilla::EolMac);
        break;
    }
    d->m_encoding = encoding;
    clearErrorMarks();
    d->m_items.clear();
    d->m_findings.clear();
    d->updateGutterWidth();
    // From the first line, also in an editor not shown yet: one too small to hold a line would
    // scroll the caret's line out of view, and keep it so once shown.
    d->send(Sci::SCI_GOTOPOS, 0);
    d->send(Sci::SCI_SETFIRSTVISIBLELINE, 0);
    d->send(Sci::SCI_SETXOFFSET, 0);
    d->m_pendingCentreLine = isVisible() ? 0 : 1;
    d->m_pendingReveal = isVisible() ? -1 : 0;
    Q_EMIT textChanged();
}

void TXMLEditor::saveToFile(const QString &fileName)
{
    d->settle();
    const QByteArray real = d->pieces() ? d->realText() : QByteArray();
    const char *data = d->pieces() ? real.constData() : d->characters();
    const qsizetype size = d->pieces() ? real.size() : d->length();
    const bool utf8 = d->m_encoding == TextEncoding::Utf8 || d->m_encoding == TextEncoding::Utf8Bom;
    QByteArray bytes;
    if (utf8 && !containsSurrogateSequence(data, size)) {
        // The document is the file's UTF-8 already; write it without a copy where possible.
        if (d->m_encoding == TextEncoding::Utf8Bom)
            bytes = byteOrderMark(d->m_encoding).toByteArray() + QByteArray::fromRawData(data, size);
        else
            bytes = QByteArray::fromRawData(data, size);
    } else {
        bytes = encodeUtf8Text(data, size, d->m_encoding);
    }
    writeFileAtomically(fileName, bytes);
    d->send(Sci::SCI_SETSAVEPOINT);
}

TextEncoding TXMLEditor::encoding() const
{
    return d->m_encoding;
}

void TXMLEditor::setEncoding(TextEncoding encoding)
{
    d->m_encoding = encoding;
}
