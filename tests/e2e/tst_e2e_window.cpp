// The checker window end to end on a real X server (a private Xvfb): started with an invalid payment
// file on its command line, the verdict answered, a report line double-clicked, the error line
// corrected by typing and the file saved through the menu and the file dialogs, over an existing
// file after the overwrite question. The written bytes must be the original ones with the typed
// line, in the file's own line ends. Screenshots of each step go to the build folder.

#include "Pravik_MAIN.h"
#include "units.h"
#include "xvfbserver.h"

#include "editor/xmleditor.h"
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

    void typeIntoEditor(const QString &text)
    {
        auto *view = form->XMLViewer->findChild<QAbstractScrollArea *>();
        QVERIFY(view);
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

    // Fills in the name and presses the dialog's accept button, as a user would.
    static void acceptFileDialog(QFileDialog *dialog, const QString &fileName)
    {
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *buttons = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QVERIFY(name && buttons);
        name->setText(fileName);
        QPushButton *accept
            = buttons->button(dialog->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save
                                                                              : QDialogButtonBox::Open);
        QVERIFY(accept && accept->isEnabled());
        QTest::mouseClick(accept, Qt::LeftButton);
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
        doubleClickReportRow(row);
        QTRY_COMPARE(form->PageControl1->ActivePage(), form->TabSheet1);
        QCOMPARE(form->XMLViewer->caretLine(), errorLine);
        QCOMPARE(form->XMLViewer->caretColumn(), 1);
        QVERIFY(form->XMLViewer->text().split(QStringLiteral("\r\n")).at(errorLine - 1).contains(source));
        const QString caretPanel = QStringLiteral("%1:1").arg(errorLine);
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
