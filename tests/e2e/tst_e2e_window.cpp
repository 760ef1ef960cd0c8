// The checker window end to end on a real X server (a private Xvfb): started with an invalid payment
// file on its command line, the verdict answered, a report line double-clicked, the error line
// corrected by typing and the file saved through the menu and the file dialogs, over an existing
// file after the overwrite question. The written bytes must be the original ones with the typed
// line, in the file's own line ends. Then the faults and habits of daily use: a failed open, a file
// on one line, a file that is not well-formed, and unsaved changes when the window closes.
// Screenshots of each step go to the build folder.

#include "Pravik_MAIN.h"
#include "units.h"
#include "xvfbserver.h"

#include "editor/qsci.h"
#include "editor/xmleditor.h"
#include "platform/textfile.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "platform/widgets/pagecontrol.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/oneline.h"
#include "tests/support/testfiles.h"

#include <QAbstractScrollArea>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <functional>

#include <time.h>

using namespace Qt::StringLiterals;
using testsupport::readAll;
using testsupport::writeAll;

namespace {

const QString kComment = QStringLiteral("<!-- checked -->");

// The file's bytes with a new line put before its line `line` (counted from 1), ended as the file
// ends its lines.
QByteArray withLineInserted(const QByteArray &original, int line, const QByteArray &text)
{
    qsizetype at = 0;
    for (int l = 1; l < line; ++l)
        at = original.indexOf('\n', at) + 1;
    const QByteArray eol = original.contains("\r\n") ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
    return QByteArray(original).insert(at, text + eol);
}

// Paints a window now and reads it back from the X server, as a user would see it.
QImage onScreen(QWidget *window)
{
    window->repaint();
    QCoreApplication::processEvents();
    return window->screen()->grabWindow(window->winId()).toImage();
}

// The whole screen with every window on it (the server has no window manager, so no frames).
QImage wholeScreen(const QList<QWidget *> &windows)
{
    for (QWidget *w : windows)
        w->repaint();
    QCoreApplication::processEvents();
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

// Runs the event loop as the application does, so that it goes idle and the window's idle updates
// (actions, status panels) run, until condition holds or timeoutMs have passed.
bool runUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(10);
    if (!condition())
        loop.exec();
    return condition();
}

using Sci = QsciScintillaBase;

// Where the editor draws the text at its caret, in its view's pixels: the caret's character, the
// end of its tag (after the next '>' on its line), the text area's left edge and the view's width.
struct CaretInView
{
    int x = 0;
    int tagEnd = 0;
    int textLeft = 0;
    int width = 0;
    int top = 0; // of the caret's line
    int height = 0; // of a line
    long xOffset = 0;
};

CaretInView caretInView(TXMLEditor *editor)
{
    auto *sci = editor->findChild<Sci *>();
    const long position = sci->SendScintilla(Sci::SCI_GETCURRENTPOS);
    const long line = sci->SendScintilla(Sci::SCI_LINEFROMPOSITION, position);
    const long lineEnd = sci->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line);
    long end = position;
    while (end < lineEnd && sci->SendScintilla(Sci::SCI_GETCHARAT, end) != '>')
        ++end;
    end = std::min(end + 1, lineEnd);
    CaretInView seen;
    seen.x = int(sci->SendScintilla(Sci::SCI_POINTXFROMPOSITION, 0UL, position));
    seen.tagEnd = int(sci->SendScintilla(Sci::SCI_POINTXFROMPOSITION, 0UL, end));
    seen.top = int(sci->SendScintilla(Sci::SCI_POINTYFROMPOSITION, 0UL, position));
    seen.height = int(sci->SendScintilla(Sci::SCI_TEXTHEIGHT, line));
    seen.xOffset = sci->SendScintilla(Sci::SCI_GETXOFFSET);
    seen.textLeft = int(sci->SendScintilla(Sci::SCI_GETMARGINLEFT));
    for (int margin = 0; margin < 5; ++margin)
        seen.textLeft += int(sci->SendScintilla(Sci::SCI_GETMARGINWIDTHN, margin));
    seen.width = sci->viewport()->width();
    return seen;
}

// Whether the screen shows the error underline's red between two points of the editor's view, on
// the lowest rows of a line.
bool underlineOnScreen(TXMLEditor *editor, int fromX, int toX, int top, int height)
{
    QWidget *viewport = editor->findChild<Sci *>()->viewport();
    QWidget *window = editor->window();
    window->repaint();
    QCoreApplication::processEvents();
    const QImage shot = window->screen()->grabWindow(window->winId()).toImage();
    const QPoint origin = viewport->mapTo(window, QPoint(0, 0));
    for (int y = top + height / 2; y < top + height; ++y) {
        for (int x = std::max(0, fromX); x < std::min(toX, viewport->width()); ++x) {
            const QColor c = shot.pixelColor(origin + QPoint(x, y));
            if (qAbs(c.red() - 0xE0) < 24 && c.green() < 0x48 && c.blue() < 0x48)
                return true;
        }
    }
    return false;
}

void keep(const QImage &image, const QString &name)
{
    QDir().mkpath(QStringLiteral(PRAVIK_E2E_SCREENSHOTS));
    QVERIFY2(image.save(QStringLiteral(PRAVIK_E2E_SCREENSHOTS "/") + name), qPrintable(name));
}

} // namespace

