// The checker window's table of units: nothing of the library runs before the table starts it (a class
// looked up by name only is found because its unit started, not because the linker kept a static
// initialiser), the units start in their order and are gone after they finish.

#include "units.h"

#include "components/appservices/zc_thread.h"
#include "components/dialogs/zc_dialogs.h"
#include "components/panels/collapsepanel_trigger.h"
#include "components/panels/titlepanel.h"
#include "components/panels/xgraphic_cache.h"
#include "components/scaling/zc_hooks.h"
#include "components/versioninfo/zc_versioninfo.h"
#include "platform/component.h"
#include "platform/versionresource.h"

#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

class TestProgramUnits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void classesAreFoundByNameOnceTheirUnitsStarted()
    {
        const QStringList byName { u"TMessageList"_s, u"TMessageObject"_s, u"TVerInfo"_s };
        for (const QString &name : byName)
            QVERIFY2(!GetClass(name), qPrintable(name + u" registered before its unit started"_s));
        QCOMPARE(ThreadRegistry(), nullptr);
        QCOMPARE(Tzc_Dialogs::GetHistorie(), nullptr);
        QCOMPARE(GraphicCache(), nullptr);
        QCOMPARE(TriggerThread(), nullptr);
        QVERIFY(TitlePanelFocusHookGUID().isNull());

        std::optional<TUnitRun> units(std::in_place, PravikUnits());
        QCOMPARE(units->Started(),
            QStringList({ u"XGraphic"_s, u"xProcsDisplay"_s, u"xProcs"_s, u"Zelk_Registry"_s, u"zc_Scale"_s,
                u"zc_Hooks"_s, u"zc_Thread"_s, u"CollapsePanel"_s, u"TitlePanel"_s, u"zc_VersionInfo"_s,
                u"zc_VerInfo"_s, u"zc_Dialogs"_s, u"MessageCntr"_s }));
        for (const QString &name : byName) {
            const TComponentClass *c = GetClass(name);
            QVERIFY2(c, qPrintable(name));
            std::unique_ptr<TComponent, TComponentFree> made(c->Create(nullptr));
            QCOMPARE(QString::fromLatin1(made->metaObject()->className()), name);
        }
        QVERIFY(ThreadRegistry());
        QVERIFY(Tzc_Dialogs::GetHistorie());
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Count(), 0);
        QVERIFY(GraphicCache());
        QVERIFY(TriggerThread());
        // The title panels' focus hook is installed on this thread.
        QVERIFY(HookRegistry()->FindHook(TitlePanelFocusHookGUID()) != 0);
        QCOMPARE(VersionInfoApp().LibraryName(), ApplicationFileName());

        units.reset();
        QCOMPARE(TriggerThread(), nullptr);
        QCOMPARE(ThreadRegistry(), nullptr);
        QCOMPARE(Tzc_Dialogs::GetHistorie(), nullptr);
        QCOMPARE(GraphicCache(), nullptr);
        QVERIFY(TitlePanelFocusHookGUID().isNull());
        QVERIFY_THROWS_EXCEPTION(Exception, VersionInfoApp());
    }
};

QTEST_GUILESS_MAIN(TestProgramUnits)
#include "tst_programunits.moc"
