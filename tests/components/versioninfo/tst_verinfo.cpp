// TVerInfo: the running executable's version through the component, the write rules of LibraryName
// and VerInfoType, attached labels, and the component stored with a window's layout.

#include "components/versioninfo/zc_verinfo.h"
#include "platform/formstream.h"
#include "platform/versionresource.h"
#include "tests/support/unitsmain.h"

#include <QFileInfo>
#include <QTest>

#include <memory>

namespace {

const QString sampleModule = QStringLiteral(PRAVIK_SAMPLE_MODULE); // carries FileVersion 2.5.0.7
const QString expectedVersion = QStringLiteral(PRAVIK_EXPECTED_FILE_VERSION);

using TVerInfoPtr = std::unique_ptr<TVerInfo, TComponentFree>;

TVerInfoPtr newVerInfo(TComponent *owner = nullptr)
{
    return TVerInfoPtr(Create<TVerInfo>(owner));
}

class TTestLabel : public IVerInfoLabel
{
public:
    TVerInfo *link = nullptr;
    int kind = 0;
    QString format;
    QString itemName;
    QString caption = QStringLiteral("(untouched)");
    bool toldDestroyed = false;

    TVerInfo *LinkedVerInfo() const override { return link; }
    int ItemKind() const override { return kind; }
    QString FormatText() const override { return format; }
    QString ItemName() const override { return itemName; }
    void SetCaption(const QString &ACaption) override { caption = ACaption; }
    void VerInfoDestroyed(TVerInfo *AVerInfo) override
    {
        if (AVerInfo == link)
            link = nullptr;
        toldDestroyed = true;
    }
};

} // namespace

class tst_VerInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newComponentReportsTheExecutable();
    void libraryNameNeedsTheLibraryType();
    void namedModuleWinsOverTheType();
    void libraryTypeWithoutNameReadsOwnModule();
    void unreadableModuleIsSwallowed_data();
    void unreadableModuleIsSwallowed();
    void standardItemsIgnoreWrites();
    void itemByName();
    void labels_data();
    void labels();
    void labelsFollowWrites();
    void destructionReleasesLabels();
    void storedWithTheLayout_data();
    void storedWithTheLayout();
};

void tst_VerInfo::newComponentReportsTheExecutable()
{
    const TVerInfoPtr verInfo = newVerInfo();
    QCOMPARE(verInfo->FileVersion(), expectedVersion);
    QCOMPARE(verInfo->ProductVersion(), expectedVersion);
    QCOMPARE(verInfo->ProductName(), QStringLiteral("Pravik"));
    QCOMPARE(verInfo->CompanyName(), QStringLiteral("Zelk Software"));
    QCOMPARE(verInfo->OriginalFilename(), QFileInfo(ApplicationFileName()).fileName());
    QCOMPARE(verInfo->LibraryName(), QString());
    QCOMPARE(verInfo->VerInfoType(), TVerInfo::itApplicationVerInfo);
}

void tst_VerInfo::libraryNameNeedsTheLibraryType()
{
    const TVerInfoPtr verInfo = newVerInfo();
    verInfo->SetLibraryName(sampleModule);
    QCOMPARE(verInfo->LibraryName(), sampleModule);
    QCOMPARE(verInfo->FileVersion(), expectedVersion); // the reader stays on the executable
    verInfo->SetVerInfoType(TVerInfo::itLibraryVerInfo);
    QCOMPARE(verInfo->FileVersion(), QStringLiteral("2.5.0.7"));
    QCOMPARE(verInfo->Comments(), QStringLiteral("Sample & test <module>"));
}

void tst_VerInfo::namedModuleWinsOverTheType()
{
    const TVerInfoPtr verInfo = newVerInfo();
    verInfo->SetVerInfoType(TVerInfo::itLibraryVerInfo);
    verInfo->SetLibraryName(sampleModule);
    QCOMPARE(verInfo->FileVersion(), QStringLiteral("2.5.0.7"));
    verInfo->SetVerInfoType(TVerInfo::itApplicationVerInfo);
    QCOMPARE(verInfo->Reader().LibraryName(), sampleModule);
    QCOMPARE(verInfo->FileVersion(), QStringLiteral("2.5.0.7"));
}

