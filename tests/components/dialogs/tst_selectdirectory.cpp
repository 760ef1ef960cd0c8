// The folder picker: where it starts (the folder given, else the one remembered per GUID), the "/"
// at the end of every result, and what it remembers in the answer store.

#include "components/dialogs/zc_dialogs.h"
#include "platform/settingsstore.h"
#include "tests/support/dialogdriver.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString StoreKey = u"\\Software\\Zelk Software\\Test\\Dialogantworten"_s;
// As a host may write it: the picker keeps the text as it is.
const QString Guid = u"{a0b1c2d3-e4f5-0617-2839-4a5b6c7d8e9f}"_s;

QString storedFolder(const QString &name = Guid)
{
    TRegistry reg;
    if (!reg.OpenKey(StoreKey, false) || !reg.ValueExists(name))
        return u"<none>"_s;
    return reg.ReadString(name);
}

void remember(const QString &folder)
{
    TRegistry reg;
    reg.OpenKey(StoreKey, true);
    reg.WriteString(Guid, folder);
}

QStringList storedNames()
{
    TRegistry reg;
    return reg.OpenKey(StoreKey, false) ? reg.GetValueNames() : QStringList();
}

// Qt's picker opens where the last one was when it is given no folder: put that somewhere known.
void setQtsOwnStart(const QString &folder)
{
    QFileDialog picker;
    picker.setOption(QFileDialog::DontUseNativeDialog);
    picker.setDirectory(folder);
}

struct PickerSeen
{
    QString title;
    QString directory;
    QString accept;
    bool nativeAvoided = false;
};

} // namespace

