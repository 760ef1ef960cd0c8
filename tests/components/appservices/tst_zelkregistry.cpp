// Registry options: the application key follows the title unless one of its own is set; a control's
// path names its frames and form, outermost first.

#include "components/appservices/zelk_registry.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QTest>
#include <QWidget>

using namespace Qt::StringLiterals;

class TOptionsForm : public QWidget
{
    Q_OBJECT
    Q_CLASSINFO("ZelkForm", "true")
};

// A panel class of the program: even without a parent it is no form.
class TPanel : public QWidget
{
    Q_OBJECT
};

class TAddressFrame : public QFrame
{
    Q_OBJECT
    Q_CLASSINFO("ZelkFrame", "true")
};

class TestZelkRegistry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void applicationKeyFollowsTheTitle()
    {
        const TUnitRun run { &Zelk_RegistryUnit };
        QVERIFY(!TZelkRegistryOptions::HasApplicationKey());
        // Captured when the unit started: the application's name by then.
        QCOMPARE(TZelkRegistryOptions::StoredApplicationKey(), QCoreApplication::applicationName());
        QCoreApplication::setApplicationName(u"Checker"_s);
        QCOMPARE(TZelkRegistryOptions::ApplicationKey(), u"Checker"_s);
        QCoreApplication::setApplicationName(u"Renamed"_s);
        QCOMPARE(TZelkRegistryOptions::ApplicationKey(), u"Renamed"_s);
        TZelkRegistryOptions::SetApplicationKey(u"Own key"_s);
        QVERIFY(TZelkRegistryOptions::HasApplicationKey());
        QCOMPARE(TZelkRegistryOptions::ApplicationKey(), u"Own key"_s);
        TZelkRegistryOptions::SetApplicationKey(QString());
        QCOMPARE(TZelkRegistryOptions::ApplicationKey(), u"Renamed"_s);
    }

    void controlPath_data()
    {
        QTest::addColumn<QString>("placement");
        QTest::addColumn<QString>("expected");
        QTest::newRow("directly on a form") << u"form"_s << u"TOptionsForm\\"_s;
        QTest::newRow("inside a frame on a form")
            << u"frame"_s << u"TOptionsForm\\TAddressFrame(Address)\\"_s;
        QTest::newRow("inside a panel inside a frame")
            << u"panel"_s << u"TOptionsForm\\TAddressFrame(Address)\\"_s;
        QTest::newRow("panels without a form above") << u"loose"_s << QString();
        QTest::newRow("no parent at all") << u"none"_s << QString();
        QTest::newRow("inside a panel of an own class without parent") << u"own panel"_s << QString();
        QTest::newRow("inside a frame without parent") << u"loose frame"_s << u"TAddressFrame(Loose)\\"_s;
        QTest::newRow("on a dialog") << u"dialog"_s << u"QDialog\\"_s;
    }

    void controlPath()
    {
        QFETCH(QString, placement);
        QFETCH(QString, expected);
        TOptionsForm form;
        auto *frame = new TAddressFrame;
        frame->setObjectName(u"Address"_s);
        frame->setParent(&form);
        auto *panel = new QFrame(frame);
        QFrame loose; // a panel not yet placed on a form
        auto *loosePanel = new QFrame(&loose);
        TPanel ownPanel;
        TAddressFrame looseFrame;
        looseFrame.setObjectName(u"Loose"_s);
        QDialog dialog;
        QLabel label;
        if (placement == u"own panel"_s)
            label.setParent(&ownPanel);
        else if (placement == u"loose frame"_s)
            label.setParent(&looseFrame);
        else if (placement == u"dialog"_s)
            label.setParent(&dialog);
        else if (placement == u"form"_s)
            label.setParent(&form);
        else if (placement == u"frame"_s)
            label.setParent(frame);
        else if (placement == u"panel"_s)
            label.setParent(panel);
        else if (placement == u"loose"_s)
            label.setParent(loosePanel);
        const QString path = TZelkRegistryOptions::ControlPath(&label);
        label.setParent(nullptr);
        QCOMPARE(path, expected);
    }
};

QTEST_MAIN(TestZelkRegistry)

#include "tst_zelkregistry.moc"
