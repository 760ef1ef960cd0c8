#pragma once
// TVerInfo: a non-visual component that shows version information of the running program or of a
// named module. It owns a TVersionInfo reader, chooses which file it reads, exposes the ten
// standard items as read-only properties, and keeps attached display labels up to date.

#include "components/appservices/zc_classes.h"
#include "components/versioninfo/zc_versioninfo.h"

#include <QList>
#include <QString>

#include <memory>

class TVerInfo;

// A display label attached to a TVerInfo (a text control showing one version item). No label type
// of this program implements it; it is the contract UpdateLabels works with.
class IVerInfoLabel
{
public:
    // The TVerInfo the label is linked to, or null.
    virtual TVerInfo *LinkedVerInfo() const = 0;
    // 0 LibraryName, 1 to 10 the standard items (CompanyName … Comments), 11 the item named by
    // ItemName; anything else shows the empty text.
    virtual int ItemKind() const = 0;
    // A text with one "%s" for the value, or empty for the plain value.
    virtual QString FormatText() const = 0;
    virtual QString ItemName() const = 0;
    virtual void SetCaption(const QString &ACaption) = 0;
    // The TVerInfo is being destroyed; drop the link.
    virtual void VerInfoDestroyed(TVerInfo *AVerInfo) = 0;

protected:
    virtual ~IVerInfoLabel() = default;
};

class TVerInfo : public Tzc_Component
{
    Q_OBJECT
    // Declaration order is load order: the name first, then the type, which reads it.
    Q_PROPERTY(QString LibraryName READ LibraryName WRITE SetLibraryName)
    Q_PROPERTY(TVerInfoType VerInfoType READ VerInfoType WRITE SetVerInfoType)
    Q_PROPERTY(QString CompanyName READ CompanyName WRITE SetIgnored STORED false)
    Q_PROPERTY(QString FileDescription READ FileDescription WRITE SetIgnored STORED false)
    Q_PROPERTY(QString FileVersion READ FileVersion WRITE SetIgnored STORED false)
    Q_PROPERTY(QString InternalName READ InternalName WRITE SetIgnored STORED false)
    Q_PROPERTY(QString LegalCopyright READ LegalCopyright WRITE SetIgnored STORED false)
    Q_PROPERTY(QString LegalTrademarks READ LegalTrademarks WRITE SetIgnored STORED false)
    Q_PROPERTY(QString OriginalFilename READ OriginalFilename WRITE SetIgnored STORED false)
    Q_PROPERTY(QString ProductName READ ProductName WRITE SetIgnored STORED false)
    Q_PROPERTY(QString ProductVersion READ ProductVersion WRITE SetIgnored STORED false)
    Q_PROPERTY(QString Comments READ Comments WRITE SetIgnored STORED false)

public:
    enum TVerInfoType
    {
        itApplicationVerInfo = 0, // the running executable
        itLibraryVerInfo = 1, // the module holding this code (the executable unless a shared library)
    };
    Q_ENUM(TVerInfoType)

    // Reads the running executable's version resource at once; raises the reader's error only when
    // the executable itself cannot be opened.
    explicit TVerInfo(TComponent *AOwner = nullptr);
    ~TVerInfo() override;

    QString LibraryName() const { return fLibraryName; }
    // Stores the name; with itLibraryVerInfo the reader reads that module. Never fails: a module
    // that cannot be read leaves the entries as they were. Labels are refreshed either way.
    void SetLibraryName(const QString &Value);
    TVerInfoType VerInfoType() const { return fVerInfoTye; }
    // Stores the type and reads LibraryName when it is set, whatever the type, else the executable
    // or the module holding this code. Never fails, as SetLibraryName.
    void SetVerInfoType(TVerInfoType Value);

    QString CompanyName() const { return fVerInfo->CompanyName(); }
    QString FileDescription() const { return fVerInfo->FileDescription(); }
    QString FileVersion() const { return fVerInfo->FileVersion(); }
    QString InternalName() const { return fVerInfo->InternalName(); }
    QString LegalCopyright() const { return fVerInfo->LegalCopyright(); }
    QString LegalTrademarks() const { return fVerInfo->LegalTrademarks(); }
    QString OriginalFilename() const { return fVerInfo->OriginalFilename(); }
    QString ProductName() const { return fVerInfo->ProductName(); }
    QString ProductVersion() const { return fVerInfo->ProductVersion(); }
    QString Comments() const { return fVerInfo->Comments(); }

    // The reader's item of that name; raises EListError "Item not found" for an absent one.
    QString VersionInfoItemByName(const QString &ItemName) const;

    // Labels are not owned; a label detaches itself before it goes.
    void AttachLabel(IVerInfoLabel *ALabel);
    void DetachLabel(IVerInfoLabel *ALabel);
    void UpdateLabels();

    const TVersionInfo &Reader() const { return *fVerInfo; }

private:
    // The standard items are shown, not stored: a write is accepted and ignored.
    void SetIgnored(const QString &) { }
    QString LabelValue(const IVerInfoLabel &ALabel) const;

    std::unique_ptr<TVersionInfo> fVerInfo;
    QList<IVerInfoLabel *> fLabels;
    TVerInfoType fVerInfoTye = itApplicationVerInfo;
    QString fLibraryName;
};

// The unit zc_VerInfo: registers TVerInfo, so that a form resource can create it by name.
extern const TUnit zc_VerInfoUnit;
