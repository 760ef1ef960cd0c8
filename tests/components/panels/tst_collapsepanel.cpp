// The collapse panel: the state change and its refusals, the step counts, animated runs through the
// trigger thread (also two at once and reversed), siblings, clicks, focus, the saved state and its
// key, the font contrast and the unit's scaler.

#include "components/appservices/zc_thread.h"
#include "components/appservices/zelk_registry.h"
#include "components/panels/collapsepanel.h"
#include "components/panels/collapsestyle_standard.h"
#include "components/panels/xgraphic_cache.h"
#include "components/scaling/zc_scale.h"
#include "platform/settingsstore.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <optional>
#include <stdexcept>

using namespace Qt::StringLiterals;

// A form class of the program: the saved state's key names it.
class TFormMain : public QWidget
{
    Q_OBJECT
    Q_CLASSINFO("ZelkForm", "true")
};

namespace {

// A panel with one child whose bottom ends at childBottom; it fits it in childBottom + 11 pixels.
std::unique_ptr<TCollapsePanel> newPanel(QWidget *parent = nullptr, int childBottom = 189)
{
    auto panel = std::make_unique<TCollapsePanel>(parent);
    panel->resize(200, 50);
    auto *child = new QWidget(panel.get());
    child->setGeometry(10, 30, 100, childBottom - 30);
    panel->ReExpand();
    return panel;
}

struct TEvents
{
    QStringList log;
    void attach(TCollapsePanel &p)
    {
        p.OnBeforeCollapse = [this](QObject *) { log.append(u"before collapse"_s); };
        p.OnAfterCollapse = [this](QObject *) { log.append(u"after collapse"_s); };
        p.OnBeforeExpand = [this](QObject *) { log.append(u"before expand"_s); };
        p.OnAfterExpand = [this](QObject *) { log.append(u"after expand"_s); };
    }
};

// A child whose moves and resizes raise while armed: a handler failing while the panel lays it out.
class TFailingChild : public QWidget
{
public:
    using QWidget::QWidget;
    bool armed = false;

protected:
    bool event(QEvent *e) override
    {
        if (armed && (e->type() == QEvent::Move || e->type() == QEvent::Resize))
            throw std::runtime_error("layout handler failed");
        return QWidget::event(e);
    }
};

QByteArray fileBytes(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString storedValue(const QString &key)
{
    TRegistry reg;
    if (!reg.OpenKey(u'\\' + key, false) || !reg.ValueExists(QString()))
        return u"missing"_s;
    return reg.ReadString(QString());
}

} // namespace

class TestCollapsePanel : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settings;
    std::optional<TUnitRun> m_units;

private Q_SLOTS:
    void initTestCase()
    {
        SetSettingsFolder(m_settings.path());
        QVERIFY_THROWS_EXCEPTION(Exception, TCollapsePanel panel);
        static const TUnit *const units[]
            = { &XGraphicUnit, &Zelk_RegistryUnit, &zc_ScaleUnit, &zc_ThreadUnit, &CollapsePanelUnit };
        m_units.emplace(units);
    }
    void cleanupTestCase()
    {
        m_units.reset();
        SetSettingsFolder(QString());
    }
    void init()
    {
        SetAnimationEnabled(true);
        SetAnimationAllowed(true);
    }

    void constructingWithoutTheUnitNamesTheFault()
    {
        m_units.reset();
        try {
            TCollapsePanel panel;
            QFAIL("made a panel without the unit");
        } catch (const Exception &e) {
            QCOMPARE(e.message(), u"Kein gültiger Layoutkomponente für TCollapsePanel"_s);
        }
        static const TUnit *const units[]
            = { &XGraphicUnit, &Zelk_RegistryUnit, &zc_ScaleUnit, &zc_ThreadUnit, &CollapsePanelUnit };
        m_units.emplace(units);
    }