class TestEndToEndWindow : public QObject
{
    Q_OBJECT

public:
    TestEndToEndWindow(QString started, QString existing)
        : m_started(std::move(started))
        , m_existing(std::move(existing))
    {
    }

private:
    const QString m_started; // the file named on the command line
    const QString m_existing; // a file that save-as overwrites
    std::unique_ptr<TPravik_MAIN_Form> form;
    QStringList errorBoxes;

    QStringList reportLines() const { return form->Memo1->toPlainText().split(u'\n'); }

    // The report row that says "Line: …" for the error counted from 0.
    int lineRowOfError(int error) const
    {
        const QStringList lines = reportLines();
        int seen = -1;
        for (int row = 0; row < lines.size(); ++row) {
            if (lines[row].startsWith(u"Line: ") && ++seen == error)
                return row;
        }
        return -1;
    }

    void doubleClickReportRow(int row)
    {
        QWidget *viewport = form->Memo1->viewport();
        const QTextBlock block = form->Memo1->document()->findBlockByNumber(row);
        const QRect caret = form->Memo1->cursorRect(QTextCursor(block));
        QVERIFY2(viewport->rect().contains(caret.center()), "the report row is out of view");
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(caret.left() + 12, caret.center().y()));
    }

    // Types a line of its own above the caret's line: Home (twice when the first goes to the
    // indentation's end), the text, Return.
    void typeIntoEditor(const QString &text)
    {
        auto *view = form->XMLViewer->findChild<QAbstractScrollArea *>();
        QVERIFY(view);
        for (int i = 0; i < 2 && form->XMLViewer->caretColumn() != 1; ++i)
            QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(form->XMLViewer->caretColumn(), 1);
        QTest::keyClicks(view, text);
        QTest::keyClick(view, Qt::Key_Return);
    }

    // Opens a menu of the menu bar by clicking its title and clicks one of its items.
    void clickMenuItem(const QString &menuTitle, QAction *item)
    {
        QAction *title = nullptr;
        for (QAction *a : form->MainMenu1->actions()) {
            if (a->text() == menuTitle)
                title = a;
        }
        QVERIFY2(title && title->menu(), qPrintable(menuTitle));
        QVERIFY2(runUntil([item] { return item->isEnabled(); }), "not enabled by the idle update");
        QTest::mouseClick(
            form->MainMenu1, Qt::LeftButton, {}, form->MainMenu1->actionGeometry(title).center());
        QMenu *menu = title->menu();
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QTest::mouseMove(menu, menu->actionGeometry(item).center());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    }

    // Fills in the name and presses the dialog's accept button, as a user would. A save dialog
    // first shows the current file's name, once it has read its folder.
    void acceptFileDialog(QFileDialog *dialog, const QString &fileName)
    {
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QVERIFY(name && buttons);
        if (dialog->acceptMode() == QFileDialog::AcceptSave) {
            const QString current = QFileInfo(form->XMLFileName()).fileName();
            QVERIFY2(runUntil([&] { return name->text() == current; }), qPrintable(name->text()));
            QCOMPARE(dialog->directory().absolutePath(), QFileInfo(form->XMLFileName()).absolutePath());
        }
        // As a user picks a file: the list's selection and the name field both name it (a typed
        // name alone would lose to the file still selected in the list).
        dialog->selectFile(fileName);
        QTRY_COMPARE(name->text(), QFileInfo(fileName).fileName());
        QPushButton *accept
            = buttons->button(dialog->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save
                                                                              : QDialogButtonBox::Open);
        QVERIFY(accept && accept->isEnabled());
        QTest::mouseClick(accept, Qt::LeftButton);
    }

    // A dialog handler that opens path in file dialogs and answers the others with "OK" where
    // they have it, else with otherwise; each of those is kept in shown.
    ModalDialogDriver::Handler openAndAnswer(
        const QString &path, QList<DialogSnapshot> &shown, const QString &otherwise)
    {
        return [this, path, &shown, otherwise](QDialog *d) {
            if (auto *files = qobject_cast<QFileDialog *>(d)) {
                acceptFileDialog(files, path);
                return;
            }
            shown.append(DialogSnapshot::of(d));
            pressButton(d,
                shown.constLast().buttons.contains(QStringLiteral("OK")) ? QStringLiteral("OK") : otherwise);
        };
    }

    // The error at the caret is on screen: its place lies in the text area with some of the text
    // before it in view (or the line's start), its tag ends in view, and its red underline shows.
    void verifyErrorInView(const QString &how)
    {
        QTRY_VERIFY(form->XMLViewer->isVisible());
        const CaretInView seen = caretInView(form->XMLViewer);
        const int textWidth = seen.width - seen.textLeft;
        const QString where
            = QStringLiteral("%1: error drawn at x %2, its tag ending at %3, text from %4 to %5")
                  .arg(how)
                  .arg(seen.x)
                  .arg(seen.tagEnd)
                  .arg(seen.textLeft)
                  .arg(seen.width);
        QVERIFY2(seen.x >= seen.textLeft && seen.x < seen.width, qPrintable(where));
        QVERIFY2(seen.xOffset == 0 || seen.x - seen.textLeft >= textWidth / 8,
            qPrintable(where + u" (no context)"_s));
        QVERIFY2(seen.tagEnd <= seen.width, qPrintable(where));
        QVERIFY2(seen.top >= 0 && seen.top + seen.height <= form->XMLViewer->height(), qPrintable(where));
        QVERIFY2(underlineOnScreen(form->XMLViewer, seen.x, seen.tagEnd, seen.top, seen.height),
            qPrintable(where + u" (no underline on screen)"_s));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        TApplication::SetExceptionSink([this](const QString &m) { errorBoxes.append(m); });
        form = std::make_unique<TPravik_MAIN_Form>();
    }

    void cleanupTestCase()
    {
        form.reset();
        TApplication::SetExceptionSink({});
    }

    void init() { errorBoxes.clear(); }

    void cleanup() { QVERIFY2(errorBoxes.isEmpty(), qPrintable(errorBoxes.join(u'\n'))); }

    void invalidFileFromCommandLineCorrectedAndSavedOverAnotherFile()
    {
        const QByteArray original = readAll(m_started);
        QVERIFY(!original.isEmpty());

        // Start: the window validates the file named on the command line and says it is not valid.
        QList<DialogSnapshot> verdicts;
        {
            ModalDialogDriver driver([&](QDialog *d) {
                verdicts.append(DialogSnapshot::of(d));
                QVERIFY(QTest::qWaitForWindowExposed(d));
                keep(wholeScreen({ form.get(), d }), QStringLiteral("1-verdict.png"));
                pressButton(d, QStringLiteral("OK"));
            });
            form->show();
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
            QTRY_COMPARE_WITH_TIMEOUT(verdicts.size(), 1, 20000);
            QTRY_VERIFY(!QApplication::activeModalWidget());
        }
        QCOMPARE(verdicts[0].caption, QStringLiteral("Error"));
        QCOMPARE(verdicts[0].text, QStringLiteral("XML is not valid!"));
        QCOMPARE(verdicts[0].buttons, QStringList { QStringLiteral("OK") });
        QCOMPARE(form->XMLFileName(), m_started);
        QVERIFY(form->PageControl1->TabVisible(form->TabSheet2));
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet2);
        runUntil([&] { return form->StatusPanels[2]->text() == m_started; });
        QCOMPARE(form->StatusPanels[2]->text(), m_started);
        keep(onScreen(form.get()), QStringLiteral("2-report.png"));

        // The second error's "Line: N" row leads to line N, where its source text stands.
        const int row = lineRowOfError(1);
        QVERIFY2(row > 0, "the report has no second error");
        bool numeric = false;
        const int errorLine = reportLines()[row].mid(6).toInt(&numeric);
        QVERIFY(numeric && errorLine > 1);
        const QString source = reportLines()[row - 1].mid(QStringLiteral("SrcText: ").size());
        const int errorColumn = reportLines()[row + 1].mid(QStringLiteral("LinePos: ").size()).toInt();
        QVERIFY(errorColumn > 1);
        doubleClickReportRow(row);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), errorLine);
        QCOMPARE(form->XMLViewer->caretColumn(), errorColumn);
        QVERIFY(form->XMLViewer->text().split(QStringLiteral("\r\n")).at(errorLine - 1).contains(source));
        const QString caretPanel = QStringLiteral("%1:%2").arg(errorLine).arg(errorColumn);
        runUntil([&] { return form->StatusPanels[1]->text() == caretPanel; });
        QCOMPARE(form->StatusPanels[1]->text(), caretPanel);
        const int inView = errorLine - form->XMLViewer->firstVisibleLine();
        QVERIFY2(
            qAbs(inView - form->XMLViewer->visibleLineCount() / 2) <= 1, "the error line is not centred");
        keep(onScreen(form.get()), QStringLiteral("3-jump.png"));

        // A line typed above the error; then "Speichern unter..." over an existing file, answered Yes.
        typeIntoEditor(kComment);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(form->XMLViewer->caretLine(), errorLine + 1);
        QStringList fileDialogs;
        QList<DialogSnapshot> questions;
        {
            ModalDialogDriver driver([&](QDialog *d) {
                if (auto *files = qobject_cast<QFileDialog *>(d)) {
                    fileDialogs.append(files->objectName());
                    acceptFileDialog(files, m_existing);
                    return;
                }
                questions.append(DialogSnapshot::of(d));
                QVERIFY(QTest::qWaitForWindowExposed(d));
                keep(wholeScreen({ form.get(), d }), QStringLiteral("4-overwrite.png"));
                pressButton(d, QStringLiteral("&Yes"));
            });
            clickMenuItem(QStringLiteral("Datei"), form->FileSaveAs1);
            QTRY_COMPARE(questions.size(), 1);
            QTRY_VERIFY(!QApplication::activeModalWidget());
        }
        QCOMPARE(fileDialogs, QStringList { QStringLiteral("FileSaveAs1Dialog") });
        QCOMPARE(questions[0].caption, QStringLiteral("Warning"));
        QCOMPARE(questions[0].text,
            QStringLiteral("Die Datei %1 existiert bereits! \nWollen Sie die Datei überschreiben?")
                .arg(m_existing));
        QCOMPARE(questions[0].buttons, (QStringList { QStringLiteral("&Yes"), QStringLiteral("&No") }));
        QCOMPARE(questions[0].defaultButton, QStringLiteral("&No"));

        QCOMPARE(readAll(m_existing), withLineInserted(original, errorLine, kComment.toUtf8()));
        QCOMPARE(readAll(m_started), original);
        QCOMPARE(form->XMLFileName(), m_started);
        runUntil([&] { return form->StatusPanels[1]->text() == QStringLiteral("%1:1").arg(errorLine + 1); });
        QCOMPARE(form->StatusPanels[1]->text(), QStringLiteral("%1:1").arg(errorLine + 1));
        QCOMPARE(form->StatusPanels[2]->text(), m_started);
    }

    void crLfFileOpenedValidatedAndSavedThroughTheMenu()
    {
        // A copy of a file with CR LF line ends beside the other one.
        const QString path = QFileInfo(m_started).dir().filePath(QStringLiteral("crlf.xml"));
        const QByteArray original = readAll(QStringLiteral(PRAVIK_TEST_DATA "/app/two-errors.xml"));
        QVERIFY(original.contains("\r\n"));
        QVERIFY(writeAll(path, original));

        QStringList fileDialogs;
        QList<DialogSnapshot> shown;
        ModalDialogDriver driver([&](QDialog *d) {
            if (auto *files = qobject_cast<QFileDialog *>(d)) {
                fileDialogs.append(files->objectName());
                acceptFileDialog(files, path);
                return;
            }
            shown.append(DialogSnapshot::of(d));
            pressButton(d,
                shown.constLast().buttons.contains(QStringLiteral("OK")) ? QStringLiteral("OK")
                                                                         : QStringLiteral("&Yes"));
        });

        clickMenuItem(QStringLiteral("Datei"), form->FileOpen1);
        QTRY_COMPARE(form->XMLFileName(), path);
        QCOMPARE(fileDialogs, QStringList { QStringLiteral("FileOpen1Dialog") });
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QVERIFY(!form->PageControl1->TabVisible(form->TabSheet2));
        QVERIFY(shown.isEmpty()); // opening does not validate

        clickMenuItem(QStringLiteral("Bearbeiten"), form->act_Validate);
        QTRY_COMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("XML is not valid!"));
        const int row = lineRowOfError(0);
        QCOMPARE(reportLines().value(row), QStringLiteral("Line: 12"));
        doubleClickReportRow(row);
        QTRY_COMPARE(form->XMLViewer->caretLine(), 12);
        QCOMPARE(form->PageControl1->ActivePage(), form->TabSheet1);

        typeIntoEditor(kComment);
        clickMenuItem(QStringLiteral("Datei"), form->FileSave1);
        QTRY_COMPARE(shown.size(), 2);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(shown[1].text,
            QStringLiteral("Die Datei %1 existiert bereits! \nWollen Sie die Datei überschreiben?")
                .arg(path));
        QCOMPARE(readAll(path), withLineInserted(original, 12, kComment.toUtf8()));
    }

    void failedOpenKeepsTheFileAndItsSaveTarget()
    {
        // A file too large to read, chosen in the open dialog: the window keeps its file, and
        // "Speichern" (Ctrl+S) names that file, not the one that could not be read.
        const QString loaded = form->XMLFileName();
        QVERIFY(!loaded.isEmpty());
        const QString large = QFileInfo(m_started).dir().filePath(QStringLiteral("large.xml"));
        {
            QFile file(large); // sparse: no disk space is used
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(MaxTextFileBytes + 1));
        }
        QList<DialogSnapshot> questions;
        ModalDialogDriver driver([&](QDialog *d) {
            if (auto *files = qobject_cast<QFileDialog *>(d)) {
                acceptFileDialog(files, large);
                return;
            }
            questions.append(DialogSnapshot::of(d));
            keep(wholeScreen({ form.get(), d }), QStringLiteral("5-failed-open-save.png"));
            pressButton(d, QStringLiteral("&No"));
        });
        clickMenuItem(QStringLiteral("Datei"), form->FileOpen1);
        QTRY_COMPARE(errorBoxes.size(), 1);
        QVERIFY2(errorBoxes[0].contains(QStringLiteral("too large")), qPrintable(errorBoxes[0]));
        errorBoxes.clear();
        QCOMPARE(form->XMLFileName(), loaded);
        QVERIFY(runUntil([&] { return form->StatusPanels[2]->text() == loaded; }));

        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form->XMLViewer->findChild<QAbstractScrollArea *>(), Qt::Key_S, Qt::ControlModifier);
        QTRY_COMPARE(questions.size(), 1);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY2(questions[0].text.contains(loaded), qPrintable(questions[0].text));
        QCOMPARE(QFileInfo(large).size(), MaxTextFileBytes + 1);
        QFile::remove(large);
    }

    void errorsOfAOneLineFileLeadToTheirPlaces()
    {
        // The file on one line, opened through the menu and validated with F5: each error's report
        // lines lead to its own place on line 1, by double-click, by Return and by F8.
        const QString text = testsupport::oneLine(QString::fromUtf8(readAll(m_started)).trimmed());
        const QString path = QFileInfo(m_started).dir().filePath(QStringLiteral("one-line.xml"));
        QVERIFY(writeAll(path, text.toUtf8()));
        QList<DialogSnapshot> shown;
        ModalDialogDriver driver(openAndAnswer(path, shown, QStringLiteral("&Nein")));
        clickMenuItem(QStringLiteral("Datei"), form->FileOpen1);
        QTRY_COMPARE(form->XMLFileName(), path);
        QCOMPARE(form->XMLViewer->lineCount(), 1);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form->XMLViewer->findChild<QAbstractScrollArea *>(), Qt::Key_F5);
        QTRY_COMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("XML is not valid!"));
        QVERIFY(shown[0].details.endsWith(QStringLiteral("errors found.")));

        QList<int> columns;
        for (int error = 0; lineRowOfError(error) > 0; ++error) {
            const int row = lineRowOfError(error);
            QCOMPARE(reportLines()[row], QStringLiteral("Line: 1"));
            columns.append(reportLines()[row + 1].mid(QStringLiteral("LinePos: ").size()).toInt());
        }
        QVERIFY(columns.size() >= 2);
        QVERIFY2(
            *std::max_element(columns.begin(), columns.end()) > 400, "the errors all stand near the start");
        for (int error = 0; error < columns.size(); ++error) {
            form->PageControl1->SetActivePage(form->TabSheet2);
            doubleClickReportRow(lineRowOfError(error));
            QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
            QCOMPARE(form->XMLViewer->caretLine(), 1);
            QCOMPARE(form->XMLViewer->caretColumn(), columns[error]);
            verifyErrorInView(QStringLiteral("double-click on error %1").arg(error + 1));
            if (QTest::currentTestFailed())
                return;
        }
        keep(onScreen(form.get()), QStringLiteral("6-one-line-jump.png"));

        // Return on the first error's reason, then F8 to the second.
        form->PageControl1->SetActivePage(form->TabSheet2);
        form->Memo1->setFocus();
        form->Memo1->setTextCursor(
            QTextCursor(form->Memo1->document()->findBlockByNumber(lineRowOfError(0) - 2)));
        QTest::keyClick(form->Memo1, Qt::Key_Return);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretColumn(), columns[0]);
        verifyErrorInView(QStringLiteral("Return on the first error"));
        QTest::keyClick(form->XMLViewer->findChild<QAbstractScrollArea *>(), Qt::Key_F8);
        QTRY_COMPARE(form->XMLViewer->caretColumn(), columns[1]);
        verifyErrorInView(QStringLiteral("F8"));
        // Back from the start of the line: Shift+F8 wraps around to the last error, far to the right.
        QTest::keyClick(form->XMLViewer->findChild<QAbstractScrollArea *>(), Qt::Key_Home);
        QTRY_COMPARE(form->XMLViewer->caretColumn(), 1);
        QTest::keyClick(form->XMLViewer->findChild<QAbstractScrollArea *>(), Qt::Key_F8, Qt::ShiftModifier);
        QTRY_COMPARE(form->XMLViewer->caretColumn(), columns.constLast());
        verifyErrorInView(QStringLiteral("Shift+F8"));
    }

    void longLineAmongManyLinesShownInPieces()
    {
        // Twelve thousand short lines above a line of 40 KB: the long line is shown in pieces, the
        // gutter numbers the file's lines where the view is, typing in the long line is saved as
        // the file's own text, and the file still validates.
        const QByteArray example
            = readAll(QStringLiteral(PRAVIK_SOURCE_DIR "/examples/valid-credit-transfer.xml"));
        const qsizetype prologEnd = example.indexOf('\n') + 1;
        QByteArray file = example.left(prologEnd);
        for (int i = 0; i < 12000; ++i)
            file += "<!-- line " + QByteArray::number(i + 2) + " -->\n";
        const int longLine = 12002;
        QByteArray longText;
        for (int i = 0; i < 2000; ++i)
            longText += "<!--p" + QByteArray::number(i) + "-->";
        file += longText + "\n" + example.mid(prologEnd);
        const QString path = QFileInfo(m_started).dir().filePath(QStringLiteral("many-lines.xml"));
        QVERIFY(writeAll(path, file));
        QList<DialogSnapshot> shown;
        ModalDialogDriver driver(openAndAnswer(path, shown, QStringLiteral("&Yes")));
        clickMenuItem(QStringLiteral("Datei"), form->FileOpen1);
        QTRY_COMPARE(form->XMLFileName(), path);
        const int lines = int(file.count('\n')) + 1;
        QCOMPARE(form->XMLViewer->lineCount(), lines);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));

        auto *view = form->XMLViewer->findChild<QAbstractScrollArea *>();
        form->XMLViewer->gotoLine(longLine + 1);
        QTest::keyClick(view, Qt::Key_Left); // to the end of the long line, past all its pieces
        QCOMPARE(form->XMLViewer->caretLine(), longLine);
        QCOMPARE(form->XMLViewer->caretColumn(), int(longText.size()) + 1);
        QTest::keyClicks(view, QStringLiteral("<!--typed-->"));
        QCOMPARE(form->XMLViewer->caretLine(), longLine);
        // The status bar names the file's line and column at the caret once the window is idle.
        const QString caretPanel = QStringLiteral("%1:%2").arg(longLine).arg(longText.size() + 13);
        runUntil([&] { return form->StatusPanels[1]->text() == caretPanel; });
        QCOMPARE(form->StatusPanels[1]->text(), caretPanel);
        keep(onScreen(form.get()), QStringLiteral("10-long-line-among-many.png"));

        QTest::keyClick(view, Qt::Key_F5);
        QTRY_COMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("XML is valid according the schema."));
        QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
        QTRY_COMPARE(shown.size(), 2); // the overwrite question, answered Yes
        QTRY_VERIFY(!form->XMLViewer->isModified());
        QByteArray typed = file;
        typed.insert(typed.indexOf("\n", typed.indexOf("<!--p1999-->")), "<!--typed-->");
        QCOMPARE(readAll(path), typed);
        QFile::remove(path);
    }

    void notWellFormedFileShowsWhereTheParserStopped()
    {
        QByteArray bytes = readAll(m_started);
        bytes.replace("</MsgId>", "</Idd>");
        const QString path = QFileInfo(m_started).dir().filePath(QStringLiteral("typo.xml"));
        QVERIFY(writeAll(path, bytes));
        const int line = int(bytes.left(bytes.indexOf("</Idd>")).count('\n')) + 1;
        QList<DialogSnapshot> boxes;
        ModalDialogDriver driver([&](QDialog *d) {
            if (auto *files = qobject_cast<QFileDialog *>(d)) {
                acceptFileDialog(files, path);
                return;
            }
            boxes.append(DialogSnapshot::of(d));
            QVERIFY(QTest::qWaitForWindowExposed(d));
            keep(wholeScreen({ form.get(), d }), QStringLiteral("7-not-well-formed-box.png"));
            pressButton(d, boxes.constLast().buttons.contains(u"OK"_s) ? u"OK"_s : u"&Nein"_s);
        });
        clickMenuItem(QStringLiteral("Datei"), form->FileOpen1);
        QTRY_COMPARE(form->XMLFileName(), path);
        boxes.clear();
        // The error box as the user gets it, not the message alone.
        TApplication::SetExceptionSink({});
        clickMenuItem(QStringLiteral("Bearbeiten"), form->act_Validate);
        QTRY_COMPARE(boxes.size(), 1);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        TApplication::SetExceptionSink([this](const QString &m) { errorBoxes.append(m); });
        QCOMPARE(boxes[0].caption, u"Error"_s);
        QCOMPARE(
            boxes[0].text, u"The file cannot be validated! This file may not be a valid SEPA XML file."_s);
        QCOMPARE(reportLines(), QStringList { QStringLiteral("Validating...") });
        QVERIFY(runUntil([&] { return !form->StatusMessage->isHidden(); }));
        // The parser's words in full: the box's details and the panel's tooltip, which the panel's
        // shortened text leads to.
        const QString status = form->StatusMessage->text();
        QVERIFY2(status.startsWith(QStringLiteral("Zeile %1, Position ").arg(line)), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral("MsgId")) && status.contains(u"Idd"_s), qPrintable(status));
        QCOMPARE(boxes[0].details, status);
        QCOMPARE(form->StatusMessage->toolTip(), status);
        keep(onScreen(form.get()), QStringLiteral("7-not-well-formed.png"));
        form->PageControl1->SetActivePage(form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), line);
        // The whole end tag the parser stopped in is boxed, and nothing beside it.
        auto *sci = form->XMLViewer->findChild<Sci *>();
        const QByteArray document(
            reinterpret_cast<const char *>(sci->SendScintilla(Sci::SCI_GETCHARACTERPOINTER)),
            sci->SendScintilla(Sci::SCI_GETLENGTH));
        const long tag = long(document.indexOf("</Idd>"));
        QVERIFY(tag > 0);
        QString marked;
        for (long at = tag - 2; at < tag + 8; ++at) {
            if (sci->SendScintilla(Sci::SCI_INDICATORVALUEAT, Sci::INDIC_CONTAINER + 1, at) != 0)
                marked += QChar::fromLatin1(document.at(at));
        }
        QCOMPARE(marked, u"</Idd>"_s);
        keep(onScreen(form.get()), QStringLiteral("8-parser-stop.png"));
    }

    void overwriteQuestionBreaksALongPathOnlyBetweenFolders()
    {
        // A file deep in folders whose names have hyphens, wider than the dialog may grow: the
        // question wraps the path, only after a '/', and reads as the path itself.
        QString folder = QFileInfo(m_started).dir().path();
        // Names long enough that a row ends inside one, wherever the screen's width puts its end.
        for (const char *name :
            { "eingang-der-zahlungsdateien-aus-der-filiale-muenchen-nord-fuer-den-monat-dezember",
                "ausgehende-sepa-ueberweisungen-fuer-die-bank-nach-der-freigabe-durch-die-buchhaltung",
                "zweite-pruefung-vor-dem-versand-an-die-hausbank-und-die-sparkasse-am-ort" })
            folder += u'/' + QString::fromLatin1(name);
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + u"/sammel-ueberweisung-lieferanten-dezember.xml"_s;
        QVERIFY(writeAll(path, readAll(m_started)));
        QList<DialogSnapshot> shown;
        QString content;
        QStringList rows;
        int dialogWidth = 0;
        ModalDialogDriver driver([&](QDialog *d) {
            if (auto *files = qobject_cast<QFileDialog *>(d)) {
                acceptFileDialog(files, path);
                return;
            }
            shown.append(DialogSnapshot::of(d));
            if (auto *label = d->findChild<QLabel *>(QStringLiteral("Content"))) {
                QVERIFY(QTest::qWaitForWindowExposed(d));
                keep(wholeScreen({ form.get(), d }), QStringLiteral("12-overwrite-long-path.png"));
                content = label->text();
                dialogWidth = d->width();
                // The rows as the label lays them out at its width.
                QString text = content;
                text.replace(u'\n', QChar::LineSeparator);
                QTextLayout layout(text, label->font());
                QTextOption option;
                option.setWrapMode(QTextOption::WordWrap);
                layout.setTextOption(option);
                layout.beginLayout();
                for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
                    row.setLineWidth(label->contentsRect().width());
                    rows.append(text.mid(row.textStart(), row.textLength()));
                }
                layout.endLayout();
            }
            pressButton(d, shown.constLast().buttons.contains(u"&No"_s) ? u"&No"_s : u"&Nein"_s);
        });
        clickMenuItem(QStringLiteral("Datei"), form->FileOpen1);
        QTRY_COMPARE(form->XMLFileName(), path);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form->XMLViewer->findChild<QAbstractScrollArea *>(), Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(!rows.isEmpty());
        QTRY_VERIFY(!QApplication::activeModalWidget());

        const auto readable = [](QString text) {
            return text.remove(QChar(0x200B)).remove(QChar(0x2060)).replace(QChar::LineSeparator, u'\n');
        };
        QCOMPARE(readable(content),
            QStringLiteral("Die Datei %1 existiert bereits! \nWollen Sie die Datei überschreiben?")
                .arg(path));
        QVERIFY2(dialogWidth <= form->screen()->availableGeometry().width(), qPrintable(rows.join(u'|')));
        // Each row that ends inside the path ends with a '/'.
        const QString whole = readable(rows.join(QString()));
        const qsizetype pathAt = whole.indexOf(path);
        QVERIFY(pathAt >= 0);
        qsizetype done = 0;
        int inPath = 0;
        for (const QString &row : std::as_const(rows)) {
            done += readable(row).size();
            if (done > pathAt && done < pathAt + path.size()) {
                ++inPath;
                QVERIFY2(whole.at(done - 1) == u'/', qPrintable(readable(rows.join(u'|'))));
            }
        }
        QVERIFY2(inPath > 0, "the path was not wrapped at all");
        QCOMPARE(readAll(path), readAll(m_started));
    }

    void longOneLineFileTypedAtItsEndAsFastAsAtItsStart()
    {
        // A file of 16 MB on one line. At its end, the view is coloured by the time it is first
        // drawn, and a key typed there (until the status bar shows the caret's new column) costs
        // about what it costs at the start, however far along the line the caret stands.
        QByteArray file = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Document>";
        const QByteArray item = "<Ustrd>Rechnung 4711 vom 1.12.</Ustrd>";
        file.reserve(16 * 1024 * 1024 + 64);
        while (file.size() < 16 * 1024 * 1024)
            file += item;
        file += "</Document>";
        const QString path = QFileInfo(m_started).dir().filePath(QStringLiteral("long-one-line.xml"));
        QVERIFY(writeAll(path, file));
        {
            QList<DialogSnapshot> shown;
            ModalDialogDriver driver(openAndAnswer(path, shown, QStringLiteral("&Nein")));
            clickMenuItem(QStringLiteral("Datei"), form->FileOpen1);
            QTRY_COMPARE_WITH_TIMEOUT(form->XMLFileName(), path, 20000);
        }
        form->PageControl1->SetActivePage(form->TabSheet1);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        auto *view = form->XMLViewer->findChild<QAbstractScrollArea *>();
        auto *sci = form->XMLViewer->findChild<Sci *>();

        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        view->viewport()->repaint();
        // The last tag in view is drawn in the tags' colour, not as plain text.
        const long end = sci->SendScintilla(Sci::SCI_GETLENGTH);
        const long lastTag = end - long(qstrlen("</Document>"));
        QCOMPARE(sci->SendScintilla(Sci::SCI_GETCHARAT, lastTag), long('<'));
        QCOMPARE(sci->SendScintilla(Sci::SCI_GETSTYLEAT, lastTag), long(QsciLexerXML::Tag));
        const int lineNumber = form->XMLViewer->caretLine();
        QCOMPARE(lineNumber, 1);

        // CPU time of the process per key, the status bar's update included.
        const auto cpuPerKey = [&](int column) {
            timespec start {};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
            constexpr int keys = 20;
            for (int i = 1; i <= keys; ++i) {
                QTest::keyClick(view, Qt::Key_X);
                const QString panel = QStringLiteral("1:%1").arg(column + i);
                if (!runUntil([&] { return form->StatusPanels[1]->text() == panel; }))
                    return -1.0;
            }
            timespec stop {};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &stop);
            return (double(stop.tv_sec - start.tv_sec) * 1e3 + double(stop.tv_nsec - start.tv_nsec) / 1e6)
                / keys;
        };
        const int endColumn = form->XMLViewer->caretColumn();
        QVERIFY(
            runUntil([&] { return form->StatusPanels[1]->text() == QStringLiteral("1:%1").arg(endColumn); }));
        const double atEnd = cpuPerKey(endColumn);
        QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
        QVERIFY(runUntil([&] { return form->StatusPanels[1]->text() == QStringLiteral("1:1"); }));
        const double atStart = cpuPerKey(1);
        const QString costs
            = QStringLiteral("%1 ms a key at the start, %2 ms at the end").arg(atStart).arg(atEnd);
        QVERIFY2(atStart >= 0 && atEnd >= 0, qPrintable(costs));
        QVERIFY2(atEnd <= 3 * atStart + 1.0, qPrintable(costs));
        qInfo("%s", qPrintable(costs));

        // Back to the file of the command line; the typing is not saved.
        QList<DialogSnapshot> questions;
        ModalDialogDriver back(openAndAnswer(m_started, questions, QStringLiteral("&Nein")));
        clickMenuItem(QStringLiteral("Datei"), form->FileOpen1);
        QTRY_COMPARE(form->XMLFileName(), m_started);
        QCOMPARE(questions.size(), 1);
        QCOMPARE(readAll(path), file);
        QFile::remove(path);
    }

    void fileFromCommandLineShownFromItsFirstLine_data()
    {
        QTest::addColumn<bool>("oneLine");
        QTest::newRow("lines as written") << false;
        QTest::newRow("all on one line") << true;
    }

    void fileFromCommandLineShownFromItsFirstLine()
    {
        // A window of its own, started with the file as "Öffnen mit Pravik" starts it: once the
        // verdict is answered, the editor's page shows the text from its first line's start.
        QFETCH(bool, oneLine);
        QString text = QString::fromUtf8(readAll(m_started)).trimmed();
        if (oneLine) {
            // Longer than a line the editor shows whole: it shows the line in pieces.
            text = testsupport::oneLine(text);
            text += u"<!--"_s + QString(20000, u'x') + u"-->"_s;
        }
        const QString path = QFileInfo(m_started).dir().filePath(
            oneLine ? QStringLiteral("started-one-line.xml") : QStringLiteral("started-lines.xml"));
        QVERIFY(writeAll(path, text.toUtf8()));
        TPravik_MAIN_Form window;
        window.FArguments = QStringList { QCoreApplication::applicationFilePath(), path };
        QList<DialogSnapshot> verdicts;
        {
            ModalDialogDriver driver([&](QDialog *d) {
                verdicts.append(DialogSnapshot::of(d));
                pressButton(d, QStringLiteral("OK"));
            });
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QTRY_COMPARE_WITH_TIMEOUT(verdicts.size(), 1, 20000);
            QTRY_VERIFY(!QApplication::activeModalWidget());
        }
        QCOMPARE(verdicts[0].text, QStringLiteral("XML is not valid!"));
        QCOMPARE(window.XMLViewer->lineCount() == 1, oneLine);
        window.PageControl1->SetActivePage(window.TabSheet1);
        QTRY_VERIFY(window.XMLViewer->isVisible());
        QCOMPARE(window.XMLViewer->caretLine(), 1);
        QCOMPARE(window.XMLViewer->caretColumn(), 1);
        QCOMPARE(window.XMLViewer->firstVisibleLine(), 1);
        // On screen: the text's first character at the top left of the text area.
        const CaretInView seen = caretInView(window.XMLViewer);
        QCOMPARE(seen.top, 0);
        QCOMPARE(seen.xOffset, 0L);
        QVERIFY2(seen.x >= seen.textLeft && seen.x < seen.textLeft + 8,
            qPrintable(
                QStringLiteral("first character at x %1, text from %2").arg(seen.x).arg(seen.textLeft)));
        keep(onScreen(&window),
            oneLine ? QStringLiteral("11-started-one-line.png") : QStringLiteral("11-started-lines.png"));
        QFile::remove(path);
    }

    // Last: the window closes.
    void unsavedChangesAskedOnBeenden()
    {
        auto *view = form->XMLViewer->findChild<QAbstractScrollArea *>();
        form->PageControl1->SetActivePage(form->TabSheet1);
        QTest::keyClicks(view, QStringLiteral("<!-- -->"));
        QVERIFY(runUntil([&] { return !form->StatusModified->isHidden(); }));
        const QByteArray before = readAll(form->XMLFileName());
        for (const QString &answer : { QStringLiteral("Abbrechen"), QStringLiteral("&Nein") }) {
            QList<DialogSnapshot> questions;
            ModalDialogDriver driver([&](QDialog *d) {
                questions.append(DialogSnapshot::of(d));
                QVERIFY(QTest::qWaitForWindowExposed(d));
                keep(wholeScreen({ form.get(), d }), QStringLiteral("9-unsaved.png"));
                pressButton(d, answer);
            });
            clickMenuItem(QStringLiteral("Datei"), form->FileExit1);
            QTRY_COMPARE(questions.size(), 1);
            QTRY_VERIFY(!QApplication::activeModalWidget());
            QCOMPARE(questions[0].text,
                QStringLiteral("Die Datei %1 wurde geändert.\nSollen die Änderungen gespeichert werden?")
                    .arg(form->XMLFileName()));
            QCOMPARE(form->isVisible(), answer == QStringLiteral("Abbrechen"));
        }
        QCOMPARE(readAll(form->XMLFileName()), before);
    }
};

