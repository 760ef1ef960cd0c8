#pragma once
// The checker window's XML editor: an editable view of one document with XML colouring and line
// numbers, whose lines each carry an integer tag (0 = none) that stays with the line's text while
// the user edits. Tagged lines show an error symbol in the gutter; error positions can be underlined,
// and each error can keep its own position, which follows the edits as the tags do.

#include "platform/textfile.h"

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

class TXMLEditor : public QWidget
{
    Q_OBJECT

public:
    explicit TXMLEditor(QWidget *parent = nullptr);
    ~TXMLEditor() override;

    // Lines are counted from 0 by the tag functions; a text that ends in a line break has an empty
    // last line. A line index outside 0..lineCount()-1 throws EArgumentOutOfRangeException.
    int lineCount() const;
    int lineTag(int line) const;
    // tag is 0 (none) or positive; EArgumentOutOfRangeException for a negative one.
    void setLineTag(int line, int tag);
    // The first line that carries tag; -1 when none does.
    int findLineWithTag(int tag) const;
    // Empties every line's tag, in one redraw.
    void clearLineTags();

    // Underlines an error at filePos, an offset in UTF-16 units into text(): length units long, or
    // up to and including the next '>' on its line when length is negative. Cheapest when called in
    // ascending filePos order, as errors come from one validation run.
    void addErrorUnderline(qint64 filePos, int length = -1);
    // Empties every tag and removes every underline, error position and stop mark, in one redraw.
    void clearErrorMarks();

    // Keeps filePos (as for addErrorUnderline) as the position of the error with tag (positive). The
    // position moves with the text around it: text inserted at or before it pushes it on, a deletion
    // around it leaves it where the deletion was.
    void setErrorPosition(int tag, qint64 filePos);
    // Moves the caret to the error's position, as gotoPosition() does; false when the tag has none.
    bool gotoErrorPosition(int tag);
    // The tag of the error that follows (forward) or precedes the caret, in text order, wrapping
    // around the ends. current, when the caret stands on its position, is the error the caret is on,
    // so that errors sharing one position are visited one by one. 0 when no error has a position.
    int adjacentErrorTag(int current, bool forward) const;
    // How many errors keep a position.
    int errorPositionCount() const;

    // Keeps the places of the items a page lists (the transactions of a payment file) through edits,
    // as error positions are kept, replacing those kept before: utf8Offsets ascending, in bytes into
    // textUtf8() as it was. An edit that removes an item's first character loses its place.
    void setItemPositions(const std::vector<qint64> &utf8Offsets);
    // Moves the caret to the item's place, as gotoErrorPosition does; false when it has none.
    bool gotoItemPosition(qsizetype item);
    // The last item whose place is at or before the caret; -1 when there is none.
    qsizetype itemAtCaret() const;
    // The same for a second list, the places of findings: filePositions as for addErrorUnderline, in
    // any order, replacing those kept before.
    void setFindingPositions(const std::vector<qint64> &filePositions);
    bool gotoFindingPosition(qsizetype finding);

    // Marks the place where a parser stopped on text that is not well-formed: filePos as for
    // addErrorUnderline, boxed over the tag it falls in, or the tag it follows right after.
    void addStopMark(qint64 filePos);
    // The caret to filePos (as for addErrorUnderline), selection cleared, its line centred and the
    // position scrolled into view (again when a hidden editor is shown).
    void gotoFilePosition(qint64 filePos);

    // True when the text has changed since it was last loaded or saved (or since the editor was
    // made); undoing back to that point clears it again.
    bool isModified() const;
    // Counts the changes of the text: equal numbers mean the same text, unchanged in between.
    quint64 textVersion() const;

    // All lines joined by CR LF, whatever line ends the document has: the text that is validated.
    QString text() const;
    // The same text as UTF-8, for a parser that reads UTF-8.
    QByteArray textUtf8() const;
    // True when the text holds nothing above U+0020 (only blanks, line breaks and control characters).
    bool isBlank() const;
    // Replaces the whole text as one edit; tags and underlines go, the remembered encoding stays.
    void setText(const QString &text);

    // Caret position, both counted from 1; the column in UTF-16 units, as error positions are.
    int caretColumn() const;
    int caretLine() const;
    // Puts the caret on column 1 of line (counted from 1, clamped to the text), clears the selection
    // and scrolls so that the line is centred vertically (again when a hidden editor is shown).
    void gotoLine(int line);
    // Puts the caret at filePos, an offset in UTF-16 units into text() as error positions count it
    // (clamped to the text), with its line centred as gotoLine does.
    void gotoFilePos(qint64 filePos);
    // The topmost line in view, counted from 1, and how many lines the view shows.
    int firstVisibleLine() const;
    int visibleLineCount() const;

    // A bracket around many changes; the view is redrawn once, when the outermost bracket ends.
    void beginUpdate();
    void endUpdate();

    // Replaces the text with a file's, decoded as platform/textformat.h describes; the encoding found is
    // remembered, the lines carry no tags. Throws EFOpenError and leaves the editor as it was when
    // the file cannot be read.
    void loadFromFile(const QString &fileName);
    // The same for a file's text already decoded (toUtf8Text) and the encoding it was found in.
    void loadText(const QByteArray &utf8, TextEncoding encoding);
    // Writes the text in the remembered encoding (Windows-1252 until a file is loaded), with its
    // byte-order mark, replacing the file atomically. An unedited load saves the very same bytes.
    // Throws EConvertError when a character has no code in that encoding and EFCreateError when
    // the file cannot be written; the text and any existing file are kept either way.
    void saveToFile(const QString &fileName);
    TextEncoding encoding() const;
    // The encoding the next save writes in, until a load sets the file's own.
    void setEncoding(TextEncoding encoding);

Q_SIGNALS:
    void textChanged();
    void caretMoved();
    void modificationChanged(bool modified);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Closes a bulk-change bracket of the editor when it goes out of scope.
class TXMLEditorUpdateGuard
{
public:
    explicit TXMLEditorUpdateGuard(TXMLEditor &editor)
        : m_editor(editor)
    {
        m_editor.beginUpdate();
    }
    ~TXMLEditorUpdateGuard() { m_editor.endUpdate(); }
    TXMLEditorUpdateGuard(const TXMLEditorUpdateGuard &) = delete;
    TXMLEditorUpdateGuard &operator=(const TXMLEditorUpdateGuard &) = delete;

private:
    TXMLEditor &m_editor;
};

namespace xmleditor {
// Whether an assistive technology listens (QAccessible::isActive); replaceable, so that a test can
// stand in for one where the platform has none.
extern bool (*assistiveTechnologyActive)();
} // namespace xmleditor
