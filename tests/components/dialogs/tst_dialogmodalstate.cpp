// The application hears of every task dialog the service shows: the modal state begins before the
// dialog is shown and ends after it closed, also when building it raised; a dialog answered from
// the store is never shown and says nothing; a worker's dialog on top of an open one only deepens
// the level.

#include "components/dialogs/zc_dialogs.h"
#include "platform/exception.h"
#include "platform/settingsstore.h"
#include "platform/widgets/application.h"
#include "tests/support/answerstore.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/lambdathread.h"
#include "tests/support/unitsmain.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const TUnit *const Units[] = { &zc_DialogsUnit };
const QString Guid = u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s;

// How the dialog of a case ends.
enum class Ending
{
    AnsweredByTheUser,
    AnsweredFromTheStore,
    CallbackRaises,
    WorkerDialogOnTop
};

} // namespace

Q_DECLARE_METATYPE(Ending)

class TestDialogModalState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        SetSettingsFolder(m_settings.path());
        auto *app = qobject_cast<TApplication *>(QCoreApplication::instance());
        QVERIFY(app);
        connect(app, &TApplication::ModalBegin, this,
            [this] { m_log << u"begin %1"_s.arg(TApplication::ModalLevel()); });
        connect(app, &TApplication::ModalEnd, this,
            [this] { m_log << u"end %1"_s.arg(TApplication::ModalLevel()); });
    }
    void cleanupTestCase() { SetSettingsFolder(QString()); }

    void noticesAroundTheTaskDialog_data()
    {
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("answered by the user") << Ending::AnsweredByTheUser << int(mrNo)
                                              << QStringList { u"begin 1"_s, u"shown 1"_s, u"end 0"_s };
        QTest::newRow("answered from the store: never shown")
            << Ending::AnsweredFromTheStore << int(mrYes) << QStringList {};
        QTest::newRow("its callback raised: the end is told all the same")
            << Ending::CallbackRaises << 0 << QStringList { u"begin 1"_s, u"end 0"_s };
        QTest::newRow("a worker's dialog on top of it")
            << Ending::WorkerDialogOnTop << int(mrNo)
            << QStringList { u"begin 1"_s, u"shown 1"_s, u"shown 2"_s, u"shown 1"_s, u"end 0"_s };
    }

    void noticesAroundTheTaskDialog()
    {
        QFETCH(Ending, ending);
        QFETCH(int, result);
        QFETCH(QStringList, log);
        m_log.clear();
        Tzc_Dialogs::SetAutoAnswersRegistryCreate(nullptr);
        if (ending == Ending::AnsweredFromTheStore) {
            Tzc_Dialogs::SetAutoAnswersRegistryCreate(TestAnswerStore::openStore);
            TestAnswerStore::put(Guid, mrYes);
        }
        std::unique_ptr<TLambdaThread> worker;
        std::atomic<int> workerResult = -100;
        ModalDialogDriver driver([&](QDialog *d) {
            m_log << u"shown %1"_s.arg(TApplication::ModalLevel());
            if (ending == Ending::WorkerDialogOnTop && !worker) {
                worker = std::make_unique<TLambdaThread>(false, [&](TLambdaThread *) {
                    workerResult = Tzc_Dialogs::MessageDlg(
                        u"Darüber"_s, u"Text"_s, mtInformation, { mbOK }, 0, QString(), {}, 0, nullptr);
                });
                worker->Start();
                return;
            }
            pressButton(d, DialogSnapshot::of(d).instruction == u"Darüber"_s ? u"OK"_s : u"&No"_s);
        });
        Tzc_DialogCallback callback;
        if (ending == Ending::CallbackRaises)
            callback = [](Tzc_CustomTaskDialog *) { throw Exception(u"Kaputt"_s); };
        int answer = 0;
        const auto ask = [&] {
            answer = Tzc_Dialogs::MessageDlg(
                u"Frage"_s, u"Weiter?"_s, mtConfirmation, { mbYes, mbNo }, 0, Guid, {}, 0, callback);
        };
        if (ending == Ending::CallbackRaises)
            QVERIFY_THROWS_EXCEPTION(Exception, ask());
        else
            ask();
        QCOMPARE(answer, result);
        if (worker) {
            worker->WaitFor();
            QCOMPARE(workerResult.load(), int(mrOk));
        }
        QCOMPARE(m_log, log);
        QCOMPARE(TApplication::ModalLevel(), 0);
    }

private:
    QTemporaryDir m_settings;
    QStringList m_log;
};

int main(int argc, char **argv)
{
    // The notices come from the application object: this test runs under the program's own.
    const TUnitRun units(Units);
    TApplication app(argc, argv);
    TestDialogModalState test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dialogmodalstate.moc"