int main(int argc, char *argv[])
{
    XvfbServer xvfb;
    if (!useOwnXServer(xvfb))
        return 1;
    QStandardPaths::setTestModeEnabled(true);

    // The program's files live in a folder of their own: the started file and one to overwrite.
    QTemporaryDir work;
    const QString started = work.filePath(QStringLiteral("invalid-credit-transfer.xml"));
    const QString existing = work.filePath(QStringLiteral("existing.xml"));
    if (!work.isValid()
        || !QFile::copy(QStringLiteral(PRAVIK_SOURCE_DIR "/examples/invalid-credit-transfer.xml"), started)
        || !writeAll(existing, QByteArrayLiteral("<old/>\n"))) {
        std::fprintf(stderr, "FAIL: cannot prepare the files in %s\n", qPrintable(work.path()));
        return 1;
    }

    // The window takes its file from the application's command line, as the program does.
    QByteArray startedArg = QFile::encodeName(started);
    int appArgc = 2;
    char *appArgv[] = { argv[0], startedArg.data(), nullptr };
    const TUnitRun units(PravikUnits());
    TApplication app(appArgc, appArgv);
    TApplication::setApplicationName(QStringLiteral("Pravik"));
    TApplication::setOrganizationName(QStringLiteral("Zelk Software"));

    TestEndToEndWindow test(started, existing);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_window.moc"