    void theScalerKeepsItsPercentage()
    {
        QVERIFY(CollapsePanelScaler());
        QCOMPARE(CollapsePanelScaler()->GetRegistryIdent(), u"{5DBF3177-2536-4093-BDDF-CAB96415D72E}"_s);
        TRegistry reg;
        QVERIFY(reg.OpenKey(u"\\Software\\Zelk Software\\Scaling"_s, false));
        QCOMPARE(reg.ReadString(u"{5DBF3177-2536-4093-BDDF-CAB96415D72E}"_s), u"100"_s);
        QCOMPARE(ScaleClasses()->Find(&TCollapsePanel::staticMetaObject), CollapsePanelScaler());
    }

    void aNewPercentageRemakesTheStyle()
    {
        TCollapseHolder *holder = CollapseHolder();
        holder->SetCollapsStyle(u"Standard"_s);
        auto panel = newPanel();
        QCOMPARE(panel->CollapsePanelHeaderHeight(), 20);
        struct Restore
        {
            ~Restore()
            {
                CollapsePanelScaler()->SetScalePercent(100);
                CollapseHolder()->SetCollapsStyleObj(std::make_unique<TCollapsStyleInvert>());
            }
        } restore;
        CollapsePanelScaler()->SetScalePercent(150);
        QCOMPARE(holder->CollapsStyle(), u"Standard"_s);
        QCOMPARE(panel->CollapsePanelHeaderHeight(), 30);
        // Bottom space -3 + 5 + 14 = 16, and one pixel more.
        QCOMPARE(panel->height(), 189 + 17);
        CollapsePanelScaler()->SetScalePercent(100);
        QCOMPARE(panel->CollapsePanelHeaderHeight(), 20);
        QCOMPARE(panel->height(), 200);
    }

