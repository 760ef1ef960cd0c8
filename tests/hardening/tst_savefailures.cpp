// Saving when the disk is full, the folder read-only, the file replaced by a folder, or the path a
// symbolic link: the old file is intact, the error is reported, the text stays in the editor; a
// successful save through a link replaces the link's target and leaves the link a link. Through the
// editor and through the window's "Speichern".

#include "hostile.h"

#include "Pravik_MAIN.h"
#include "editor/xmleditor.h"
#include "platform/exception.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/testfiles.h"
#include "units.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

using testsupport::readAll;
using testsupport::writeAll;

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A small file system of its own (tmpfs) mounted on a folder for the life of the object.
class SmallDisk
{
public:
    SmallDisk(const QString &folder, const QByteArray &options)
        : m_folder(QFile::encodeName(folder))
        , m_options(options)
    {
        QDir().mkpath(folder);
        if (::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, m_options.constData()) == 0)
            m_mounted = true;
        else
            m_error = systemText(errno);
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }
    QString error() const { return m_error; }
    bool makeReadOnly()
    {
        const unsigned long flags = MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV;
        if (::mount(nullptr, m_folder.constData(), nullptr, flags, m_options.constData()) == 0)
            return true;
        m_error = systemText(errno);
        return false;
    }

private:
    QByteArray m_folder;
    QByteArray m_options;
    bool m_mounted = false;
    QString m_error;
};

// The folder's entries other than "." and "..": a failed save leaves no temporary file behind.
QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// One failing save: the folder with the file, the path saved to, the text the editor holds.
struct Situation
{
    QTemporaryDir temp;
    std::unique_ptr<SmallDisk> disk;
    QString folder; // where the saved file lives
    QString path; // the name saved under
    QString file; // the file actually written (the link's target for a link)
    QString link; // the link, when saving through one
    QByteArray old; // the file's bytes before the save
    QString text; // the editor's text at the save
    QString skip; // why the situation cannot be made here
};

const char *const kPayment = PRAVIK_TEST_DATA "/hardening/valid-credit-transfer.xml";

// A text larger than the small disk, so that writing it runs out of space.
QString largeText(const QString &text)
{
    return text + QStringLiteral("\r\n<!-- ") + QString(200 * 1024, u'x') + QStringLiteral(" -->");
}

// The window, with its drop handler within reach.
class DropTarget : public TPravik_MAIN_Form
{
public:
    using TPravik_MAIN_Form::dropEvent;
};

} // namespace

class TestSaveFailures : public QObject
{
    Q_OBJECT

public:
    explicit TestSaveFailures(bool privateMounts)
        : m_privateMounts(privateMounts)
    {
    }

private:
    bool m_privateMounts;

    // Makes the situation; the editor has loaded the file and holds an edited text.
    void makeSituation(const QString &kind, Situation &s, TXMLEditor &editor)
    {
        const QString base = s.temp.path();
        const QByteArray payment = readAll(QString::fromUtf8(kPayment));
        auto mountDisk = [&](const QByteArray &options) {
            if (!m_privateMounts)
                s.skip = QStringLiteral("no mount namespace of our own (needs root and CAP_SYS_ADMIN)");
            s.disk = std::make_unique<SmallDisk>(s.folder, options);
            if (!s.disk->mounted())
                s.skip = QStringLiteral("cannot mount a tmpfs: ") + s.disk->error();
            return s.skip.isEmpty();
        };

        s.folder = base + QStringLiteral("/disk");
        s.path = s.folder + QStringLiteral("/payment.xml");
        s.file = s.path;
        if (kind == u"full disk" || kind == u"link to a full disk") {
            if (!mountDisk("size=64k,mode=0755"))
                return;
        } else if (kind == u"read-only folder") {
            if (!mountDisk("size=1m,mode=0755"))
                return;
        } else {
            QDir().mkpath(s.folder);
        }
        if (kind == u"link" || kind == u"link to a full disk") {
            s.link = base + QStringLiteral("/link.xml");
            QFile::link(s.file, s.link);
            s.path = s.link;
        }
        QVERIFY(writeAll(
            s.file, kind == u"character the encoding cannot hold" ? QByteArray("<a>caf\xE9</a>") : payment));
        editor.loadFromFile(s.path);
        s.old = readAll(s.file);

        if (kind == u"read-only folder" && !s.disk->makeReadOnly()) {
            s.skip = QStringLiteral("cannot make the tmpfs read-only: ") + s.disk->error();
            return;
        }
        if (kind == u"file replaced by a folder") {
            QVERIFY(QFile::remove(s.file));
            QVERIFY(QDir().mkdir(s.file));
            s.old.clear();
        }
        if (kind == u"character the encoding cannot hold")
            s.text = editor.text() + QStringLiteral("\u03A9");
        else if (kind == u"full disk" || kind == u"link to a full disk")
            s.text = largeText(editor.text());
        else
            s.text = editor.text() + QStringLiteral("\r\n<!-- edited -->");
        editor.setText(s.text);
    }

private Q_SLOTS:
    void saveFails_data();
    void saveFails();
    void saveThroughALinkReplacesItsTarget();
    void windowKeepsTextWhenSavingFails_data();
    void windowKeepsTextWhenSavingFails();
};

