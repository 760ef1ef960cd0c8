// The dialog service's state belongs to the run of unit zc_Dialogs: made at its start, freed at its
// finish, shared by a nested run, and nothing of it is kept or made outside a run. Linked with the
// QtCore part of the service only.

#include "components/dialogs/zc_dialogs_core.h"
#include "platform/units.h"

#include <QTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Changes one piece of the state away from its start value, and reads whether it is changed.
struct StatePiece
{
    std::function<void()> change;
    std::function<bool()> changed;
};

struct TIdleView : THistorieView
{
    void HistorieChanged() override { }
};

} // namespace

Q_DECLARE_METATYPE(StatePiece)

class TestDialogService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freshInEveryRunAndNotKeptOutside_data()
    {
        QTest::addColumn<StatePiece>("piece");
        QTest::newRow("switch of the latest dialogs")
            << StatePiece { [] { Tzc_DialogsCore::SetUseLatestCommonDialogs(false); },
                   [] { return !Tzc_DialogsCore::UseLatestCommonDialogs(); } };
        QTest::newRow("answer store's factory")
            << StatePiece { [] { Tzc_DialogsCore::SetAutoAnswersRegistryCreate([] { return nullptr; }); },
                   [] { return Tzc_DialogsCore::AutoAnswersRegistryCreateRegistered(); } };
        QTest::newRow("history entries") << StatePiece { [] {
                                                            // Outside a run the history refuses the entry:
                                                            // there is none.
                                                            try {
                                                                Tzc_DialogsCore::AddToHistoryStack(u"i"_s,
                                                                    u"c"_s, mtWarning, { mbOK }, mbOK,
                                                                    QString(), AnswerTypUser, mrOk);
                                                            } catch (const Exception &) {
                                                                QVERIFY(!Tzc_DialogService::Running());
                                                            }
                                                        },
            [] { return Tzc_DialogsCore::GetHistorie() && Tzc_DialogsCore::GetHistorie()->Count() > 0; } };
        // A view left open by mistake: the next run must not keep (and later call) it.
        QTest::newRow("open views") << StatePiece { [] {
                                                       static TIdleView view;
                                                       try {
                                                           THistorie::AddView(&view);
                                                       } catch (const Exception &) {
                                                           QVERIFY(!Tzc_DialogService::Running());
                                                       }
                                                   },
            [] { return THistorie::OpenViewCount() > 0; } };
    }

    void freshInEveryRunAndNotKeptOutside()
    {
        QFETCH(StatePiece, piece);
        {
            const TUnitRun units { &zc_DialogsCoreUnit };
            QVERIFY(!piece.changed());
            piece.change();
            QVERIFY(piece.changed());
            {
                const TUnitRun nested { &zc_DialogsCoreUnit };
                QVERIFY2(piece.changed(), "a nested run must share the service");
            }
            QVERIFY2(piece.changed(), "the nested run's finish must leave the service");
        }
        QVERIFY(!piece.changed());
        // Outside a run there is nothing to keep it in.
        piece.change();
        QVERIFY(!piece.changed());
        const TUnitRun units { &zc_DialogsCoreUnit };
        QVERIFY(!piece.changed());
    }

    void serviceLivesWithTheRun()
    {
        QVERIFY(!Tzc_DialogService::Running());
        QVERIFY(!Tzc_DialogsCore::GetHistorie());
        auto token = std::make_shared<int>(0);
        {
            const TUnitRun units { &zc_DialogsCoreUnit };
            Tzc_DialogService *service = Tzc_DialogService::Running();
            QVERIFY(service);
            QCOMPARE(Tzc_DialogsCore::GetHistorie(), &service->Historie);
            Tzc_DialogsCore::SetAutoAnswersRegistryCreate([token] { return nullptr; });
            QCOMPARE(token.use_count(), 2);
        }
        QVERIFY(!Tzc_DialogService::Running());
        QVERIFY(!Tzc_DialogsCore::GetHistorie());
        QCOMPARE(token.use_count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDialogService)
#include "tst_dialogservice.moc"