    void stepCounts_data()
    {
        QTest::addColumn<int>("expandSteps");
        QTest::addColumn<int>("distance");
        QTest::addColumn<int>("steps");
        QTest::newRow("no distance") << -1 << 0 << 5;
        QTest::newRow("150 pixels") << -1 << 150 << 10;
        QTest::newRow("299 pixels") << -1 << 299 << 15;
        QTest::newRow("300 pixels") << -1 << 300 << 15;
        QTest::newRow("far") << -1 << 5000 << 15;
        QTest::newRow("given steps") << 7 << 150 << 7;
        QTest::newRow("200 steps capped at 100") << 200 << 150 << 100;
    }
    void stepCounts()
    {
        QFETCH(int, expandSteps);
        QFETCH(int, distance);
        QFETCH(int, steps);
        QCOMPARE(TCollapsePanel::StepsFor(expandSteps, distance), steps);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<bool>("collapsed");
        QTest::addColumn<bool>("heightKept");
        QTest::newRow("no child controls: state set, height kept")
            << u"empty"_s << QStringList { u"before collapse"_s } << true << true;
        QTest::newRow("aligned to the client area: nothing")
            << u"client"_s << QStringList {} << false << true;
        QTest::newRow("aligned left: nothing") << u"left"_s << QStringList {} << false << true;
        QTest::newRow("a child aligned to the client area: stays expanded")
            << u"client child"_s << QStringList { u"before collapse"_s } << false << true;
        QTest::newRow("plain-panel mode: ignored") << u"plain"_s << QStringList {} << false << true;
    }
    void refusals()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, events);
        QFETCH(bool, collapsed);
        QFETCH(bool, heightKept);
        TCollapsePanel panel;
        panel.resize(200, 120);
        if (setup != u"empty"_s)
            (new QWidget(&panel))->setGeometry(10, 30, 50, 50);
        if (setup == u"client"_s)
            panel.SetAlign(TAlign::alClient);
        if (setup == u"left"_s)
            panel.SetAlign(TAlign::alLeft);
        if (setup == u"client child"_s)
            TCollapsePanel::SetChildAlign(panel.findChild<QWidget *>(), TAlign::alClient);
        if (setup == u"plain"_s)
            panel.SetAsPanel(true);
        const int height = panel.height();
        TEvents log;
        log.attach(panel);
        panel.SetCollapse(true);
        QCOMPARE(log.log, events);
        QCOMPARE(panel.Collapse(), collapsed);
        QCOMPARE(panel.height() == height, heightKept);
        QVERIFY(!panel.Sizeing());
    }

    void plainPanelModeExpandsACollapsedPanel()
    {
        auto panel = newPanel();
        panel->SetExpandImmediately(false);
        QCOMPARE(panel->height(), 30);
        panel->SetAsPanel(true);
        QVERIFY(panel->Expand());
        // No header; the bottom space of plain-panel mode is the outer bevel's -2, and one pixel more.
        QTRY_COMPARE_WITH_TIMEOUT(panel->height(), 189 - 2 + 1, 5000);
    }

    void changesAtOnce_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("no steps") << u"steps 0"_s;
        QTest::newRow("expand immediately") << u"immediately"_s;
        QTest::newRow("while loading") << u"loading"_s;
        QTest::newRow("animation disabled") << u"disabled"_s;
        QTest::newRow("animation not allowed") << u"not allowed"_s;
    }
    void changesAtOnce()
    {
        QFETCH(QString, way);
        auto panel = newPanel();
        QCOMPARE(panel->height(), 200);
        TEvents log;
        log.attach(*panel);
        if (way == u"steps 0"_s)
            panel->SetExpandSteps(0);
        if (way == u"loading"_s)
            panel->BeginLoading();
        if (way == u"disabled"_s)
            SetAnimationEnabled(false);
        if (way == u"not allowed"_s)
            SetAnimationAllowed(false);
        if (way == u"immediately"_s)
            panel->SetExpandImmediately(false);
        else
            panel->SetCollapse(true);
        QCOMPARE(panel->height(), 30);
        QVERIFY(!panel->Sizeing());
        QCOMPARE(TTriggerObject::RunCount(panel.get()), 0);
        // While loading the after-event waits for the end of loading.
        QStringList expected { u"before collapse"_s };
        if (way != u"loading"_s)
            expected.append(u"after collapse"_s);
        QCOMPARE(log.log, expected);
        QCOMPARE(panel->ExpandSteps(), way == u"steps 0"_s ? 0 : -1);
    }

    void animatedCollapseAndExpand()
    {
        auto panel = newPanel();
        TEvents log;
        log.attach(*panel);
        panel->SetCollapse(true);
        QVERIFY(panel->Sizeing());
        QCOMPARE(panel->ExpandSingle(), 1.0f);
        QCOMPARE(log.log, QStringList { u"before collapse"_s });
        // 12 steps of 15 ms; the bound allows for a busy machine.
        QTRY_COMPARE_WITH_TIMEOUT(panel->Sizeing(), false, 5000);
        QCOMPARE(panel->height(), 30);
        QCOMPARE(panel->ExpandSingle(), 0.0f);
        QCOMPARE(log.log, QStringList({ u"before collapse"_s, u"after collapse"_s }));
        // The children lie below the visible area now.
        QVERIFY(panel->AdjustClientRect().top() >= 5000);
        panel->SetCollapse(false);
        QVERIFY(panel->AdjustClientRect().top() < 5000);
        QTRY_COMPARE_WITH_TIMEOUT(panel->height(), 200, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(log.log.size(), 4, 5000);
        QCOMPARE(log.log.last(), u"after expand"_s);
    }

    void twoPanelsAnimateAtOnce()
    {
        auto a = newPanel(nullptr, 189);
        auto b = newPanel(nullptr, 289);
        a->SetCollapse(true);
        b->SetCollapse(true);
        QCOMPARE(TriggerThread()->RunCount(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(!a->Sizeing() && !b->Sizeing(), 5000);
        QCOMPARE(a->height(), 30);
        QCOMPARE(b->height(), 30);
        a->SetCollapse(false);
        b->SetCollapse(false);
        QTRY_VERIFY_WITH_TIMEOUT(!a->Sizeing() && !b->Sizeing(), 5000);
        QCOMPARE(a->height(), 200);
        QCOMPARE(b->height(), 300);
    }

    void reversingDuringARun()
    {
        auto panel = newPanel(nullptr, 489);
        TEvents log;
        log.attach(*panel);
        panel->SetCollapse(true);
        QTRY_VERIFY_WITH_TIMEOUT(panel->height() < 400, 5000);
        panel->SetCollapse(false);
        // The earlier run ended with its own direction's after-event; the new one runs on.
        QCOMPARE(log.log, QStringList({ u"before collapse"_s, u"before expand"_s, u"after collapse"_s }));
        QVERIFY(panel->Sizeing());
        QTRY_COMPARE_WITH_TIMEOUT(panel->Sizeing(), false, 5000);
        QCOMPARE(panel->height(), 500);
        QCOMPARE(log.log.last(), u"after expand"_s);
    }

    void destroyingAPanelWhileItAnimates()
    {
        auto panel = newPanel();
        panel->setObjectName(u"Destroyed"_s);
        panel->SetAutoSave(true);
        const QString key = panel->IniPfad();
        QString storedAtAfterEvent;
        panel->OnAfterCollapse = [&](QObject *) { storedAtAfterEvent = storedValue(key); };
        panel->SetCollapse(true);
        QTRY_VERIFY_WITH_TIMEOUT(panel->height() < 200, 5000);
        panel.reset();
        QCOMPARE(storedAtAfterEvent, u"missing"_s);
        QCOMPARE(storedValue(key), u"1"_s);
        QCOMPARE(TriggerThread()->RunCount(), 0);
    }

    void expandingCollapsesTheSiblings()
    {
        QWidget parent;
        auto *a = newPanel(&parent).release();
        auto *b = newPanel(&parent).release();
        auto *c = newPanel(&parent).release();
        for (TCollapsePanel *p : { a, b, c })
            p->SetExpandSteps(0);
        c->SetCollapseOtherPanels(true); // collapses a and b at once
        QVERIFY(a->Collapse() && b->Collapse() && c->Expand());
        a->SetCollapseOtherPanels(true);
        c->SetCollapse(true);
        b->SetCollapse(false); // b has the setting off: nothing else changes
        QVERIFY(a->Collapse() && b->Expand() && c->Collapse());
        a->SetCollapse(false);
        QVERIFY(a->Expand() && b->Collapse() && c->Collapse());
    }

    void clicks_data()
    {
        QTest::addColumn<bool>("collapsedBefore");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("a collapsed panel expands and scrolls into view") << true << true;
        QTest::newRow("an expanded panel collapses without scrolling") << false << false;
    }
    void clicks()
    {
        QFETCH(bool, collapsedBefore);
        QFETCH(bool, scrolls);
        QScrollArea area;
        area.resize(250, 150);
        auto *content = new QWidget;
        auto *layout = new QVBoxLayout(content);
        auto *spacer = new QWidget;
        spacer->setFixedHeight(100);
        layout->addWidget(spacer);
        auto *panel = newPanel(content, 389).release();
        layout->addWidget(panel);
        layout->addStretch();
        area.setWidget(content);
        area.setWidgetResizable(true);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        panel->SetExpandImmediately(!collapsedBefore);
        QCOMPARE(panel->Collapse(), collapsedBefore);
        const int scroll = area.verticalScrollBar()->value();
        QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(50, 10));
        QCOMPARE(panel->Collapse(), !collapsedBefore);
        QTRY_COMPARE_WITH_TIMEOUT(panel->Sizeing(), false, 5000);
        QCOMPARE(panel->height(), collapsedBefore ? 400 : 30);
        QCoreApplication::processEvents();
        QCOMPARE(area.verticalScrollBar()->value() != scroll, scrolls);
        QVERIFY(!panel->AutoScrollInView());
    }

    void aDoubleClickTogglesOnce_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("changes");
        QTest::newRow("press, release, double-click, release on the widget")
            << u"double-click on the widget"_s << 1;
        QTest::newRow("a double-click as the window system reports it: two presses")
            << u"double-click on the window"_s << 1;
        QTest::newRow("two clicks apart are two clicks") << u"two clicks"_s << 2;
    }
    void aDoubleClickTogglesOnce()
    {
        QFETCH(QString, input);
        QFETCH(int, changes);
        QWidget window;
        window.resize(260, 260);
        auto panel = newPanel(&window);
        panel->SetExpandSteps(0);
        panel->move(10, 10);
        TEvents events;
        events.attach(*panel);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint onHeader(50, 10);
        if (input == u"double-click on the widget"_s) {
            QTest::mousePress(panel.get(), Qt::LeftButton, {}, onHeader);
            QTest::mouseRelease(panel.get(), Qt::LeftButton, {}, onHeader);
            QTest::mouseDClick(panel.get(), Qt::LeftButton, {}, onHeader);
            QTest::mouseRelease(panel.get(), Qt::LeftButton, {}, onHeader);
        } else if (input == u"double-click on the window"_s) {
            QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, panel->mapTo(&window, onHeader));
        } else {
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, panel->mapTo(&window, onHeader));
            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, panel->mapTo(&window, onHeader));
        }
        const QStringList befores = events.log.filter(u"before"_s);
        QCOMPARE(befores.size(), changes);
        QCOMPARE(panel->Collapse(), changes % 2 == 1);
    }

    void aClickOnAChildDoesNotToggle()
    {
        auto panel = newPanel();
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        QTest::mouseClick(panel->findChild<QWidget *>(), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(panel->Expand());
    }

    void focusCollapsesAndExpands()
    {
        QWidget form;
        auto *layout = new QVBoxLayout(&form);
        auto *outside = new QLineEdit;
        layout->addWidget(outside);
        auto panel = newPanel(&form);
        auto *edit = new QLineEdit(panel.get());
        edit->setGeometry(10, 30, 100, 20);
        layout->addWidget(panel.get());
        panel->SetExpandSteps(0);
        panel->SetAutoCollapseOnLostFocus(true);
        QStringList log;
        panel->OnEnter = [&](QObject *) { log.append(u"enter"_s); };
        panel->OnExit = [&](QObject *) { log.append(u"exit"_s); };
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        outside->setFocus();
        QTRY_VERIFY(outside->hasFocus());
        panel->SetCollapse(true);
        edit->setFocus();
        QTRY_VERIFY(panel->Expand());
        outside->setFocus();
        QTRY_VERIFY(panel->Collapse());
        QCOMPARE(log, QStringList({ u"enter"_s, u"exit"_s }));
        panel.reset();
    }

    void captionDoubleAmpersand_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("doubled");
        QTest::newRow("one ampersand between two letters") << u"A&B"_s << u"A&&B"_s;
        QTest::newRow("already doubled: unchanged") << u"A&&B &C"_s << u"A&&B &C"_s;
        QTest::newRow("none") << u"Filter"_s << u"Filter"_s;
    }
    void captionDoubleAmpersand()
    {
        QFETCH(QString, caption);
        QFETCH(QString, doubled);
        TCollapsePanel panel;
        panel.SetCaption(caption);
        QCOMPARE(panel.CaptionDoubleAmpersand(), doubled);
    }

    void keyOfTheSavedState_data()
    {
        QTest::addColumn<QString>("autoSaveByName");
        QTest::addColumn<QString>("key");
        QTest::newRow("panel on a form")
            << QString() << u"Software\\Zelk Software\\Checker\\CollapsePanels\\TFormMain\\CollapsePanel1"_s;
        QTest::newRow("fixed name with blanks around it")
            << u"  Filter "_s << u"Software\\Zelk Software\\Checker\\CollapsePanels\\Filter"_s;
    }
    void keyOfTheSavedState()
    {
        QFETCH(QString, autoSaveByName);
        QFETCH(QString, key);
        const QString title = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(u"Checker"_s);
        TFormMain form;
        TCollapsePanel panel(&form);
        panel.setObjectName(u"CollapsePanel1"_s);
        panel.SetAutoSaveByName(autoSaveByName);
        QCOMPARE(panel.IniPfad(), key);
        QCoreApplication::setApplicationName(title);
    }

    void theKeyIsKeptUntilTheNameChanges()
    {
        TFormMain form;
        TCollapsePanel panel(&form);
        panel.setObjectName(u"P"_s);
        panel.SetAutoSaveByName(u"One"_s);
        const QString first = panel.IniPfad();
        panel.setObjectName(u"Q"_s);
        panel.SetAutoSaveByName(u"One"_s);
        QCOMPARE(panel.IniPfad(), first);
        panel.SetAutoSaveByName(u"Two"_s);
        QVERIFY(panel.IniPfad().endsWith(u"\\Two"_s));
    }

    void loadingTheState_data()
    {
        QTest::addColumn<QString>("stored"); // empty: no value
        QTest::addColumn<bool>("collapsedBefore");
        QTest::addColumn<bool>("collapsedAfter");
        QTest::newRow("missing value keeps expanded") << QString() << false << false;
        QTest::newRow("missing value keeps collapsed") << QString() << true << true;
        QTest::newRow("1 collapses") << u"1"_s << false << true;
        QTest::newRow("0 expands") << u"0"_s << true << false;
        QTest::newRow("not a number keeps the state") << u"ja"_s << true << true;
    }
    void loadingTheState()
    {
        QFETCH(QString, stored);
        QFETCH(bool, collapsedBefore);
        QFETCH(bool, collapsedAfter);
        auto panel = newPanel();
        panel->SetAutoSaveByName(u"LoadTest"_s);
        panel->SetExpandImmediately(!collapsedBefore);
        TRegistry reg;
        reg.OpenKey(u'\\' + panel->IniPfad(), true);
        reg.DeleteValue(QString());
        if (!stored.isEmpty())
            reg.WriteString(QString(), stored);
        panel->SetExpandSteps(0);
        panel->LoadEinstellungen();
        QCOMPARE(panel->Collapse(), collapsedAfter);
        panel->WriteEinstellungen();
        QCOMPARE(storedValue(panel->IniPfad()), collapsedAfter ? u"1"_s : u"0"_s);
    }

    // Reading the saved state writes nothing: a missing file stays missing, a present one keeps its
    // bytes and its time.
    void readingTheStateWritesNothing_data()
    {
        QTest::addColumn<bool>("fileBefore");
        QTest::addColumn<bool>("throughLoaded");
        QTest::newRow("no file, read directly") << false << false;
        QTest::newRow("no file, read when loaded") << false << true;
        QTest::newRow("file without the key, read directly") << true << false;
        QTest::newRow("file without the key, read when loaded") << true << true;
    }
    void readingTheStateWritesNothing()
    {
        QFETCH(bool, fileBefore);
        QFETCH(bool, throughLoaded);
        QTemporaryDir folder;
        SetSettingsFolder(folder.path());
        const auto restore = qScopeGuard([this] { SetSettingsFolder(m_settings.path()); });
        const QString fileName = SettingsFileName();
        if (fileBefore) {
            TRegistry reg;
            reg.OpenKey(u"\\Software\\Other"_s, true);
            reg.WriteString(u"Wert"_s, u"1"_s);
        }
        QCOMPARE(QFileInfo::exists(fileName), fileBefore);
        const QByteArray bytes = fileBytes(fileName);
        const QDateTime modified = QFileInfo(fileName).lastModified();

        auto panel = std::make_unique<TCollapsePanel>();
        panel->BeginLoading();
        panel->SetAutoSaveByName(u"NeverSaved"_s);
        panel->SetAutoLoad(true);
        (new QWidget(panel.get()))->setGeometry(10, 30, 10, 70);
        if (throughLoaded)
            panel->Loaded();
        else
            panel->LoadEinstellungen();
        QVERIFY(!panel->Collapse());
        panel.reset();

        QCOMPARE(QFileInfo::exists(fileName), fileBefore);
        QCOMPARE(fileBytes(fileName), bytes);
        QCOMPARE(QFileInfo(fileName).lastModified(), modified);
    }

    // A handler that raises while an expanding panel lays its children out again: the panel is not
    // left sizing (and so painting as if it moved, and keeping its height limits off) for ever.
    void aThrowDuringTheChangeLeavesNoSizing_data()
    {
        QTest::addColumn<bool>("animated");
        QTest::newRow("animated") << true;
        QTest::newRow("at once") << false;
    }
    void aThrowDuringTheChangeLeavesNoSizing()
    {
        QFETCH(bool, animated);
        SetAnimationEnabled(animated);
        auto panel = newPanel();
        auto *child = new TFailingChild(panel.get());
        TCollapsePanel::SetChildAlign(child, TAlign::alTop);
        panel->SetExpandImmediately(false);
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        child->armed = true;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, panel->SetExpand(true));
        child->armed = false;
        QVERIFY(!panel->Sizeing());
        QCOMPARE(TriggerThread()->RunCount(), 0);
    }

    void loadedRestoresTheSavedState()
    {
        auto panel = std::make_unique<TCollapsePanel>();
        panel->BeginLoading();
        panel->SetAutoSaveByName(u"Loaded"_s);
        panel->SetAutoLoad(true);
        panel->SetExpandSteps(0);
        (new QWidget(panel.get()))->setGeometry(10, 30, 10, 70);
        TRegistry reg;
        reg.OpenKey(u'\\' + panel->IniPfad(), true);
        reg.WriteString(QString(), u"1"_s);
        panel->Loaded();
        QVERIFY(panel->Collapse());
        QCOMPARE(panel->height(), 30);
    }

    void constrainedResizeOfAClientPanel()
    {
        auto panel = newPanel();
        panel->SetAlign(TAlign::alClient);
        int minW = 0, minH = 10, maxW = 0, maxH = 0;
        panel->ConstrainedResize(minW, minH, maxW, maxH);
        QCOMPARE(minH, 30 + 80);
        panel->SetAutoConstraint(false);
        minH = 10;
        panel->ConstrainedResize(minW, minH, maxW, maxH);
        QCOMPARE(minH, 10);
    }

    void fontContrast_data()
    {
        QTest::addColumn<TColor>("font");
        QTest::addColumn<TColor>("base");
        QTest::addColumn<float>("minimum");
        QTest::addColumn<TColor>("expected");
        QTest::newRow("enough contrast: unchanged")
            << TColor(clWhite) << TColor(clBlack) << 0.5f << TColor(clWhite);
        QTest::newRow("dark on dark becomes light")
            << TColor(0x202020) << TColor(clBlack) << 0.5f << BlendColors(clWhite, clBlack, 0.5);
        QTest::newRow("light on light becomes dark")
            << TColor(0xF0F0F0) << TColor(clWhite) << 0.5f << BlendColors(clBlack, clWhite, 0.5);
        // Neither its contrast colour nor that of its complement or of black is far enough from the
        // mid grey: the contrast colour of white is the last resort.
        QTest::newRow("mid grey falls through to the contrast of white")
            << TColor(0x808080) << TColor(0x808080) << 0.6f << ContrastColor(clWhite, 0.6, 0.66f);
        QTest::newRow("light on light past its contrast colour takes that of black")
            << TColor(0xF0F0F0) << TColor(0xF0F0F0) << 0.9f << ContrastColor(clBlack, 0.9, 0.66f);
    }
    void fontContrast()
    {
        QFETCH(TColor, font);
        QFETCH(TColor, base);
        QFETCH(float, minimum);
        QFETCH(TColor, expected);
        TCollapsePanel panel;
        panel.SetCanvasFontColor(font);
        panel.MakeFontKontrast(base, minimum);
        QCOMPARE(panel.CanvasFontColor(), expected);
    }

    void visibleWhenInsideTheMonitor_data()
    {
        QTest::addColumn<int>("top");
        QTest::addColumn<bool>("visible");
        QTest::newRow("near the top of the screen") << 10 << true;
        QTest::newRow("reaching below the screen") << 100000 << false;
        QTest::newRow("starting above the screen") << -150 << false;
    }
    void visibleWhenInsideTheMonitor()
    {
        QFETCH(int, top);
        QFETCH(bool, visible);
        auto panel = newPanel();
        panel->move(0, top);
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        // The window's frame may move the client origin by a few pixels.
        QTRY_VERIFY(std::abs(panel->mapToGlobal(QPoint(0, 0)).y() - top) < 50);
        QCOMPARE(panel->IsVisible(true), visible);
    }

    void aPanelOutlivingItsUnitLetsGoOfTheHolder()
    {
        // The panel's window is freed after the units finished, and paints meanwhile.
        auto panel = newPanel();
        panel->SetCaption(u"Zahlungen"_s);
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        m_units.reset();
        const QImage image = panel->grab().toImage();
        QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2), ToQColor(panel->Color()));
        panel->ReExpand();
        QCOMPARE(panel->height(), panel->HeightExpanded());
        panel.reset();
        static const TUnit *const units[]
            = { &XGraphicUnit, &Zelk_RegistryUnit, &zc_ScaleUnit, &zc_ThreadUnit, &CollapsePanelUnit };
        m_units.emplace(units);
    }

    void childrenEndAtTheFrameWhileCollapsing_data()
    {
        QTest::addColumn<bool>("aligned");
        QTest::addColumn<bool>("collapsed");
        QTest::addColumn<int>("height"); // the height reached during the run
        QTest::addColumn<bool>("visible"); // some of the child still shows
        QTest::newRow("a child without alignment, half-way up") << false << false << 60 << true;
        QTest::newRow("a top-aligned child, half-way up") << true << false << 60 << true;
        QTest::newRow("a child without alignment, nearly up") << false << false << 45 << true;
        QTest::newRow("a child without alignment, all but up") << false << false << 35 << false;
        QTest::newRow("a child without alignment, collapsed") << false << true << 30 << false;
    }
    void childrenEndAtTheFrameWhileCollapsing()
    {
        QFETCH(bool, aligned);
        QFETCH(bool, collapsed);
        QFETCH(int, height);
        QFETCH(bool, visible);
        const QColor marker(255, 0, 255);
        QWidget window;
        window.resize(240, 260);
        auto *panel = new TCollapsePanel(&window);
        panel->SetExpandSteps(0);
        panel->setGeometry(0, 0, 200, 50);
        auto *child = new QWidget(panel);
        child->setAutoFillBackground(true);
        QPalette palette = child->palette();
        palette.setColor(QPalette::Window, marker);
        child->setPalette(palette);
        child->setGeometry(10, 30, 150, 100);
        if (aligned)
            TCollapsePanel::SetChildAlign(child, TAlign::alTop);
        panel->ReExpand();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (collapsed) {
            panel->SetCollapse(true);
        } else {
            // A collapsing run caught at one of its steps.
            panel->SetSizeing(true);
            panel->SetExpandProgress(0.5f);
            panel->SetHeight(height);
        }
        QCOMPARE(panel->height(), height);
        // The frame's inner bottom edge: below it, nothing of the child.
        const QRect client = CollapseHolder()->CollapsStyleObj()->GetClientRect(panel);
        const QImage image = panel->grab().toImage();
        int shown = 0;
        int below = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) != marker)
                    continue;
                ++shown;
                below += y >= client.y() + client.height();
            }
        }
        QCOMPARE(below, 0);
        QCOMPARE(shown > 0, visible);
        // Expanded again (the run's end), the child shows whole.
        panel->SetSizeing(false);
        panel->SetExpandImmediately(true);
        panel->ReExpand();
        QCOMPARE(child->mask(), QRegion());
        QCOMPARE(child->visibleRegion(), QRegion(child->rect()));
    }

    void holderKnowsItsPanels()
    {
        const qsizetype before = CollapseHolder()->Panels().size();
        {
            TCollapsePanel a, b;
            QCOMPARE(CollapseHolder()->Panels().size(), before + 2);
            QCOMPARE(CollapseHolder()->Panels().last(), &b);
        }
        QCOMPARE(CollapseHolder()->Panels().size(), before);
    }
};

QTEST_MAIN(TestCollapsePanel)
#include "tst_collapsepanel.moc"
