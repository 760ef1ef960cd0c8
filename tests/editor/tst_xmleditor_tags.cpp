// The editor's per-line tags: stored, found, cleared, and carried along with their lines' text.

#include "editor/linetags.h"
#include "editor/qsci.h"
#include "editor/xmleditor.h"
#include "platform/exception.h"

#include <QTest>

using namespace Qt::StringLiterals;

using TagMap = QMap<int, int>; // line index -> tag

namespace {

QString numberedLines(int count)
{
    QString text;
    for (int i = 1; i <= count; ++i)
        text += u"line %1\n"_s.arg(i);
    return text;
}

TagMap allTags(const TXMLEditor &editor)
{
    TagMap tags;
    for (int line = 0; line < editor.lineCount(); ++line) {
        if (const int tag = editor.lineTag(line))
            tags.insert(line, tag);
    }
    return tags;
}

// The lines that show the error symbol in the gutter.
QList<int> symbolLines(TXMLEditor &editor)
{
    auto *sci = editor.findChild<QsciScintilla *>();
    QList<int> lines;
    for (int line = 0; line < editor.lineCount(); ++line) {
        if (sci->markersAtLine(line) & (1u << LineTags::symbolMarker))
            lines.append(line);
    }
    return lines;
}

struct Edit
{
    enum Kind
    {
        Insert,
        Delete,
        InsertAndUndo
    } kind;
    int line;
    int index; // -1: end of the line
    int toLine = 0;
    int toIndex = 0;
    QString text;
};

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestXmlEditorTags : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tagsMoveWithTheirLines_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<TagMap>("expected");
        // Before each edit: 20 lines, tag 7 on index 3, tag 5 on index 11 (line 12), tag 6 on index 12.
        QTest::newRow("two lines inserted above line 12") << Edit { Edit::Insert, 11, 0, 0, 0,
            u"new a\nnew b\n"_s } << TagMap { { 3, 7 }, { 13, 5 }, { 14, 6 } };
        QTest::newRow("line break typed at the start of the tagged line")
            << Edit { Edit::Insert, 11, 0, 0, 0, u"\n"_s } << TagMap { { 3, 7 }, { 12, 5 }, { 13, 6 } };
        QTest::newRow("line break typed inside the tagged line")
            << Edit { Edit::Insert, 11, 3, 0, 0, u"\n"_s } << TagMap { { 3, 7 }, { 11, 5 }, { 13, 6 } };
        QTest::newRow("line break typed at the end of the line above")
            << Edit { Edit::Insert, 10, -1, 0, 0, u"\n"_s } << TagMap { { 3, 7 }, { 12, 5 }, { 13, 6 } };
        QTest::newRow("text typed into the tagged line")
            << Edit { Edit::Insert, 11, 2, 0, 0, u"xyz"_s } << TagMap { { 3, 7 }, { 11, 5 }, { 12, 6 } };
        QTest::newRow("two lines above deleted")
            << Edit { Edit::Delete, 8, 0, 10, 0, {} } << TagMap { { 3, 7 }, { 9, 5 }, { 10, 6 } };
        QTest::newRow("tagged line deleted whole")
            << Edit { Edit::Delete, 11, 0, 12, 0, {} } << TagMap { { 3, 7 }, { 11, 6 } };
        QTest::newRow("line break before the tagged line deleted")
            << Edit { Edit::Delete, 10, -1, 11, 0, {} } << TagMap { { 3, 7 }, { 10, 5 }, { 11, 6 } };
        QTest::newRow("two tagged lines joined keep the first tag")
            << Edit { Edit::Delete, 11, -1, 12, 0, {} } << TagMap { { 3, 7 }, { 11, 5 } };
        QTest::newRow("deletion from the middle of the line above into the tagged line")
            << Edit { Edit::Delete, 10, 2, 11, 2, {} } << TagMap { { 3, 7 }, { 10, 5 }, { 11, 6 } };
        QTest::newRow("deletion from a tagged line into the next tagged one")
            << Edit { Edit::Delete, 11, 2, 12, 2, {} } << TagMap { { 3, 7 }, { 11, 5 } };
        QTest::newRow("deletion of whole lines up to a tagged one")
            << Edit { Edit::Delete, 4, 0, 11, 0, {} } << TagMap { { 3, 7 }, { 4, 5 }, { 5, 6 } };
        QTest::newRow("everything deleted") << Edit { Edit::Delete, 0, 0, 20, 0, {} } << TagMap {};
        QTest::newRow("two lines inserted above and undone") << Edit { Edit::InsertAndUndo, 11, 0, 0, 0,
            u"new a\nnew b\n"_s } << TagMap { { 3, 7 }, { 11, 5 }, { 12, 6 } };
    }
    void tagsMoveWithTheirLines()
    {
        QFETCH(Edit, edit);
        QFETCH(TagMap, expected);
        TXMLEditor editor;
        editor.setText(numberedLines(20));
        editor.setLineTag(3, 7);
        editor.setLineTag(11, 5);
        editor.setLineTag(12, 6);

        auto *sci = editor.findChild<QsciScintilla *>();
        auto index = [&](int line, int index) { return index < 0 ? sci->text(line).size() - 1 : index; };
        if (edit.kind == Edit::Delete) {
            sci->setSelection(edit.line, index(edit.line, edit.index), edit.toLine, edit.toIndex);
            sci->removeSelectedText();
        } else {
            sci->insertAt(edit.text, edit.line, index(edit.line, edit.index));
            if (edit.kind == Edit::InsertAndUndo)
                sci->undo();
        }

        QCOMPARE(allTags(editor), expected);
        QCOMPARE(symbolLines(editor), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(editor.findLineWithTag(it.value()), it.key());
    }

    void tagsMoveWhenTheUserTypes()
    {
        TXMLEditor editor;
        editor.resize(400, 300);
        editor.show();
        editor.setText(numberedLines(20));
        editor.setLineTag(11, 1);
        auto *sci = editor.findChild<QsciScintilla *>();
        sci->setCursorPosition(11, 0);
        QTest::keyClick(sci, Qt::Key_Return);
        QTest::keyClick(sci, Qt::Key_Return);
        QCOMPARE(editor.findLineWithTag(1), 13);
        QTest::keyClick(sci, Qt::Key_Backspace);
        QCOMPARE(editor.findLineWithTag(1), 12);
        QCOMPARE(sci->text(12), u"line 12\n"_s);
    }

    void tagValuesAreKeptExactly_data()
    {
        QTest::addColumn<int>("tag");
        QTest::newRow("smallest tag") << 1;
        QTest::newRow("power of two") << 1024;
        QTest::newRow("many bits") << 0x5A5A5A5;
        QTest::newRow("largest int") << std::numeric_limits<int>::max();
    }
    void tagValuesAreKeptExactly()
    {
        QFETCH(int, tag);
        TXMLEditor editor;
        editor.setText(numberedLines(5));
        editor.setLineTag(2, tag);
        QCOMPARE(editor.lineTag(2), tag);
        QCOMPARE(editor.findLineWithTag(tag), 2);
        QCOMPARE(allTags(editor), (TagMap { { 2, tag } }));
    }

    void laterTagReplacesEarlierOnTheSameLine()
    {
        TXMLEditor editor;
        editor.setText(numberedLines(5));
        editor.setLineTag(2, 3); // bits 0 and 1
        editor.setLineTag(2, 4);
        QCOMPARE(editor.lineTag(2), 4);
        QCOMPARE(editor.findLineWithTag(3), -1);
        QCOMPARE(editor.findLineWithTag(4), 2);
        editor.setLineTag(2, 0);
        QCOMPARE(allTags(editor), TagMap {});
        QCOMPARE(symbolLines(editor), QList<int> {});
    }

    void findLineWithTag_data()
    {
        QTest::addColumn<TagMap>("tags");
        QTest::addColumn<int>("wanted");
        QTest::addColumn<int>("expected");
        QTest::newRow("first of two lines with the tag") << TagMap { { 4, 3 }, { 9, 3 }, { 2, 8 } } << 3 << 4;
        QTest::newRow("tag on one line") << TagMap { { 4, 3 }, { 9, 3 }, { 2, 8 } } << 8 << 2;
        QTest::newRow("tag nowhere") << TagMap { { 4, 3 } } << 9 << -1;
        QTest::newRow("no tags at all") << TagMap {} << 1 << -1;
        QTest::newRow("tag whose bits another tag contains") << TagMap { { 1, 3 }, { 5, 1 } } << 1 << 5;
        QTest::newRow("tag on the last line") << TagMap { { 9, 12 } } << 12 << 9;
        QTest::newRow("0 finds the first untagged line") << TagMap { { 0, 1 }, { 1, 2 } } << 0 << 2;
        QTest::newRow("negative tag") << TagMap { { 0, 1 } } << -1 << -1;
    }
    void findLineWithTag()
    {
        QFETCH(TagMap, tags);
        QFETCH(int, wanted);
        QFETCH(int, expected);
        TXMLEditor editor;
        editor.setText(numberedLines(9)); // ten lines, the last one empty
        for (auto it = tags.cbegin(); it != tags.cend(); ++it)
            editor.setLineTag(it.key(), it.value());
        QCOMPARE(editor.findLineWithTag(wanted), expected);
    }

    void clearLineTagsEmptiesEveryLine()
    {
        TXMLEditor editor;
        editor.setText(numberedLines(3000));
        for (int line = 0; line < 3000; line += 7)
            editor.setLineTag(line, line + 1);
        editor.clearLineTags();
        QCOMPARE(allTags(editor), TagMap {});
        QCOMPARE(symbolLines(editor), QList<int> {});
        QCOMPARE(editor.findLineWithTag(8), -1);
    }

    void badLineIndexOrTagIsRefused_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("tag");
        QTest::newRow("line -1") << -1 << 1;
        QTest::newRow("line one past the last") << 3 << 1;
        QTest::newRow("negative tag") << 0 << -5;
    }
    void badLineIndexOrTagIsRefused()
    {
        QFETCH(int, line);
        QFETCH(int, tag);
        TXMLEditor editor;
        editor.setText(u"a\nb\nc"_s);
        QCOMPARE(editor.lineCount(), 3);
        QVERIFY_THROWS_EXCEPTION(EArgumentOutOfRangeException, editor.setLineTag(line, tag));
        if (tag > 0)
            QVERIFY_THROWS_EXCEPTION(EArgumentOutOfRangeException, editor.lineTag(line));
        QCOMPARE(allTags(editor), TagMap {});
    }

    void replacingTheTextDropsTags()
    {
        TXMLEditor editor;
        editor.setText(numberedLines(5));
        editor.setLineTag(0, 2);
        editor.setLineTag(4, 3);
        editor.setText(numberedLines(6));
        QCOMPARE(allTags(editor), TagMap {});
        QCOMPARE(symbolLines(editor), QList<int> {});
    }
};

QTEST_MAIN(TestXmlEditorTags)
#include "tst_xmleditor_tags.moc"