void tst_VerInfo::libraryTypeWithoutNameReadsOwnModule()
{
    // Linked statically, the component's code is in the executable.
    const TVerInfoPtr verInfo = newVerInfo();
    verInfo->SetLibraryName(QStringLiteral(" \t "));
    verInfo->SetVerInfoType(TVerInfo::itLibraryVerInfo);
    QCOMPARE(verInfo->Reader().LibraryName(), ApplicationFileName());
    QCOMPARE(verInfo->FileVersion(), expectedVersion);
}

void tst_VerInfo::unreadableModuleIsSwallowed_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("file that does not exist") << QStringLiteral("/nonexistent/module.so");
    QTest::newRow("file that is no module") << QStringLiteral(PRAVIK_SOURCE_DIR "/README.md");
}

void tst_VerInfo::unreadableModuleIsSwallowed()
{
    QFETCH(QString, file);
    const TVerInfoPtr verInfo = newVerInfo();
    verInfo->SetVerInfoType(TVerInfo::itLibraryVerInfo);
    verInfo->SetLibraryName(file); // no exception
    QCOMPARE(verInfo->LibraryName(), file);
    QCOMPARE(verInfo->FileVersion(), expectedVersion);
    verInfo->SetVerInfoType(TVerInfo::itApplicationVerInfo); // reads the named file again: swallowed too
    QCOMPARE(verInfo->FileVersion(), expectedVersion);
}

void tst_VerInfo::standardItemsIgnoreWrites()
{
    const TVerInfoPtr verInfo = newVerInfo();
    QVERIFY(verInfo->setProperty("FileVersion", QStringLiteral("6.6.6.6")));
    QCOMPARE(verInfo->FileVersion(), expectedVersion);
    QCOMPARE(verInfo->property("FileVersion").toString(), expectedVersion);
}

void tst_VerInfo::itemByName()
{
    const TVerInfoPtr verInfo = newVerInfo();
    QCOMPARE(verInfo->VersionInfoItemByName(QStringLiteral(" fileVersion ")), expectedVersion);
    QVERIFY_THROWS_EXCEPTION(EListError, verInfo->VersionInfoItemByName(QStringLiteral("NoSuchItem")));
}

void tst_VerInfo::labels_data()
{
    QTest::addColumn<bool>("linked");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("itemName");
    QTest::addColumn<QString>("caption");

    QTest::newRow("library name") << true << 0 << QString() << QString() << sampleModule;
    QTest::newRow("company name") << true << 1 << QString() << QString() << QStringLiteral("Zelk Software");
    QTest::newRow("file version with format")
        << true << 3 << QStringLiteral("Version %s") << QString() << QStringLiteral("Version 2.5.0.7");
    QTest::newRow("legal trademarks") << true << 6 << QString() << QString() << QStringLiteral("Pravik™");
    QTest::newRow("comments") << true << 10 << QString() << QString()
                              << QStringLiteral("Sample & test <module>");
    QTest::newRow("item by name") << true << 11 << QString() << QStringLiteral("programid")
                                  << QStringLiteral("Zelk.Sample");
    QTest::newRow("item by name the module lacks")
        << true << 11 << QString() << QStringLiteral("Nothing") << QString();
    QTest::newRow("unknown kind") << true << 12 << QStringLiteral("[%s]") << QString()
                                  << QStringLiteral("[]");
    QTest::newRow("format that fails shows the plain value")
        << true << 8 << QStringLiteral("%d") << QString() << QStringLiteral("Pravik");
    QTest::newRow("blank format shows the plain value")
        << true << 8 << QStringLiteral("  ") << QString() << QStringLiteral("Pravik");
    QTest::newRow("label linked to nothing") << false << 3 << QString() << QString() << QString();
}

