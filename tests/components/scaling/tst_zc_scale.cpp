// Scalers: MulDiv's rounding, effective percentages with halves to even, the operations on a main
// scaler of a given resolution, the German guards, the stored percentage of a component scaler, and
// the scaling of a small form.

#include "components/scaling/zc_scale.h"
#include "platform/settingsstore.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

class TPanelScaler : public Tzc_ScalerWork
{
public:
    TPanelScaler()
        : Tzc_ScalerWork(false)
    {
    }
    QString GetRegistryIdent() const override { return u"{5DBF3177-2536-4093-BDDF-CAB96415D72E}"_s; }
};

// A component scaler whose percentage is set directly.
class TFixedScaler : public Tzc_ScalerWork
{
public:
    explicit TFixedScaler(int percent)
        : Tzc_ScalerWork(false)
    {
        SetScalePercent(percent);
    }
};

// Puts a main scaler of the given resolution in place for one test.
struct TMainAt
{
    explicit TMainAt(int dpi)
        : old(ReplaceMainScaler(std::make_unique<Tzc_ScalerWork>(true, dpi)))
    {
    }
    ~TMainAt() { ReplaceMainScaler(std::move(old)); }
    std::unique_ptr<Tzc_Scaler> old;
};

const QString ScalingKey = u"\\Software\\Zelk Software\\Scaling"_s;

} // namespace

