// Units start in the order of their table and finish in reverse; a unit that cannot start stops the
// start-up with the units before it finished again; finishing goes on past a failing unit.

#include "platform/units.h"

#include <QTest>

#include <optional>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

QStringList g_log;
QString g_failingStart; // the unit whose start raises
QString g_failingFinish; // the unit whose finish raises

template <const char *Name> void start()
{
    if (g_failingStart == QLatin1String(Name))
        throw Exception(QStringLiteral("no display"));
    g_log << QStringLiteral("start ") + QLatin1String(Name);
}

template <const char *Name> void finish()
{
    g_log << QStringLiteral("finish ") + QLatin1String(Name);
    if (g_failingFinish == QLatin1String(Name))
        throw std::runtime_error("disk gone");
}

constexpr char graphics[] = "graphics";
constexpr char registry[] = "registry";
constexpr char threads[] = "threads";
constexpr char dialogs[] = "dialogs";

const TUnit graphicsUnit = { graphics, start<graphics>, finish<graphics> };
const TUnit registryUnit = { registry, start<registry>, finish<registry> };
const TUnit threadsUnit = { threads, start<threads>, nullptr };
const TUnit dialogsUnit = { dialogs, start<dialogs>, finish<dialogs> };

} // namespace

class TestUnits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        g_log.clear();
        g_failingStart.clear();
        g_failingFinish.clear();
    }

    void startInOrderFinishInReverse()
    {
        {
            const TUnitRun run { &graphicsUnit, &registryUnit, &threadsUnit, &dialogsUnit };
            QCOMPARE(
                run.Started(), QStringList({ u"graphics"_s, u"registry"_s, u"threads"_s, u"dialogs"_s }));
            QCOMPARE(g_log,
                QStringList(
                    { u"start graphics"_s, u"start registry"_s, u"start threads"_s, u"start dialogs"_s }));
            g_log.clear();
        }
        // The unit without a finish routine is passed over.
        QCOMPARE(g_log, QStringList({ u"finish dialogs"_s, u"finish registry"_s, u"finish graphics"_s }));
    }

    void aUnitThatCannotStartStopsTheStartUp()
    {
        g_failingStart = u"threads"_s;
        std::optional<TUnitRun> run;
        try {
            run.emplace(std::initializer_list<const TUnit *> {
                &graphicsUnit, &registryUnit, &threadsUnit, &dialogsUnit });
            QFAIL("the start-up went on past a unit that could not start");
        } catch (const EUnitStartError &e) {
            QCOMPARE(e.message(), u"The unit threads could not start: no display"_s);
        }
        // Nothing after the failing unit started; everything before it finished again, in reverse.
        QCOMPARE(g_log,
            QStringList(
                { u"start graphics"_s, u"start registry"_s, u"finish registry"_s, u"finish graphics"_s }));
    }

    void finishingSwallowsErrors()
    {
        g_failingFinish = u"dialogs"_s;
        {
            const TUnitRun run { &graphicsUnit, &registryUnit, &dialogsUnit };
            g_log.clear();
            QTest::ignoreMessage(QtWarningMsg, "The unit dialogs failed to finish: disk gone");
        }
        QCOMPARE(g_log, QStringList({ u"finish dialogs"_s, u"finish registry"_s, u"finish graphics"_s }));
    }
};

QTEST_GUILESS_MAIN(TestUnits)
#include "tst_units.moc"
