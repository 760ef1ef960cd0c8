// What the window reads from and does to the editor's view: whole text, caret, jump, gutter, the
// bulk-change bracket and the error underlines.

#include "editor/linetags.h"
#include "editor/qsci.h"
#include "editor/xmleditor.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString numberedLines(int count)
{
    QString text;
    for (int i = 1; i <= count; ++i)
        text += u"<line n=\"%1\"/>\n"_s.arg(i);
    return text;
}

QsciScintilla *scintilla(TXMLEditor &editor)
{
    return editor.findChild<QsciScintilla *>();
}

// The texts under the error underline, in document order.
QStringList underlinedTexts(TXMLEditor &editor)
{
    QsciScintilla *sci = scintilla(editor);
    const long length = sci->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    QStringList texts;
    long position = 0;
    while (position < length) {
        const long end = sci->SendScintilla(
            QsciScintillaBase::SCI_INDICATOREND, QsciScintillaBase::INDIC_CONTAINER, position);
        if (sci->SendScintilla(
                QsciScintillaBase::SCI_INDICATORVALUEAT, QsciScintillaBase::INDIC_CONTAINER, position)) {
            QByteArray bytes(end - position + 1, '\0'); // with room for the terminating NUL
            sci->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, position, end, bytes.data());
            texts.append(QString::fromUtf8(bytes.chopped(1)));
        }
        if (end <= position)
            break;
        position = end;
    }
    return texts;
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class TestXmlEditorView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeTextJoinsLinesWithCrLf_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("LF line ends") << u"<a>\n<b/>\n</a>\n"_s << u"<a>\r\n<b/>\r\n</a>\r\n"_s;
        QTest::newRow("CR LF line ends") << u"<a>\r\n</a>"_s << u"<a>\r\n</a>"_s;
        QTest::newRow("lone CR line ends") << u"<a>\r</a>\r"_s << u"<a>\r\n</a>\r\n"_s;
        QTest::newRow("mixed line ends") << u"<a>\r\n<b/>\n<c/>\r</a>"_s << u"<a>\r\n<b/>\r\n<c/>\r\n</a>"_s;
        QTest::newRow("no final line break") << u"<a/>"_s << u"<a/>"_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("NUL and non-ASCII")
            << QString::fromUtf16(u"ä\0𝄞\n€", 6) << QString::fromUtf16(u"ä\0𝄞\r\n€", 7);
    }
    void wholeTextJoinsLinesWithCrLf()
    {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        TXMLEditor editor;
        editor.setText(typed);
        QCOMPARE(editor.text(), expected);
        QCOMPARE(editor.textUtf8(), expected.toUtf8());
    }

    void blankText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blank");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("spaces and line breaks") << u"  \r\n\n \t "_s << true;
        QTest::newRow("control characters and NUL") << QString::fromUtf16(u"\0\x01\x1F ", 4) << true;
        QTest::newRow("one visible character") << u"\n  x \n"_s << false;
        QTest::newRow("one non-ASCII character") << u" ä "_s << false;
        QTest::newRow("no-break space") << u"\u00A0"_s << false;
    }
    void blankText()
    {
        QFETCH(QString, text);
        QFETCH(bool, blank);
        TXMLEditor editor;
        editor.setText(text);
        QCOMPARE(editor.isBlank(), blank);
    }

    void caretCountsFromOne_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("sciLine");
        QTest::addColumn<int>("index"); // in characters, as QScintilla counts
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("column");
        QTest::newRow("start of the text") << u"abc\ndef"_s << 0 << 0 << 1 << 1;
        QTest::newRow("line 3, column 17") << u"a\nb\n0123456789abcdefgh"_s << 2 << 16 << 3 << 17;
        QTest::newRow("after two-byte characters") << u"x\nää<b/>"_s << 1 << 2 << 2 << 3;
        QTest::newRow("after a character outside the BMP") << u"𝄞c<d/>"_s << 0 << 2 << 1 << 4;
        QTest::newRow("tab counts as one") << u"\t\tx"_s << 0 << 2 << 1 << 3;
    }
    void caretCountsFromOne()
    {
        QFETCH(QString, text);
        QFETCH(int, sciLine);
        QFETCH(int, index);
        QFETCH(int, line);
        QFETCH(int, column);
        TXMLEditor editor;
        editor.setText(text);
        scintilla(editor)->setCursorPosition(sciLine, index);
        QCOMPARE(editor.caretLine(), line);
        QCOMPARE(editor.caretColumn(), column);
    }

    void jumpCentresTheLine_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("caretLine");
        QTest::newRow("line in the middle") << 500 << 500;
        QTest::newRow("line near the top cannot be centred") << 3 << 3;
        QTest::newRow("line beyond the end goes to the last") << 5000 << 1001;
        QTest::newRow("line 0 goes to the first") << 0 << 1;
    }
    void jumpCentresTheLine()
    {
        QFETCH(int, target);
        QFETCH(int, caretLine);
        TXMLEditor editor;
        editor.resize(500, 400);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.setText(numberedLines(1000));
        QsciScintilla *sci = scintilla(editor);
        sci->setSelection(10, 2, 12, 4);
        sci->setFirstVisibleLine(700);

        editor.gotoLine(target);
        QCOMPARE(editor.caretLine(), caretLine);
        QCOMPARE(editor.caretColumn(), 1);
        QVERIFY(!sci->hasSelectedText());
        const int first = editor.firstVisibleLine();
        const int shown = editor.visibleLineCount();
        QVERIFY(shown > 5);
        QVERIFY(caretLine >= first && caretLine < first + shown);
        if (caretLine > shown && caretLine < editor.lineCount() - shown)
            QVERIFY2(qAbs((caretLine - first) - (first + shown - 1 - caretLine)) <= 1,
                qPrintable(u"first %1, shown %2"_s.arg(first).arg(shown)));
        else if (caretLine <= shown / 2)
            QCOMPARE(first, 1);
    }

    void jumpInHiddenEditorCentresWhenShown()
    {
        QWidget window;
        window.resize(500, 400);
        auto *editor = new TXMLEditor(&window);
        editor->setText(numberedLines(1000));
        editor->hide();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        editor->gotoLine(600);
        editor->setGeometry(0, 0, 500, 400);
        editor->show();
        QTRY_VERIFY(editor->visibleLineCount() > 5);
        const int first = editor->firstVisibleLine();
        const int shown = editor->visibleLineCount();
        QVERIFY2(qAbs((600 - first) - (first + shown - 1 - 600)) <= 1,
            qPrintable(u"first %1, shown %2"_s.arg(first).arg(shown)));
    }

    void fontsAreFixedPitchAtTheirSizes()
    {
        TXMLEditor editor;
        QsciScintilla *sci = scintilla(editor);
        const QString family = QFontDatabase::families().contains(u"Courier New"_s)
            ? u"Courier New"_s
            : QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
        auto styleFamily = [&](int style) {
            QByteArray name(256, '\0');
            sci->SendScintilla(QsciScintillaBase::SCI_STYLEGETFONT, style, name.data());
            return QString::fromUtf8(name.constData());
        };
        // Sizes in hundredths of a point: 10 pt for the text, 11 pixels at 96 dpi for the gutter.
        for (const int style : { int(QsciScintillaBase::STYLE_DEFAULT), 1 /* tag */, 6 /* string */ }) {
            QCOMPARE(styleFamily(style), family);
            QCOMPARE(sci->SendScintilla(QsciScintillaBase::SCI_STYLEGETSIZEFRACTIONAL, style), 1000);
        }
        QCOMPARE(styleFamily(QsciScintillaBase::STYLE_LINENUMBER), family);
        QCOMPARE(sci->SendScintilla(
                     QsciScintillaBase::SCI_STYLEGETSIZEFRACTIONAL, QsciScintillaBase::STYLE_LINENUMBER),
            825);
        QVERIFY(QFontInfo(QFont(family)).fixedPitch());
        QCOMPARE(sci->SendScintilla(QsciScintillaBase::SCI_GETFONTQUALITY),
            long(QsciScintillaBase::SC_EFF_QUALITY_NON_ANTIALIASED));
    }

    void gutterGrowsWithTheDigitsOfTheLineCount()
    {
        TXMLEditor editor;
        QsciScintilla *sci = scintilla(editor);
        editor.setText(numberedLines(9));
        const int fewLines = sci->marginWidth(0);
        QVERIFY(fewLines > 0);
        editor.setText(numberedLines(9000)); // four digits are always room
        QCOMPARE(sci->marginWidth(0), fewLines);
        editor.setText(numberedLines(99998)); // 99999 lines with the empty last one
        const int fiveDigits = sci->marginWidth(0);
        QVERIFY(fiveDigits > fewLines);
        // Edits made on the view itself: the gutter follows once the event loop runs.
        sci->append(u"<more/>\n<more/>\n"_s); // 100001 lines: six digits
        QTRY_VERIFY(sci->marginWidth(0) > fiveDigits);
        sci->setSelection(50, 0, 100000, 0);
        sci->removeSelectedText();
        QTRY_COMPARE(sci->marginWidth(0), fewLines);
    }

    void bulkChangeRedrawsOnlyAfterTheOutermostEnd()
    {
        TXMLEditor editor;
        editor.resize(400, 300);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.setText(numberedLines(50));
        PaintCounter counter;
        scintilla(editor)->viewport()->installEventFilter(&counter);
        QCoreApplication::processEvents();
        counter.paints = 0;

        editor.beginUpdate();
        editor.beginUpdate();
        for (int line = 0; line < 40; ++line) {
            editor.setLineTag(line, line + 1);
            QCoreApplication::processEvents();
        }
        editor.endUpdate();
        QCoreApplication::processEvents();
        QCOMPARE(counter.paints, 0);
        editor.endUpdate();
        QTRY_VERIFY(counter.paints >= 1);
        editor.endUpdate(); // an unmatched end does no harm
        QCOMPARE(editor.lineTag(39), 40);
    }

    void signalsTellOfEditsAndCaretMoves()
    {
        TXMLEditor editor;
        editor.resize(400, 300);
        editor.show();
        editor.setText(u"<a/>\n"_s);
        QSignalSpy textSpy(&editor, &TXMLEditor::textChanged);
        QSignalSpy caretSpy(&editor, &TXMLEditor::caretMoved);
        QTest::keyClicks(scintilla(editor), u"x"_s);
        QCOMPARE(textSpy.count(), 1);
        QTRY_VERIFY(caretSpy.count() >= 1);
        caretSpy.clear();
        editor.gotoLine(2);
        QTRY_VERIFY(caretSpy.count() >= 1);
    }

    // Edits made on the view itself, not through the editor: every call of the editor sees them at
    // once, and each tells of itself once the event loop runs.
    void editsOnTheViewAreSeenAtOnce()
    {
        TXMLEditor editor;
        editor.resize(400, 300);
        editor.show();
        editor.setText(u"<a>\n<b/>\n</a>\n"_s);
        QSignalSpy textSpy(&editor, &TXMLEditor::textChanged);
        QsciScintilla *sci = scintilla(editor);
        sci->SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 4UL, "<c/>\n<d/>\n");
        QCOMPARE(editor.lineCount(), 6);
        QCOMPARE(editor.text(), u"<a>\r\n<c/>\r\n<d/>\r\n<b/>\r\n</a>\r\n"_s);
        QCOMPARE(textSpy.count(), 1);
        sci->SendScintilla(QsciScintillaBase::SCI_DELETERANGE, 0UL, 4L);
        sci->undo();
        QTRY_COMPARE(textSpy.count(), 3);
        QCOMPARE(editor.lineCount(), 6);
        editor.setLineTag(5, 9);
        QCOMPARE(editor.findLineWithTag(9), 5);
    }

    // QScintilla's accessibility object counts the characters before the caret from the start of
    // the text at every change; while no assistive technology listens the view has a plain one.
    void plainAccessibleWhileNothingListens()
    {
        QVERIFY(!QAccessible::isActive());
        TXMLEditor editor;
        editor.show();
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(scintilla(editor));
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::EditableText);
        QVERIFY(!accessible->textInterface());
    }

    // With an assistive technology listening, the view keeps QScintilla's own accessible object,
    // which reads the text, and edits are followed as ever.
    void qscintillaAccessibleWhileSomethingListens()
    {
        // The offscreen platform has no accessibility of its own to switch on.
        xmleditor::assistiveTechnologyActive = [] { return true; };
        const auto inactive
            = qScopeGuard([] { xmleditor::assistiveTechnologyActive = &QAccessible::isActive; });
        TXMLEditor editor;
        editor.resize(400, 300);
        editor.show();
        editor.setText(u"<a>\n</a>\n"_s);
        QsciScintilla *sci = scintilla(editor);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(sci);
        QVERIFY(accessible);
        QVERIFY(accessible->textInterface());
        editor.gotoLine(2);
        QTest::keyClicks(sci, u"<b/>"_s);
        QTest::keyClick(sci, Qt::Key_Return);
        QCOMPARE(editor.text(), u"<a>\r\n<b/>\r\n</a>\r\n"_s);
        QCOMPARE(editor.lineCount(), 4);
        QCOMPARE(accessible->textInterface()->characterCount(), int(sci->text().size()));
    }

    void windowShortcutsWorkWhileTheEditorHasFocus_data()
    {
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::newRow("Ctrl+O") << QKeySequence(Qt::CTRL | Qt::Key_O);
        QTest::newRow("Ctrl+S") << QKeySequence(Qt::CTRL | Qt::Key_S);
        QTest::newRow("F9") << QKeySequence(Qt::Key_F9);
    }
    void windowShortcutsWorkWhileTheEditorHasFocus()
    {
        QFETCH(QKeySequence, shortcut);
        QWidget window;
        auto *editor = new TXMLEditor(&window);
        editor->resize(300, 200);
        auto *action = new QAction(&window);
        action->setShortcut(shortcut);
        window.addAction(action);
        QSignalSpy triggered(action, &QAction::triggered);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        editor->setText(u"<a/>"_s);
        editor->setFocus();
        QTRY_VERIFY(scintilla(*editor)->hasFocus());
        QTest::keySequence(QApplication::focusWidget(), shortcut);
        QCOMPARE(triggered.count(), 1);
        QCOMPARE(editor->text(), u"<a/>"_s);
    }

    void underlineMarksTheElementAtTheErrorOffset_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("elements"); // each underlined from its first occurrence
        QTest::addColumn<int>("length");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("element on a one-line file")
            << u"<a><b/><c x=\"1\">t</c></a>"_s << QStringList { u"<c"_s } << -1
            << QStringList { u"<c x=\"1\">"_s };
        QTest::newRow("after LF line ends, which count as CR LF")
            << u"<a>\n<b/>\n<c/>\n</a>"_s << QStringList { u"<c"_s } << -1 << QStringList { u"<c/>"_s };
        QTest::newRow("after lone CR line ends")
            << u"<a>\r<b/>\r<c/>"_s << QStringList { u"<c"_s } << -1 << QStringList { u"<c/>"_s };
        QTest::newRow("after characters outside the BMP")
            << u"<a>𝄞ä€</a><c/>"_s << QStringList { u"<c"_s } << -1 << QStringList { u"<c/>"_s };
        QTest::newRow("given length")
            << u"<a><Amt>1</Amt></a>"_s << QStringList { u"<Amt"_s } << 3 << QStringList { u"<Am"_s };
        QTest::newRow("no closing bracket on the line")
            << u"<a>\n<c attr\n=\"1\"/>"_s << QStringList { u"<c"_s } << -1 << QStringList { u"<c attr"_s };
        QTest::newRow("several in ascending order")
            << u"<a>\n<b/>\n<c/>\n</a>"_s << QStringList { u"<b"_s, u"<c"_s } << -1
            << QStringList { u"<b/>"_s, u"<c/>"_s };
        QTest::newRow("several in descending order")
            << u"<a>\n<b/>\n<c/>\n</a>"_s << QStringList { u"<c"_s, u"<b"_s } << -1
            << QStringList { u"<b/>"_s, u"<c/>"_s };
    }
    void underlineMarksTheElementAtTheErrorOffset()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, elements);
        QFETCH(int, length);
        QFETCH(QStringList, expected);
        TXMLEditor editor;
        editor.setText(text);
        const QString joined = editor.text();
        for (const QString &element : elements)
            editor.addErrorUnderline(joined.indexOf(element), length);
        QCOMPARE(underlinedTexts(editor), expected);
    }

    void underlinesAndSymbolsMoveWithTheTextAndAreCleared()
    {
        TXMLEditor editor;
        editor.setText(u"<a>\n<b/>\n<c/>\n</a>"_s);
        editor.setLineTag(2, 1);
        editor.addErrorUnderline(editor.text().indexOf(u"<c"_s));
        QsciScintilla *sci = scintilla(editor);
        sci->insertAt(u"<new/>\n<new/>\n"_s, 1, 0);
        sci->insertAt(u"x"_s, 4, 0); // before the element on its own line
        QCOMPARE(underlinedTexts(editor), QStringList { u"<c/>"_s });
        QCOMPARE(editor.findLineWithTag(1), 4);
        QVERIFY(sci->markersAtLine(4) & (1u << LineTags::symbolMarker));

        // Offsets refer to the text as it is now, not as it was when the first underline was added.
        editor.addErrorUnderline(editor.text().indexOf(u"<b"_s));
        QCOMPARE(underlinedTexts(editor), (QStringList { u"<b/>"_s, u"<c/>"_s }));

        editor.clearErrorMarks();
        QCOMPARE(underlinedTexts(editor), QStringList {});
        QCOMPARE(editor.findLineWithTag(1), -1);
        QCOMPARE(sci->markersAtLine(4), 0u);
    }
};

QTEST_MAIN(TestXmlEditorView)
#include "tst_xmleditor_view.moc"