class TestScale : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SetSettingsFolder(m_dir.path());
    }

    void mulDiv_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("c");
        QTest::addColumn<int>("expected");
        QTest::newRow("exact") << 10 << 150 << 100 << 15;
        QTest::newRow("8.75 rounds up") << 7 << 125 << 100 << 9;
        QTest::newRow("half rounds away from zero") << 1 << 150 << 100 << 2;
        QTest::newRow("negative half rounds away from zero") << -1 << 150 << 100 << -2;
        QTest::newRow("negative divisor") << 1 << 150 << -100 << -2;
        QTest::newRow("below half rounds down") << 3 << 1 << 7 << 0;
        QTest::newRow("product beyond 32 bits") << 2000000000 << 3 << 4 << 1500000000;
        QTest::newRow("result beyond 32 bits") << 2000000000 << 3 << 1 << -1;
        QTest::newRow("division by zero") << 5 << 5 << 0 << -1;
        QTest::newRow("dpi 120 to percent") << 120 << 100 << 96 << 125;
        QTest::newRow("dpi 168 to percent") << 168 << 100 << 96 << 175;
    }

    void mulDiv()
    {
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(int, c);
        QFETCH(int, expected);
        QCOMPARE(MulDiv(a, b, c), expected);
    }

    void effectivePercent_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("own");
        QTest::addColumn<int>("effective");
        QTest::newRow("137.5 rounds to the even 138") << 120 << 110 << 138;
        QTest::newRow("187.5 rounds to the even 188") << 144 << 125 << 188;
        QTest::newRow("112.5 rounds to the even 112") << 120 << 90 << 112;
        QTest::newRow("unscaled screen") << 96 << 130 << 130;
        QTest::newRow("unscaled everything") << 96 << 100 << 100;
    }

    void effectivePercent()
    {
        QFETCH(int, dpi);
        QFETCH(int, own);
        QFETCH(int, effective);
        const TMainAt main(dpi);
        TFixedScaler scaler(own);
        QCOMPARE(scaler.ScalePercentActual(), effective);
        QCOMPARE(scaler.Scaled(), effective != 100);
        QCOMPARE(scaler.ScaleValueNative(100), own);
        QCOMPARE(scaler.GetScaler(), MainScaler());
    }

    void mainScalerOperations_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("expected");
        QTest::newRow("96 dpi leaves values") << 96 << u"value 7"_s << 7;
        QTest::newRow("125 percent: 8.75 gives 9") << 120 << u"value 7"_s << 9;
        QTest::newRow("reverse of 150 at 150 percent") << 144 << u"reverse 150"_s << 100;
        QTest::newRow("partial half at 150 percent") << 144 << u"partial 0.5"_s << 125;
        QTest::newRow("partial factor clamped to 2") << 144 << u"partial 5"_s << 200;
        QTest::newRow("partial factor clamped to 0") << 144 << u"partial -1"_s << 100;
        QTest::newRow("partial at 100 percent") << 96 << u"partial 2"_s << 100;
        QTest::newRow("192 dpi doubles") << 192 << u"value 10"_s << 20;
    }

    void mainScalerOperations()
    {
        QFETCH(int, dpi);
        QFETCH(QString, operation);
        QFETCH(int, expected);
        Tzc_ScalerWork main(true, dpi);
        const QStringList parts = operation.split(u' ');
        int result = 0;
        if (parts[0] == u"value"_s)
            result = main.ScaleValue(parts[1].toInt());
        else if (parts[0] == u"reverse"_s)
            result = main.ScaleValueReverse(parts[1].toInt());
        else
            result = main.ScaleValuePartial(100, parts[1].toDouble());
        QCOMPARE(result, expected);
    }

    void scaleRect()
    {
        Tzc_ScalerWork main150(true, 144);
        TRect r { 10, 10, 30, 20 };
        QVERIFY(main150.ScaleRect(r));
        QCOMPARE(r, (TRect { 15, 15, 45, 30 }));
        Tzc_ScalerWork main100(true, 96);
        TRect same { 10, 10, 30, 20 };
        QVERIFY(!main100.ScaleRect(same));
        QCOMPARE(same, (TRect { 10, 10, 30, 20 }));
    }

    void virtualScale_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QList<int>>("zooms");
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("isVirtual");
        QTest::newRow("zoom on a 96-dpi screen") << 96 << QList<int> { 120 } << 120 << true;
        QTest::newRow("a second zoom changes nothing") << 96 << QList<int> { 120, 140 } << 120 << true;
        QTest::newRow("below the range gives 66") << 96 << QList<int> { 40 } << 66 << true;
        QTest::newRow("above the range gives 150") << 96 << QList<int> { 400 } << 150 << true;
        QTest::newRow("100 is no zoom") << 96 << QList<int> { 100 } << 100 << false;
        QTest::newRow("a 144-dpi screen keeps its own") << 144 << QList<int> { 120 } << 150 << false;
    }

    void virtualScale()
    {
        QFETCH(int, dpi);
        QFETCH(QList<int>, zooms);
        QFETCH(int, percent);
        QFETCH(bool, isVirtual);
        Tzc_ScalerWork main(true, dpi);
        for (int zoom : zooms)
            main.SetVirtualScale(zoom);
        QCOMPARE(main.ScalePercent(), percent);
        QCOMPARE(main.IsVirtual(), isVirtual);
        if (isVirtual && percent == 120)
            QCOMPARE(main.ScaleValue(10), 12);
    }

    void guards()
    {
        Tzc_ScalerWork main(true, 96);
        try {
            main.SetScalePercentChecked(120);
            QFAIL("the main scaler took a percentage");
        } catch (const Exception &e) {
            QCOMPARE(e.message(), u"ScalePercent darf nur in Ableitungen gesetzt werden"_s);
        }
        TFixedScaler component(100);
        try {
            component.SetVirtualScale(120);
            QFAIL("a component scaler took a zoom");
        } catch (const Exception &e) {
            QCOMPARE(
                e.message(), u"Tzc_Scaler.IsVirtual darf ausschließlich im HauptScaler gesetzt werden."_s);
        }
        component.SetScalePercentChecked(130);
        QCOMPARE(component.ScalePercent(), 130);
        QVERIFY(component.Modified());
    }

    void asText()
    {
        const TMainAt main(120);
        TFixedScaler scaler(110);
        const QChar narrow(0x202F);
        QCOMPARE(scaler.AsText(false), u"110"_s + narrow + u'%');
        QCOMPARE(scaler.AsText(true), u"110"_s + narrow + u"% (Effektiv 138"_s + narrow + u"%)"_s);
        TFixedScaler plain(100);
        const TMainAt unscaled(96);
        QCOMPARE(plain.AsText(true), u"100"_s + narrow + u'%');
    }

    void storedPercent_data()
    {
        QTest::addColumn<QString>("stored"); // empty: no value
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("afterwards");
        QTest::newRow("missing value is written as 100") << QString() << 100 << u"100"_s;
        QTest::newRow("1 is no percentage") << u"1"_s << 100 << u"100"_s;
        QTest::newRow("0 is no percentage") << u"0"_s << 100 << u"100"_s;
        QTest::newRow("not a number") << u"abc"_s << 100 << u"100"_s;
        QTest::newRow("stored 130") << u"130"_s << 130 << u"130"_s;
        QTest::newRow("no upper bound") << u"900"_s << 900 << u"900"_s;
    }

    void storedPercent()
    {
        QFETCH(QString, stored);
        QFETCH(int, percent);
        QFETCH(QString, afterwards);
        TRegistry reg;
        reg.DeleteKey(ScalingKey);
        const QString ident = u"{5DBF3177-2536-4093-BDDF-CAB96415D72E}"_s;
        if (!stored.isEmpty()) {
            QVERIFY(reg.OpenKey(ScalingKey, true));
            reg.WriteString(ident, stored);
        }
        const auto scaler = Tzc_ScalerWork::Create<TPanelScaler>();
        QCOMPARE(scaler->ScalePercent(), percent);
        QVERIFY(!scaler->Modified());
        QVERIFY(reg.OpenKey(ScalingKey, false));
        QCOMPARE(reg.ReadString(ident), afterwards);
        // The working class's own identifier is not touched.
        QVERIFY(!reg.ValueExists(u"{17DFC259-3EAB-48FB-9556-50F656EFDD8D}"_s));
    }

    void saveFailureNamesTheKey()
    {
        // A settings folder that is a file cannot be written.
        const QString file = m_dir.filePath(u"not-a-folder"_s);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        SetSettingsFolder(file);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u".*"_s));
        const auto scaler = Tzc_ScalerWork::Create<TPanelScaler>(); // the failing write is swallowed
        QCOMPARE(scaler->ScalePercent(), 100);
        try {
            scaler->SaveToRegistry();
            QFAIL("the write did not fail");
        } catch (const ERegistryException &e) {
            QVERIFY2(e.message().endsWith(u"\r\r in Registrierung Software\\Zelk Software\\Scaling\\"_s),
                qPrintable(e.message()));
        }
        SetSettingsFolder(m_dir.path());
    }

    void scaleClassesPassValueOn()
    {
        const TUnitRun run { &zc_ScaleUnit };
        TFixedScaler a(100);
        TFixedScaler b(110);
        ScaleClasses()->Add(&QLabel::staticMetaObject, &a);
        ScaleClasses()->Add(&QWidget::staticMetaObject, &b);
        QCOMPARE(ScaleClasses()->Find(&QLabel::staticMetaObject), &a);
        ScaleClasses()->SetScaleValue(100); // unchanged: nothing passed on
        QCOMPARE(b.ScalePercent(), 110);
        ScaleClasses()->SetScaleValue(125);
        QCOMPARE(a.ScalePercent(), 125);
        QCOMPARE(b.ScalePercent(), 125);
    }

    // The register does not own its scalers: a freed one leaves it, and a later value reaches only
    // the scalers that still exist.
    void aFreedScalerLeavesTheRegister()
    {
        const TUnitRun run { &zc_ScaleUnit };
        TFixedScaler kept(100);
        auto freed = std::make_unique<TFixedScaler>(110);
        ScaleClasses()->Add(&QLabel::staticMetaObject, freed.get());
        ScaleClasses()->Add(&QWidget::staticMetaObject, &kept);
        freed.reset();
        QCOMPARE(ScaleClasses()->Find(&QLabel::staticMetaObject), nullptr);
        QCOMPARE(ScaleClasses()->Find(&QWidget::staticMetaObject), &kept);
        ScaleClasses()->SetScaleValue(125);
        QCOMPARE(kept.ScalePercent(), 125);
    }

    void scaleForm()
    {
        QWidget form;
        form.resize(200, 100);
        auto *label = new QLabel(u"Name"_s, &form);
        label->setGeometry(10, 20, 40, 14);
        QFont font = label->font();
        font.setPixelSize(11);
        label->setFont(font);
        {
            const TMainAt main(96);
            QVERIFY(!MainScaler()->ScaleFormIfNotScaled(&form));
        }
        const TMainAt main(144);
        QVERIFY(MainScaler()->ScaleFormIfNotScaled(&form));
        QCOMPARE(form.size(), QSize(300, 150));
        QCOMPARE(label->geometry(), QRect(15, 30, 60, 21));
        QCOMPARE(label->font().pixelSize(), 17); // 16.5 away from zero
        // Marked as scaled: a second call leaves it.
        QVERIFY(!MainScaler()->ScaleFormIfNotScaled(&form));
        QCOMPARE(form.size(), QSize(300, 150));
    }

    void mainScalerFromTheScreen()
    {
        const TUnitRun run { &zc_ScaleUnit };
        const int dpi = Tzc_Scaler::ScreenPixelsPerInchY();
        QCOMPARE(MainScaler()->ScalePercent(), MulDiv(dpi, 100, 96));
        QCOMPARE(Tzc_Scaler::IsNativeScaled(), dpi != 96);
        IZelk_ScalerInterface *intf = nullptr;
        QCOMPARE(
            MainScaler()->QueryInterface(IZelk_ScalerInterface::IID, reinterpret_cast<void **>(&intf)), S_OK);
        QCOMPARE(intf->GetScaler(), MainScaler());
        intf->_Release();
    }
};

QTEST_MAIN(TestScale)

#include "tst_zc_scale.moc"
