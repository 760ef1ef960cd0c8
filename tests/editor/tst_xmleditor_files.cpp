// Loading files into the editor and saving them: every file comes back byte for byte, new lines
// take the file's line end, and a failure keeps both the text and the file on disk.

#include "editor/qsci.h"
#include "editor/xmleditor.h"
#include "platform/exception.h"
#include "tests/support/testfiles.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TextEncoding)

using testsupport::readAll;
using testsupport::writeAll;

namespace {

QByteArray utf16(const QString &text, bool bigEndian)
{
    QByteArray out;
    for (const QChar c : u"\uFEFF"_s + text) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
        out += bigEndian ? QByteArray { &high, 1 } + low : QByteArray { &low, 1 } + high;
    }
    return out;
}

// Windows-1252 for the few characters the tests use beyond ASCII.
QByteArray windows1252(const QString &text)
{
    QByteArray out;
    for (const QChar c : text)
        out += c == u'€' ? '\x80' : char(c.unicode());
    return out;
}

QByteArray encoded(const QString &text, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return text.toUtf8();
    case TextEncoding::Utf8Bom:
        return "\xEF\xBB\xBF" + text.toUtf8();
    case TextEncoding::Utf16LE:
        return utf16(text, false);
    case TextEncoding::Utf16BE:
        return utf16(text, true);
    case TextEncoding::Windows1252:
        return windows1252(text);
    }
    return {};
}

QString withCrLf(const QString &text)
{
    QString out = text;
    out.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n').replace(u"\n"_s, u"\r\n"_s);
    return out;
}

// The editor shown at 600 × 400 with the file at path loaded: its view.
QsciScintilla *showWithFile(TXMLEditor &editor, const QString &path)
{
    editor.resize(600, 400);
    editor.show();
    editor.loadFromFile(path);
    return editor.findChild<QsciScintilla *>();
}

// The numbers in the gutter beside the shown lines in view, added to numbers: shown line to the
// number beside it, -1 for a line read before with another number.
void readViewNumbers(QsciScintilla *sci, QMap<int, int> &numbers)
{
    using Sci = QsciScintillaBase;
    const long first = sci->SendScintilla(Sci::SCI_GETFIRSTVISIBLELINE);
    const long onScreen = std::max(1L, sci->SendScintilla(Sci::SCI_LINESONSCREEN));
    for (long line = first; line < std::min(long(sci->lines()), first + onScreen); ++line) {
        const long length = sci->SendScintilla(Sci::SCI_MARGINGETTEXT, line, static_cast<void *>(nullptr));
        if (length <= 0)
            continue;
        QByteArray text(length, '\0');
        sci->SendScintilla(Sci::SCI_MARGINGETTEXT, line, static_cast<void *>(text.data()));
        const auto seen = numbers.constFind(int(line));
        numbers.insert(int(line), seen == numbers.cend() || *seen == text.toInt() ? text.toInt() : -1);
    }
}

// The view's first shown line put at first and painted, then its numbers read.
QMap<int, int> numbersAt(QsciScintilla *sci, long first)
{
    sci->SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, first);
    sci->viewport()->repaint();
    QMap<int, int> numbers;
    readViewNumbers(sci, numbers);
    return numbers;
}

// The gutter's numbers of a text shown in pieces, as the user sees them: first those in view, then
// page by page from the top, each page painted. The view is put back.
QMap<int, int> gutterNumbers(QsciScintilla *sci)
{
    using Sci = QsciScintillaBase;
    const long top = sci->SendScintilla(Sci::SCI_GETFIRSTVISIBLELINE);
    const long onScreen = std::max(1L, sci->SendScintilla(Sci::SCI_LINESONSCREEN));
    QMap<int, int> numbers;
    readViewNumbers(sci, numbers);
    for (long first = 0; first < sci->lines(); first += onScreen) {
        sci->SendScintilla(Sci::SCI_SETFIRSTVISIBLELINE, first);
        sci->viewport()->repaint();
        readViewNumbers(sci, numbers);
    }
    sci->SendScintilla(Sci::SCI_SETFIRSTVISIBLELINE, top);
    return numbers;
}

// The offset in text of an offset into its CR LF-joined form.
qsizetype textOffset(const QString &text, qsizetype joinedOffset)
{
    qsizetype joined = 0;
    qsizetype i = 0;
    for (; i < text.size() && joined < joinedOffset; ++i) {
        const bool crLf = text.at(i) == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n';
        joined += text.at(i) == u'\r' || text.at(i) == u'\n' ? 2 : 1;
        i += crLf ? 1 : 0;
    }
    return i;
}