void TestSaveFailures::saveFails_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason"); // after "Cannot save "<path>": "

    QTest::newRow("full disk") << QStringLiteral("full disk") << systemText(ENOSPC) + u'.';
    QTest::newRow("read-only folder") << QStringLiteral("read-only folder") << systemText(EROFS) + u'.';
    QTest::newRow("file replaced by a folder while open")
        << QStringLiteral("file replaced by a folder") << systemText(EISDIR) + u'.';
    QTest::newRow("symbolic link to a file on a full disk")
        << QStringLiteral("link to a full disk") << systemText(ENOSPC) + u'.';
    QTest::newRow("character the file's encoding cannot hold")
        << QStringLiteral("character the encoding cannot hold")
        << QStringLiteral(
               "The character \"\u03A9\" (U+03A9) in line 1, column 12 cannot be saved as Windows-1252.");
}

void TestSaveFailures::saveFails()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    TXMLEditor editor;
    Situation s;
    QVERIFY(s.temp.isValid());
    makeSituation(kind, s, editor);
    if (QTest::currentTestFailed())
        return;
    if (!s.skip.isEmpty())
        QSKIP(qPrintable(s.skip));
    const QStringList before = entries(s.folder);

    try {
        editor.saveToFile(s.path);
        QFAIL("the save succeeded");
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), reason);
    } catch (const EFCreateError &e) {
        QCOMPARE(e.message(), QStringLiteral("Cannot save \"%1\": %2").arg(s.path, reason));
    }

    QCOMPARE(editor.text(), s.text);
    if (kind == u"file replaced by a folder") {
        QVERIFY(QFileInfo(s.file).isDir());
        QCOMPARE(entries(s.file), QStringList());
    } else {
        QCOMPARE(readAll(s.file), s.old);
    }
    QCOMPARE(entries(s.folder), before);
    if (!s.link.isEmpty()) {
        QVERIFY(QFileInfo(s.link).isSymLink());
        QCOMPARE(QFileInfo(s.link).symLinkTarget(), s.file);
    }
}

void TestSaveFailures::saveThroughALinkReplacesItsTarget()
{
    TXMLEditor editor;
    Situation s;
    QVERIFY(s.temp.isValid());
    makeSituation(QStringLiteral("link"), s, editor);
    if (QTest::currentTestFailed())
        return;

    editor.saveToFile(s.link);
    QVERIFY(QFileInfo(s.link).isSymLink());
    QCOMPARE(QFileInfo(s.link).symLinkTarget(), s.file);
    QVERIFY(readAll(s.file).endsWith("<!-- edited -->"));
    QCOMPARE(entries(s.folder), QStringList { QStringLiteral("payment.xml") });
}

void TestSaveFailures::windowKeepsTextWhenSavingFails_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("error");
    QTest::newRow("full disk") << QStringLiteral("full disk") << ENOSPC;
    QTest::newRow("read-only folder") << QStringLiteral("read-only folder") << EROFS;
}

// The window's "Speichern" on the file it has open: asked to overwrite, the user says yes, the save
// fails; the error box names the reason, the file and the text stay as they were.
void TestSaveFailures::windowKeepsTextWhenSavingFails()
{
    QFETCH(QString, kind);
    QFETCH(int, error);

    QStringList errorBoxes;
    TApplication::SetExceptionSink([&](const QString &m) { errorBoxes.append(m); });
    auto form = std::make_unique<DropTarget>();
    QStringList dialogs;
    ModalDialogDriver driver([&](QDialog *d) {
        dialogs.append(DialogSnapshot::of(d).text);
        // "&Nein": the text the situation left in the editor is not to be saved before the drop.
        if (!pressButton(d, QStringLiteral("&Yes")) && !pressButton(d, QStringLiteral("&Nein")))
            pressButton(d, QStringLiteral("OK"));
    });

    Situation s;
    QVERIFY(s.temp.isValid());
    makeSituation(kind, s, *form->XMLViewer);
    if (QTest::currentTestFailed())
        return;
    if (!s.skip.isEmpty()) {
        TApplication::SetExceptionSink({});
        QSKIP(qPrintable(s.skip));
    }

    // Opened as a drop opens it (loaded and validated), then edited.
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(s.path) });
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    form->dropEvent(&drop);
    QCOMPARE(form->XMLFileName(), s.path);
    form->XMLViewer->setText(s.text);
    form->ActionList1->UpdateActions();
    QVERIFY(form->FileSave1->isEnabled());

    form->FileSave1->Execute();
    TApplication::SetExceptionSink({});
    // The question about the text left unsaved, the drop's verdict, the overwrite question.
    QCOMPARE(dialogs.size(), 3);
    QVERIFY(dialogs[2].startsWith(QStringLiteral("Die Datei %1 existiert bereits!").arg(s.path)));
    QCOMPARE(
        errorBoxes, QStringList { QStringLiteral("Cannot save \"%1\": %2.").arg(s.path, systemText(error)) });
    QCOMPARE(form->XMLViewer->text(), s.text);
    QCOMPARE(readAll(s.file), s.old);
}

int main(int argc, char *argv[])
{
    // A mount namespace of our own, private from the system's: the small file systems the tests
    // mount are seen by no other process and vanish with this one, however it ends.
    const bool privateMounts
        = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    const TUnitRun units(PravikUnits());
    TApplication app(argc, argv);
    TestSaveFailures test(privateMounts);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_savefailures.moc"