void tst_VerInfo::labels()
{
    QFETCH(bool, linked);
    QFETCH(int, kind);
    QFETCH(QString, format);
    QFETCH(QString, itemName);
    QFETCH(QString, caption);

    const TVerInfoPtr verInfo = newVerInfo();
    verInfo->SetVerInfoType(TVerInfo::itLibraryVerInfo);
    verInfo->SetLibraryName(sampleModule);
    TTestLabel label, other;
    label.link = linked ? verInfo.get() : nullptr;
    label.kind = kind;
    label.format = format;
    label.itemName = itemName;
    other.link = verInfo.get();
    other.kind = 8;
    verInfo->AttachLabel(&label);
    verInfo->AttachLabel(nullptr);
    verInfo->AttachLabel(&other);
    verInfo->UpdateLabels();
    QCOMPARE(label.caption, caption);
    QCOMPARE(other.caption, QStringLiteral("Pravik")); // whatever happened to the first label
    verInfo->DetachLabel(&label);
    verInfo->DetachLabel(&other);
}

void tst_VerInfo::labelsFollowWrites()
{
    const TVerInfoPtr verInfo = newVerInfo();
    TTestLabel label;
    label.link = verInfo.get();
    label.kind = 3;
    verInfo->AttachLabel(&label);
    verInfo->SetLibraryName(sampleModule);
    QCOMPARE(label.caption, expectedVersion); // refreshed, the type still reads the executable
    verInfo->SetVerInfoType(TVerInfo::itLibraryVerInfo);
    QCOMPARE(label.caption, QStringLiteral("2.5.0.7"));
    label.caption.clear();
    verInfo->SetLibraryName(QStringLiteral("/nonexistent/module.so"));
    QCOMPARE(label.caption, QStringLiteral("2.5.0.7")); // refreshed also when reading failed
    verInfo->DetachLabel(&label);
}

void tst_VerInfo::destructionReleasesLabels()
{
    TVerInfoPtr verInfo = newVerInfo();
    TTestLabel label;
    label.link = verInfo.get();
    verInfo->AttachLabel(&label);
    verInfo.reset();
    QVERIFY(label.toldDestroyed);
    QCOMPARE(label.link, nullptr);
}

void tst_VerInfo::storedWithTheLayout_data()
{
    QTest::addColumn<bool>("libraryType");
    QTest::addColumn<QString>("fileVersion");

    // The name is applied first, then the type; the default type is not stored, so the name is kept
    // but not read.
    QTest::newRow("name with library type reads the module") << true << QStringLiteral("2.5.0.7");
    QTest::newRow("name with default type reads the executable") << false << expectedVersion;
}

void tst_VerInfo::storedWithTheLayout()
{
    QFETCH(bool, libraryType);
    QFETCH(QString, fileVersion);

    const std::unique_ptr<TComponent, TComponentFree> form(new TComponent);
    TVerInfo *written = Create<TVerInfo>(form.get());
    written->SetName(QStringLiteral("VerInfo"));
    written->SetLibraryName(sampleModule);
    if (libraryType)
        written->SetVerInfoType(TVerInfo::itLibraryVerInfo);
    const QByteArray layout = WriteComponentData(form.get());
    QVERIFY(layout.contains("\"LibraryName\""));
    QCOMPARE(layout.contains("\"VerInfoType\""), libraryType);
    QVERIFY2(!layout.contains("\"FileVersion\""), layout.constData());

    const std::unique_ptr<TComponent, TComponentFree> loaded(new TComponent);
    ReadComponentData(loaded.get(), layout, QStringLiteral("layout"));
    auto *read = loaded->FindComponent<TVerInfo>(QStringLiteral("VerInfo"));
    QVERIFY(read);
    QCOMPARE(read->LibraryName(), sampleModule);
    QCOMPARE(read->FileVersion(), fileVersion);
}

namespace {
const TUnit *const units[] = { &zc_VersionInfoUnit, &zc_VerInfoUnit };
}
PRAVIK_TEST_GUILESS_MAIN(tst_VerInfo, units)
#include "tst_verinfo.moc"
