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

#include "editor/xmleditor.h"
#include "platform/textfile.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "platform/widgets/pagecontrol.h"
#include "tests/support/dialogdriver.h"
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
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <functional>

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
        QString text = QString::fromUtf8(readAll(m_started)).trimmed();
        text.replace(QRegularExpression(QStringLiteral(">\\s*\\r?\\n\\s*<")), QStringLiteral("><"));
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
        for (int error = 0; error < columns.size(); ++error) {
            form->PageControl1->SetActivePage(form->TabSheet2);
            doubleClickReportRow(lineRowOfError(error));
            QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
            QCOMPARE(form->XMLViewer->caretLine(), 1);
            QCOMPARE(form->XMLViewer->caretColumn(), columns[error]);
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
        QTest::keyClick(form->XMLViewer->findChild<QAbstractScrollArea *>(), Qt::Key_F8);
        QTRY_COMPARE(form->XMLViewer->caretColumn(), columns[1]);
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
        ModalDialogDriver driver([&](QDialog *d) {
            if (auto *files = qobject_cast<QFileDialog *>(d))
                acceptFileDialog(files, path);
            else
                pressButton(d, QStringLiteral("&Nein"));
        });
        clickMenuItem(QStringLiteral("Datei"), form->FileOpen1);
        QTRY_COMPARE(form->XMLFileName(), path);
        clickMenuItem(QStringLiteral("Bearbeiten"), form->act_Validate);
        QTRY_COMPARE(errorBoxes.size(), 1);
        QCOMPARE(errorBoxes[0],
            QStringLiteral("The file cannot be validated! This file may not be a valid SEPA XML file."));
        errorBoxes.clear();
        QCOMPARE(reportLines(), QStringList { QStringLiteral("Validating...") });
        QVERIFY(runUntil([&] { return !form->StatusMessage->isHidden(); }));
        const QString status = form->StatusMessage->text();
        QVERIFY2(status.startsWith(QStringLiteral("Zeile %1, Position ").arg(line)), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral("MsgId")), qPrintable(status));
        keep(onScreen(form.get()), QStringLiteral("7-not-well-formed.png"));
        form->PageControl1->SetActivePage(form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), line);
        keep(onScreen(form.get()), QStringLiteral("8-parser-stop.png"));
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