QString fromUnits(std::initializer_list<char16_t> units)
{
    return QString(reinterpret_cast<const QChar *>(std::data(units)), qsizetype(units.size()));
}

} // namespace

class TestXmlEditorFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unchangedFileSavesTheSameBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<QString>("text"); // as loaded, before its line ends are made CR LF

        const QList<std::pair<const char *, TextEncoding>> encodings {
            { "UTF-8", TextEncoding::Utf8 },
            { "UTF-8 with BOM", TextEncoding::Utf8Bom },
            { "UTF-16 LE", TextEncoding::Utf16LE },
            { "UTF-16 BE", TextEncoding::Utf16BE },
            { "Windows-1252", TextEncoding::Windows1252 },
        };
        const QList<std::pair<const char *, QStringList>> lineEnds {
            { "CR LF", { u"\r\n"_s } },
            { "LF", { u"\n"_s } },
            { "lone CR", { u"\r"_s } },
            { "mixed", { u"\r\n"_s, u"\n"_s, u"\r"_s, u"\n"_s } },
        };
        const QStringList lines { u"<?xml version=\"1.0\"?>"_s, u"<Doc a='ä'>Grüße €</Doc>"_s, QString(),
            u"\t<x/>"_s, u"<!-- ende -->"_s };
        for (const auto &[encodingName, encoding] : encodings) {
            for (const auto &[lineEndName, ends] : lineEnds) {
                for (const bool finalBreak : { true, false }) {
                    QString text;
                    for (int i = 0; i < lines.size(); ++i) {
                        text += lines[i];
                        if (i + 1 < lines.size() || finalBreak)
                            text += ends[i % ends.size()];
                    }
                    if (encoding != TextEncoding::Windows1252)
                        text += u"<y>𝄞</y>"_s;
                    QTest::addRow("%s, %s line ends, %s final line break", encodingName, lineEndName,
                        finalBreak ? "with" : "without")
                        << encoded(text, encoding) << encoding << text;
                }
            }
        }

        // Byte rows: the text a file's bytes stand for is the decoder's (Windows-1252 with the C1
        // controls for its unassigned bytes); what matters here is that they all come back.
        auto bytesRow = [](const char *name, const QByteArray &bytes, TextEncoding encoding) {
            QTest::newRow(name) << bytes << encoding << decodeText(bytes).text;
        };
        QByteArray everyByte;
        for (int b = 0; b < 256; ++b)
            everyByte += char(b);
        QByteArray everyByteBackwards = everyByte;
        std::reverse(everyByteBackwards.begin(), everyByteBackwards.end());
        QByteArray randomBytes(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(20240611);
        for (char &b : randomBytes)
            b = char(random.bounded(256));
        bytesRow("every byte value without BOM", everyByte, TextEncoding::Windows1252);
        bytesRow("every byte value backwards, FE FF last", everyByteBackwards.sliced(2) + "\xFE\xFF",
            TextEncoding::Windows1252);
        bytesRow("every byte value backwards: FF FE marks UTF-16", everyByteBackwards, TextEncoding::Utf16LE);
        bytesRow("64 KiB of random bytes", randomBytes, TextEncoding::Windows1252);
        bytesRow("UTF-16 mark with an odd number of bytes", QByteArray("\xFF\xFE<\0a\0>", 7),
            TextEncoding::Windows1252);
        bytesRow("UTF-8 mark followed by bytes that are no UTF-8", QByteArray("\xEF\xBB\xBF<a>\xE4</a>"),
            TextEncoding::Windows1252);
        bytesRow("UTF-8 with an overlong form", QByteArray("<a>\xC0\xBC</a>"), TextEncoding::Windows1252);
        bytesRow(
            "UTF-8 with an encoded surrogate", QByteArray("<a>\xED\xA0\x80</a>"), TextEncoding::Windows1252);

        // Larger than the pieces a save converts at a time.
        QString longLine;
        for (int i = 0; i < 200000; ++i)
            longLine += u"<a>ä𝄞\r</a>"_s;
        QString manyLines;
        for (int i = 0; i < 100000; ++i)
            manyLines += u"<Nm>Müller %1 €</Nm>\r\n"_s.arg(i);
        QTest::newRow("UTF-16 LE, megabytes without a line feed")
            << utf16(longLine, false) << TextEncoding::Utf16LE << longLine;
        QTest::newRow("UTF-16 BE, megabytes of lines")
            << utf16(manyLines, true) << TextEncoding::Utf16BE << manyLines;
        QTest::newRow("Windows-1252, megabytes of lines")
            << windows1252(manyLines) << TextEncoding::Windows1252 << manyLines;

        const QString withNul = QString::fromUtf16(u"<a>\0</a>\r\n", 10);
        const QString unpaired = fromUnits({ u'<', 0xD800, u'a', u'\n', 0xDC00, u'>', 0xDBFF });
        const QString reversedPair = fromUnits({ 0xDC00, 0xD800, u'\r', u'x' });
        QTest::newRow("NUL bytes in UTF-8") << QByteArray("<a>\0x\0</a>\0\n", 12) << TextEncoding::Utf8
                                            << QString::fromUtf16(u"<a>\0x\0</a>\0\n", 12);
        QTest::newRow("NUL bytes in UTF-16") << utf16(withNul, false) << TextEncoding::Utf16LE << withNul;
        QTest::newRow("UTF-16 LE with unpaired surrogates")
            << utf16(unpaired, false) << TextEncoding::Utf16LE << unpaired;
        QTest::newRow("UTF-16 BE with surrogates in the wrong order")
            << utf16(reversedPair, true) << TextEncoding::Utf16BE << reversedPair;
        QTest::newRow("second byte-order mark is text")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF<a/>") << TextEncoding::Utf8Bom << u"\uFEFF<a/>"_s;
        QTest::newRow("only a UTF-8 byte-order mark")
            << QByteArray("\xEF\xBB\xBF") << TextEncoding::Utf8Bom << QString();
        QTest::newRow("only a UTF-16 byte-order mark")
            << QByteArray("\xFE\xFF") << TextEncoding::Utf16BE << QString();
        QTest::newRow("empty file") << QByteArray() << TextEncoding::Utf8 << QString();
        QTest::newRow("only line ends")
            << QByteArray("\n\r\n\r\r\n\n") << TextEncoding::Utf8 << u"\n\r\n\r\r\n\n"_s;
        QTest::newRow("C1 controls and NEL in UTF-8") << QByteArray("a\xC2\x85"
                                                                    "b\xC2\x81\n")
                                                      << TextEncoding::Utf8 << u"a\u0085b\u0081\n"_s;
        QTest::newRow("line and paragraph separators") << QByteArray("a\xE2\x80\xA8"
                                                                     "b\xE2\x80\xA9"
                                                                     "c")
                                                       << TextEncoding::Utf8 << u"a\u2028b\u2029c"_s;
    }
    void unchangedFileSavesTheSameBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(TextEncoding, encoding);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"roundtrip.xml"_s);
        QVERIFY(writeAll(path, bytes));

        TXMLEditor editor;
        editor.setText(u"earlier\ntext"_s);
        editor.setLineTag(1, 9);
        editor.loadFromFile(path);
        QCOMPARE(editor.encoding(), encoding);
        QCOMPARE(editor.findLineWithTag(9), -1);
        QCOMPARE(editor.text(), withCrLf(text));

        editor.saveToFile(path);
        const QByteArray saved = readAll(path);
        if (saved != bytes) {
            const qsizetype at
                = std::mismatch(saved.begin(), saved.end(), bytes.begin(), bytes.end()).first - saved.begin();
            QFAIL(qPrintable(u"differs at byte %1 of %2: saved %3, file %4"_s.arg(at)
                                 .arg(bytes.size())
                                 .arg(QString::fromLatin1(saved.mid(at, 8).toHex(' ')),
                                     QString::fromLatin1(bytes.mid(at, 8).toHex(' ')))));
        }
    }

    void newLinesTakeTheFileLineEnd_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("CR LF file") << QByteArray("<a>\r\n</a>\r\n") << QByteArray("<a>\r\n<n/>\r\n</a>\r\n");
        QTest::newRow("LF file") << QByteArray("<a>\n</a>\n") << QByteArray("<a>\n<n/>\n</a>\n");
        QTest::newRow("lone CR file") << QByteArray("<a>\r</a>\r") << QByteArray("<a>\r<n/>\r</a>\r");
        QTest::newRow("mostly LF") << QByteArray("<a>\n<b/>\r\n<c/>\n</a>")
                                   << QByteArray("<a>\n<n/>\n<b/>\r\n<c/>\n</a>");
        QTest::newRow("no line end at all") << QByteArray("<a></a>") << QByteArray("<a>\r\n<n/></a>");
    }
    void newLinesTakeTheFileLineEnd()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"typed.xml"_s);
        QVERIFY(writeAll(path, file));
        TXMLEditor editor;
        editor.loadFromFile(path);
        auto *sci = editor.findChild<QsciScintilla *>();
        sci->setCursorPosition(0, 3);
        QTest::keyClick(sci, Qt::Key_Return);
        QTest::keyClicks(sci, u"<n/>"_s);
        editor.saveToFile(path);
        QCOMPARE(readAll(path), expected);
    }

    void textTypedBeforeAnyLoadIsSavedAsWindows1252()
    {
        QTemporaryDir dir;
        TXMLEditor editor;
        QCOMPARE(editor.encoding(), TextEncoding::Windows1252);
        editor.setText(u"<a>Grüße €</a>\n"_s);
        const QString path = dir.filePath(u"new.xml"_s);
        editor.saveToFile(path);
        QCOMPARE(readAll(path),
            QByteArray("<a>Gr\xFC\xDF"
                       "e \x80</a>\n"));
    }

    void failedSaveKeepsTextAndFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("target"); // relative to the test folder
        QTest::addColumn<bool>("conversionFails");
        QTest::newRow("character Windows-1252 has no code for") << u"<a>Łódź</a>"_s << u"old.xml"_s << true;
        QTest::newRow("folder that does not exist") << u"<a/>"_s << u"missing/new.xml"_s << false;
        QTest::newRow("target is a folder") << u"<a/>"_s << u"folder"_s << false;
        QTest::newRow("no file name") << u"<a/>"_s << QString() << false;
    }
    void failedSaveKeepsTextAndFile()
    {
        QFETCH(QString, text);
        QFETCH(QString, target);
        QFETCH(bool, conversionFails);
        QTemporaryDir dir;
        const QString old = dir.filePath(u"old.xml"_s);
        QVERIFY(writeAll(old, "<old/>\n"));
        QVERIFY(QDir(dir.path()).mkpath(u"folder"_s));
        const QString path = target.isEmpty() ? QString() : dir.filePath(target);

        TXMLEditor editor;
        editor.setText(text);
        editor.setLineTag(0, 4);
        if (conversionFails)
            QVERIFY_THROWS_EXCEPTION(EConvertError, editor.saveToFile(path));
        else
            QVERIFY_THROWS_EXCEPTION(EFCreateError, editor.saveToFile(path));
        QCOMPARE(editor.text(), text);
        QCOMPARE(editor.lineTag(0), 4);
        QCOMPARE(readAll(old), QByteArray("<old/>\n"));
        QVERIFY(QFileInfo(dir.filePath(u"folder"_s)).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { u"old.xml"_s });
    }

    void unsavableCharacterIsNamedWithItsLine()
    {
        QTemporaryDir dir;
        QString text;
        for (int i = 1; i < 60000; ++i)
            text += u"<Nm>Müller %1</Nm>\n"_s.arg(i);
        text += u"<Nm>Łódź</Nm>\n"_s;
        TXMLEditor editor;
        editor.setText(text);
        try {
            editor.saveToFile(dir.filePath(u"new.xml"_s));
            QFAIL("saved a character Windows-1252 has no code for");
        } catch (const EConvertError &e) {
            QVERIFY2(e.message().contains(u"line 60000, column 5"_s), qPrintable(e.message()));
        }
        QVERIFY(!QFile::exists(dir.filePath(u"new.xml"_s)));
    }

    // A line of more than 16 KB is shown in pieces (virtual breaks the file does not have); the
    // text, the positions, the caret's line and column and the saved bytes are the file's.
    void longLinesShownInPieces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("pieces");

        QString payments = u"<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\">"_s;
        for (int i = 0; i < 600; ++i)
            payments += u"<Tx><Id>%1</Id><Nm>Müller & Söhne €</Nm></Tx>"_s.arg(i);
        payments += u"</Document>"_s;
        QTest::newRow("one line without a line end") << payments << TextEncoding::Utf8 << true;
        QTest::newRow("one long line among short ones, LF")
            << u"<?xml version=\"1.0\"?>\n"_s + payments + u"\n<!-- end -->\n"_s << TextEncoding::Utf8
            << true;
        QTest::newRow("one line in UTF-16") << payments << TextEncoding::Utf16LE << true;
        QTest::newRow("text longer than a piece, of two-byte characters")
            << u"<a><b>"_s + QString(20000, u'ä') + u"</b></a>"_s << TextEncoding::Utf8 << true;
        QTest::newRow("long line in a CR LF file")
            << u"<?xml version=\"1.0\"?>\r\n"_s + payments + u"\r\n"_s << TextEncoding::Utf8 << true;
        QTest::newRow("long line in a file of lone CRs")
            << u"<?xml version=\"1.0\"?>\r"_s + payments + u"\r<!-- end -->\r"_s << TextEncoding::Utf8
            << true;
        const qsizetype middle = payments.indexOf(u"<Tx><Id>500<"_s);
        QTest::newRow("long CR LF line cut by a lone CR of its own") << u"<?xml version=\"1.0\"?>\r\n"_s
                + payments.left(middle) + u"\r"_s + payments.mid(middle)
                + u"\r\n"_s << TextEncoding::Utf8 << true;
        QTest::newRow("long CR LF lines in UTF-16")
            << payments + u"\r\n"_s + payments << TextEncoding::Utf16BE << true;
        QTest::newRow("short CR LF lines, shown whole")
            << u"<?xml version=\"1.0\"?>\r\n<a><b>x</b><c/></a>\r\n"_s << TextEncoding::Utf8 << false;
    }
    void longLinesShownInPieces()
    {
        QFETCH(QString, text);
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, pieces);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"long.xml"_s);
        const QByteArray bytes = encoded(text, encoding);
        QVERIFY(writeAll(path, bytes));

        TXMLEditor editor;
        QsciScintilla *sci = showWithFile(editor, path);
        const QString joined = withCrLf(text);
        QCOMPARE(editor.text(), joined);
        QCOMPARE(editor.textUtf8(), joined.toUtf8());
        const int lines = int(joined.count(u"\r\n"_s)) + 1;
        QCOMPARE(editor.lineCount(), lines);
        QCOMPARE(sci->lines() > lines, pieces);
        // Copied text is the file's, without the virtual breaks.
        sci->selectAll();
        sci->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), text);

        // The second place between two tags, where a piece starts: caret, line and column.
        const qsizetype at = joined.indexOf(u"><"_s, joined.indexOf(u"><"_s) + 1) + 1;
        const int line = int(joined.left(at).count(u"\r\n"_s)) + 1;
        const qsizetype lineStart = joined.lastIndexOf(u"\r\n"_s, at - 1);
        const int column = int(at - (lineStart < 0 ? 0 : lineStart + 2)) + 1;
        editor.gotoFilePosition(at);
        QCOMPARE(editor.caretLine(), line);
        QCOMPARE(editor.caretColumn(), column);
        editor.gotoLine(1);
        editor.gotoFilePos(at);
        QCOMPARE(editor.caretLine(), line);
        QCOMPARE(editor.caretColumn(), column);
        // An error's position and a line's tag far into the line.
        const qsizetype late = joined.lastIndexOf(u"</"_s);
        editor.setErrorPosition(1, late);
        editor.setLineTag(editor.lineCount() - 1, 7);
        QCOMPARE(editor.findLineWithTag(7), editor.lineCount() - 1);
        QVERIFY(editor.gotoErrorPosition(1));
        const qsizetype lateLineStart = joined.lastIndexOf(u"\r\n"_s, late);
        QCOMPARE(editor.caretColumn(), int(late - (lateLineStart < 0 ? 0 : lateLineStart + 2)) + 1);
        // Back again on the same line: the column counted from the last one.
        editor.gotoFilePosition(at);
        QCOMPARE(editor.caretColumn(), column);

        // Typing there, a new line included, is saved in the file's own text.
        editor.gotoFilePosition(at);
        QTest::keyClicks(sci, u"X"_s);
        QTest::keyClick(sci, Qt::Key_Return);
        QTest::keyClicks(sci, u"Y"_s);
        const QString eol = text.contains(u"\r\n"_s) ? u"\r\n"_s
            : text.contains(u'\r')                   ? u"\r"_s
            : text.contains(u'\n')                   ? u"\n"_s
                                                     : u"\r\n"_s;
        const qsizetype textAt = textOffset(text, at);
        QString typed = text;
        typed.insert(textAt, u"X"_s + eol + u"Y"_s);
        QCOMPARE(editor.text(), withCrLf(typed));
        QCOMPARE(editor.caretLine(), line + 1);
        QCOMPARE(editor.caretColumn(), 2);
        if (pieces) {
            // The gutter numbers the file's lines, the new one included, each beside its first piece.
            QMap<int, int> expected;
            for (int l = 0; l < editor.lineCount(); ++l) {
                editor.gotoLine(l + 1);
                expected.insert(int(sci->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                                    sci->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS))),
                    l + 1);
            }
            QTRY_COMPARE(gutterNumbers(sci), expected);
            editor.gotoFilePosition(at + 4); // back after the Y, X and the line end before it
        }
        editor.saveToFile(path);
        QCOMPARE(readAll(path), encoded(typed, encoding));

        // Deleting it again, and then the break before the place: a virtual one goes unseen.
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(sci, Qt::Key_Backspace);
        QCOMPARE(editor.text(), joined);
        if (pieces) {
            QTest::keyClick(sci, Qt::Key_Backspace);
            QCOMPARE(editor.text(), joined);
            // Scintilla undoes the run of deletions as one.
            QTest::keyClick(sci, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(editor.text(), withCrLf(typed));
            QTest::keyClick(sci, Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(editor.text(), joined);
        }
        editor.saveToFile(path);
        QCOMPARE(readAll(path), bytes);
    }

    // A long line among tens of thousands of short ones is shown in pieces as well: the gutter
    // numbers the lines in view, and a new line renumbers those below it wherever the view goes.
    void longLineAmongManyLines()
    {
        QByteArray file = "<?xml version=\"1.0\"?>\n<a>\n";
        constexpr int shortLines = 15000;
        for (int i = 2; i < shortLines; ++i)
            file += "<b/>\n";
        const int longAt = shortLines; // line of the file, from 0
        for (int i = 0; i < 2000; ++i)
            file += "<Tx><Id>" + QByteArray::number(i) + "</Id></Tx>";
        for (int i = 0; i < shortLines; ++i)
            file += "\n<c/>";
        file += "\n</a>\n";
        const int lines = int(file.count('\n')) + 1;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"many.xml"_s);
        QVERIFY(writeAll(path, file));

        TXMLEditor editor;
        QsciScintilla *sci = showWithFile(editor, path);
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCOMPARE(editor.lineCount(), lines);
        const int pieces = sci->lines() - lines + 1;
        QVERIFY(pieces > 100);
        // The numbers in view with the view's first shown line put at first, against those the
        // file's layout gives (linesBefore lines typed above the long one); empty when they match.
        const auto mismatch = [&](long first, int linesBefore) {
            const QMap<int, int> shown = numbersAt(sci, first);
            QMap<int, int> expected;
            const long top = sci->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE);
            const long onScreen = sci->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN);
            const long longStart = linesBefore + longAt;
            for (long s = top; s < std::min(long(sci->lines()), top + onScreen); ++s) {
                if (s <= longStart)
                    expected.insert(int(s), int(s) + 1);
                else if (s >= longStart + pieces)
                    expected.insert(int(s), int(s - pieces) + 2);
            }
            return shown == expected ? QString()
                                     : u"at %1: %2 numbers, %3 expected, first %4/%5"_s.arg(top)
                                           .arg(shown.size())
                                           .arg(expected.size())
                                           .arg(shown.isEmpty() ? 0 : shown.first())
                                           .arg(expected.isEmpty() ? 0 : expected.first());
        };
        for (const long first : { 0L, long(longAt) - 10, long(longAt) + pieces - 5, long(sci->lines()) - 20 })
            QCOMPARE(mismatch(first, 0), QString());

        // A line of the file far below the long one: caret line, view and column.
        editor.gotoLine(lines - 100);
        QCOMPARE(editor.caretLine(), lines - 100);
        QCOMPARE(editor.caretColumn(), 1);
        QVERIFY(std::abs(editor.firstVisibleLine() + editor.visibleLineCount() / 2 - (lines - 100)) <= 1);

        // A new line at the top moves every number below it on by one.
        editor.gotoLine(2);
        QTest::keyClick(sci, Qt::Key_Return);
        QCOMPARE(editor.lineCount(), lines + 1);
        QTRY_COMPARE(mismatch(0, 1), QString());
        for (const long first : { long(longAt) - 10, long(longAt) + pieces - 5, long(sci->lines()) - 20 })
            QCOMPARE(mismatch(first, 1), QString());
        QTest::keyClick(sci, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor.lineCount(), lines);
        QTRY_COMPARE(mismatch(long(sci->lines()) - 20, 0), QString());
        editor.saveToFile(path);
        QCOMPARE(readAll(path), file);
    }

    // Scintilla takes a virtual break and an LF typed after it for one line end and counts no new
    // line; the file has one more all the same, and one less when that LF goes again.
    void newLineAfterVirtualBreak()
    {
        QString payments;
        for (int i = 0; i < 1000; ++i)
            payments += u"<Tx><Id>%1</Id></Tx>"_s.arg(i);
        const QString text = u"<?xml version=\"1.0\"?>\n<a>"_s + payments + u"</a>\n"_s;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"lf.xml"_s);
        QVERIFY(writeAll(path, text.toUtf8()));
        TXMLEditor editor;
        QsciScintilla *sci = showWithFile(editor, path);
        QCOMPARE(editor.lineCount(), 3);
        // The start of the third piece of the long line: the file has no CR, so the one before is virtual.
        const long pieceStart = sci->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, 3);
        QCOMPARE(char(sci->SendScintilla(QsciScintillaBase::SCI_GETCHARAT, pieceStart - 1)), '\r');
        const qsizetype textAt = sci->text(0, int(pieceStart)).remove(u'\r').size();
        const auto numbered = [&](int lines) {
            QList<int> numbers;
            for (int i = 1; i <= lines; ++i)
                numbers.append(i);
            return numbers;
        };

        sci->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, pieceStart);
        const int linesShown = sci->lines();
        QTest::keyClick(sci, Qt::Key_Return);
        QCOMPARE(sci->lines(), linesShown);
        QString typed = text;
        typed.insert(textAt, u"\n"_s);
        QCOMPARE(editor.text(), withCrLf(typed));
        QCOMPARE(editor.lineCount(), 4);
        QCOMPARE(editor.caretLine(), 3);
        QTRY_COMPARE(gutterNumbers(sci).values(), numbered(4));

        QTest::keyClick(sci, Qt::Key_Backspace);
        QCOMPARE(editor.text(), withCrLf(text));
        QCOMPARE(editor.lineCount(), 3);
        QCOMPARE(editor.caretLine(), 2);
        QTRY_COMPARE(gutterNumbers(sci).values(), numbered(3));

        QTest::keyClick(sci, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor.lineCount(), 4);
        QTRY_COMPARE(gutterNumbers(sci).values(), numbered(4));
        editor.saveToFile(path);
        QCOMPARE(readAll(path), typed.toUtf8());
    }

    // Edits that join and split lines around line ends of all kinds and virtual breaks, undone and
    // redone, in a fixed pseudo-random order: the file's line count follows its text, and the
    // gutter numbers each line of the file once (Scintilla moves margin texts with the lines it
    // joins, which once left a stale number on a piece).
    void editsAroundLineEndsKeepTheFileLines()
    {
        QString payments;
        for (int i = 0; i < 1500; ++i)
            payments += u"<Tx><Id>%1</Id></Tx>"_s.arg(i);
        const QString text
            = u"<?xml version=\"1.0\"?>\r\n<a>"_s + payments + u"</a>\n<b/>\r<c/>"_s + payments + u"\n"_s;
        QTemporaryDir dir;
        const QString path = dir.filePath(u"mixed.xml"_s);
        QVERIFY(writeAll(path, text.toUtf8()));
        TXMLEditor editor;
        QsciScintilla *sci = showWithFile(editor, path);
        quint32 seed = 999;
        const auto random = [&seed](quint32 n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % n;
        };
        const char *const inserts[] = { "\n", "\r", "\r\n", "x", "\n\n", "\rx" };
        for (int step = 0; step < 400; ++step) {
            const long length = sci->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
            const long line = long(random(quint32(sci->lines())));
            const long position = std::min(
                sci->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line) + long(random(3)), length);
            const quint32 kind = random(10);
            if (kind < 5) {
                sci->SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, position, inserts[random(6)]);
            } else if (kind < 8) {
                const long count = std::min<long>(long(random(3)) + 1, length - position);
                if (count > 0)
                    sci->SendScintilla(QsciScintillaBase::SCI_DELETERANGE, position, count);
            } else if (kind == 8) {
                sci->undo();
            } else {
                sci->redo();
            }
            if (step % 7 == 0)
                QCoreApplication::processEvents();
            const int lines = int(editor.text().count(u"\r\n"_s)) + 1;
            QCOMPARE(editor.lineCount(), lines);
            if (step % 50 == 0) {
                QList<int> numbers;
                for (int i = 1; i <= lines; ++i)
                    numbers.append(i);
                QTRY_COMPARE(gutterNumbers(sci).values(), numbers);
            }
        }
    }

    // A long line pasted in is shown in pieces once the editor is idle, as one undo step of its
    // own; the text, the caret and the saved bytes stay the file's.
    void pastedLongLineShownInPieces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("before"); // the paste goes in after the first of these
        QTest::addColumn<QString>("typed"); // typed there instead of pasted, when not empty
        QString payments;
        for (int i = 0; i < 600; ++i)
            payments += u"<Tx><Id>%1</Id><Nm>Müller & Söhne €</Nm></Tx>"_s.arg(i);
        QTest::newRow("pasted into an LF file")
            << u"<?xml version=\"1.0\"?>\n<a>\n</a>\n"_s << u"<a>"_s << QString();
        QTest::newRow("pasted into a CR LF file")
            << u"<?xml version=\"1.0\"?>\r\n<a>\r\n</a>\r\n"_s << u"<a>"_s << QString();
        QTest::newRow("pasted into a line shown in pieces already")
            << u"<a>"_s + payments + u"</a>"_s << u"<Tx><Id>7</Id>"_s << QString();
        QString nearlyLong = u"<a>"_s;
        while (nearlyLong.size() < 16378)
            nearlyLong += u"<b/>"_s;
        QTest::newRow("typed at the end of a line just short of long")
            << u"<?xml version=\"1.0\"?>\n"_s + nearlyLong + u"</a>\n"_s << u"<b/></a>"_s << u"<c/><c/>"_s;
    }
    void pastedLongLineShownInPieces()
    {
        QFETCH(QString, text);
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QString pasted = typed;
        for (int i = 0; typed.isEmpty() && i < 900; ++i)
            pasted += u"<b>%1</b><c>Ärger</c>"_s.arg(i);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"paste.xml"_s);
        QVERIFY(writeAll(path, text.toUtf8()));
        TXMLEditor editor;
        QsciScintilla *sci = showWithFile(editor, path);

        const qsizetype textAt = text.indexOf(before) + before.size();
        const qsizetype at = withCrLf(text.left(textAt)).size();
        editor.gotoFilePosition(at);
        if (typed.isEmpty()) {
            QGuiApplication::clipboard()->setText(pasted);
            sci->paste();
        } else {
            QTest::keyClicks(sci, typed);
        }
        QString changed = text;
        changed.insert(textAt, pasted);
        const QString joined = withCrLf(changed);
        QCOMPARE(editor.text(), joined);
        const int shownWhole = sci->lines();
        QTRY_VERIFY(sci->lines() > shownWhole);
        QCOMPARE(editor.text(), joined);
        QCOMPARE(editor.lineCount(), int(joined.count(u"\r\n"_s)) + 1);
        // The caret stays after the pasted text.
        const QString upToCaret = joined.left(at + pasted.size());
        QCOMPARE(editor.caretLine(), int(upToCaret.count(u"\r\n"_s)) + 1);
        const qsizetype caretLineStart = upToCaret.lastIndexOf(u"\r\n"_s);
        QCOMPARE(
            editor.caretColumn(), int(upToCaret.size() - (caretLineStart < 0 ? 0 : caretLineStart + 2)) + 1);

        // One undo joins the pieces, the next takes the paste away; redo brings both back.
        QTest::keyClick(sci, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor.text(), joined);
        QCOMPARE(sci->lines(), shownWhole);
        QTest::keyClick(sci, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor.text(), withCrLf(text));
        QTest::keyClick(sci, Qt::Key_Y, Qt::ControlModifier);
        QTest::keyClick(sci, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(editor.text(), joined);
        QVERIFY(sci->lines() > shownWhole);
        editor.saveToFile(path);
        QCOMPARE(readAll(path), changed.toUtf8());
    }

    void failedLoadKeepsTheEditorAsItWas_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("missing file") << u"missing.xml"_s;
        QTest::newRow("folder") << u"folder"_s;
        QTest::newRow("no file name") << QString();
    }
    void failedLoadKeepsTheEditorAsItWas()
    {
        QFETCH(QString, target);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"folder"_s));
        const QString loaded = dir.filePath(u"utf16.xml"_s);
        QVERIFY(writeAll(loaded, utf16(u"<a>\n</a>"_s, false)));
        TXMLEditor editor;
        editor.loadFromFile(loaded);
        editor.setLineTag(1, 2);

        QVERIFY_THROWS_EXCEPTION(
            EFOpenError, editor.loadFromFile(target.isEmpty() ? QString() : dir.filePath(target)));
        QCOMPARE(editor.text(), u"<a>\r\n</a>"_s);
        QCOMPARE(editor.encoding(), TextEncoding::Utf16LE);
        QCOMPARE(editor.lineTag(1), 2);
    }
};

QTEST_MAIN(TestXmlEditorFiles)
#include "tst_xmleditor_files.moc"