class TestSelectDirectory : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TUnitRun> m_units;
    QString m_folderA, m_folderB, m_folderC;

    // Runs SelectDirectory; the handler sees the picker, then picks `pick` (empty: cancels).
    bool run(QString &directory, const QString &guid, const QString &pick, PickerSeen *seen = nullptr)
    {
        ModalDialogDriver driver([&](QDialog *d) {
            auto *picker = qobject_cast<QFileDialog *>(d);
            if (!picker) {
                d->done(0);
                return;
            }
            if (seen) {
                seen->title = picker->windowTitle();
                seen->directory = picker->directory().absolutePath();
                seen->accept = picker->labelText(QFileDialog::Accept);
                seen->nativeAvoided = picker->testOption(QFileDialog::DontUseNativeDialog);
            }
            if (pick.isEmpty()) {
                picker->reject();
                return;
            }
            // Opened in the folder with no name typed, the picker answers with that folder. (Selecting
            // it as a file name instead depends on whether the name field has the focus yet: Qt then
            // leaves the field as it is, and the answer would be the parent.)
            picker->setDirectory(pick);
            if (auto *name = picker->findChild<QLineEdit *>(u"fileNameEdit"_s))
                name->clear();
            if (!pressButton(picker, u"Auswählen"_s))
                d->done(0);
        });
        return Tzc_Dialogs::SelectDirectory(directory, guid, u"Ordner wählen"_s);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SetSettingsFolder(m_dir.filePath(u"settings"_s));
        m_units = std::make_unique<TUnitRun>(std::initializer_list<const TUnit *> { &zc_DialogsUnit });
        QDir(m_dir.path()).mkpath(u"a"_s);
        QDir(m_dir.path()).mkpath(u"b"_s);
        QDir(m_dir.path()).mkpath(u"c"_s);
        m_folderC = m_dir.filePath(u"c"_s);
        m_folderA = m_dir.filePath(u"a"_s);
        m_folderB = m_dir.filePath(u"b"_s);
    }

    void cleanupTestCase()
    {
        m_units.reset();
        SetSettingsFolder(QString());
    }

    void init()
    {
        TRegistry reg;
        reg.DeleteKey(StoreKey);
        Tzc_Dialogs::SetAutoAnswersRegistryCreate([] {
            auto store = std::make_unique<TRegistry>();
            store->OpenKey(StoreKey, true);
            return store;
        });
    }

    void startFolder_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("remembered"); // empty: nothing
        QTest::addColumn<bool>("factory");
        QTest::addColumn<QString>("expected"); // c: where Qt's picker opens by itself

        QTest::newRow("the folder given wins over the store") << u"a"_s << u"b"_s << true << u"a"_s;
        QTest::newRow("without a folder the remembered one") << QString() << u"b"_s << true << u"b"_s;
        QTest::newRow("a remembered folder that is gone is ignored")
            << QString() << u"gone"_s << true << u"c"_s;
        QTest::newRow("no store, no remembered folder") << QString() << u"b"_s << false << u"c"_s;
    }
    void startFolder()
    {
        QFETCH(QString, given);
        QFETCH(QString, remembered);
        QFETCH(bool, factory);
        QFETCH(QString, expected);

        if (!remembered.isEmpty())
            remember(m_dir.filePath(remembered) + u'/');
        if (!factory)
            Tzc_Dialogs::SetAutoAnswersRegistryCreate(nullptr);
        QString directory = given.isEmpty() ? QString() : m_dir.filePath(given);
        setQtsOwnStart(m_folderC);
        PickerSeen seen;
        QVERIFY(!run(directory, Guid, QString(), &seen));
        QCOMPARE(directory, given.isEmpty() ? QString() : m_dir.filePath(given));
        QCOMPARE(seen.directory, m_dir.filePath(expected));
        QCOMPARE(seen.title, u"Ordner wählen"_s);
        QCOMPARE(seen.accept, u"Auswählen"_s);
        QVERIFY(seen.nativeAvoided);
        // A cancelled pick writes nothing.
        QCOMPARE(storedFolder(), remembered.isEmpty() ? u"<none>"_s : m_dir.filePath(remembered) + u'/');
    }

    void result_data()
    {
        QTest::addColumn<QString>("pick");
        QTest::addColumn<QString>("result");

        QTest::newRow("an ordinary folder ends in /") << u"<a>"_s << u"<a>/"_s;
        QTest::newRow("the root stays /") << u"/"_s << u"/"_s;
    }
    void result()
    {
        QFETCH(QString, pick);
        QFETCH(QString, result);
        pick.replace(u"<a>"_s, m_folderA);
        result.replace(u"<a>"_s, m_folderA);

        QString directory = m_folderB;
        QVERIFY(run(directory, Guid, pick));
        QCOMPARE(directory, result);
        // Remembered under the GUID exactly as written.
        QCOMPARE(storedFolder(), result);
        QCOMPARE(storedNames(), QStringList { Guid });
    }

    void nothingRememberedWithoutGuidOrStore_data()
    {
        QTest::addColumn<QString>("guid");
        QTest::addColumn<bool>("factory");

        QTest::newRow("no GUID") << QString() << true;
        QTest::newRow("no store") << Guid << false;
    }
    void nothingRememberedWithoutGuidOrStore()
    {
        QFETCH(QString, guid);
        QFETCH(bool, factory);
        if (!factory)
            Tzc_Dialogs::SetAutoAnswersRegistryCreate(nullptr);
        QString directory;
        QVERIFY(run(directory, guid, m_folderA));
        QCOMPARE(directory, m_folderA + u'/');
        QCOMPARE(storedNames(), QStringList());
    }

    void afterResetNoRememberedFolder()
    {
        QString directory;
        QVERIFY(run(directory, Guid, m_folderB));
        QCOMPARE(storedFolder(), m_folderB + u'/');

        Tzc_Dialogs::AutoAnswersReset();
        QCOMPARE(storedFolder(), u"<none>"_s);
        directory.clear();
        setQtsOwnStart(m_folderC);
        PickerSeen seen;
        QVERIFY(!run(directory, Guid, QString(), &seen));
        QCOMPARE(seen.directory, m_folderC);
        QCOMPARE(directory, QString());
    }

    // The picker is shown on the active window and goes with it: the call returns false, the folder
    // stays as it was and nothing is remembered, also when a folder was chosen in the same moment,
    // and nothing of the picker is touched after Qt deleted it.
    void parentDeletedWhileOpen_data()
    {
        QTest::addColumn<bool>("chooseFirst");
        QTest::newRow("window goes while the picker waits") << false;
        QTest::newRow("folder chosen as the window went") << true;
    }

    void parentDeletedWhileOpen()
    {
        QFETCH(bool, chooseFirst);
        ParentThatGoes parent;
        QVERIFY(QTest::qWaitForWindowActive(parent.get()));
        bool onParent = false;
        QPointer<QDialog> seen;
        ModalDialogDriver driver([&](QDialog *d) {
            seen = d;
            onParent = d->parentWidget() == parent.get();
            if (chooseFirst) {
                auto *picker = qobject_cast<QFileDialog *>(d);
                picker->setDirectory(m_folderA);
                if (auto *name = picker->findChild<QLineEdit *>(u"fileNameEdit"_s))
                    name->clear();
                pressButton(picker, u"Auswählen"_s);
                parent.goNow();
            } else {
                parent.goLater();
            }
        });
        QString directory = m_folderB;
        QVERIFY(!Tzc_Dialogs::SelectDirectory(directory, Guid, u"Ordner wählen"_s));
        QCOMPARE(directory, m_folderB);
        QCOMPARE(storedFolder(), u"<none>"_s);
        QVERIFY2(onParent, "the picker was not shown on the active window");
        QVERIFY(!parent.alive());
        QVERIFY(!seen);
    }
};

// Qt's picker keeps its history in the user's QtProject settings: a folder of the test's own.
QTEST_MAIN_WRAPPER(TestSelectDirectory, const QTemporaryDir qtSettings;
                   qputenv("XDG_CONFIG_HOME", QFile::encodeName(qtSettings.path())); QTEST_MAIN_SETUP())
#include "tst_selectdirectory.moc"
