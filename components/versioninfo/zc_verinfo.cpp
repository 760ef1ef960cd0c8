#include "zc_verinfo.h"

#include "platform/format.h"
#include "platform/versionresource.h"

namespace {

// The file of the module that holds this code.
QString verInfoModuleFileName()
{
    return ModuleFileNameOf(reinterpret_cast<const void *>(&verInfoModuleFileName));
}

void registerVerInfoClass()
{
    RegisterClass<TVerInfo>();
}

} // namespace

const TUnit zc_VerInfoUnit = { "zc_VerInfo", registerVerInfoClass, nullptr };

TVerInfo::TVerInfo(TComponent *AOwner)
    : Tzc_Component(AOwner)
    , fVerInfo(std::make_unique<TVersionInfo>(ApplicationFileName()))
{
}

TVerInfo::~TVerInfo()
{
    const QList<IVerInfoLabel *> labels = std::exchange(fLabels, {});
    for (IVerInfoLabel *label : labels) {
        if (label)
            label->VerInfoDestroyed(this);
    }
}

void TVerInfo::SetLibraryName(const QString &Value)
{
    try {
        fLibraryName = Value;
        if (fVerInfoTye == itLibraryVerInfo)
            fVerInfo->SetLibraryName(Value);
    } catch (...) {
        // A module that cannot be read leaves the entries as they were.
    }
    try {
        UpdateLabels();
    } catch (...) {
    }
}

void TVerInfo::SetVerInfoType(TVerInfoType Value)
{
    try {
        fVerInfoTye = Value;
        QString file = fLibraryName;
        if (trimControls(file).isEmpty())
            file = Value == itApplicationVerInfo ? ApplicationFileName() : verInfoModuleFileName();
        fVerInfo->SetLibraryName(file);
    } catch (...) {
    }
    try {
        UpdateLabels();
    } catch (...) {
    }
}

QString TVerInfo::VersionInfoItemByName(const QString &ItemName) const
{
    return fVerInfo->VersionInfoItemByName(ItemName);
}

void TVerInfo::AttachLabel(IVerInfoLabel *ALabel)
{
    if (ALabel && !fLabels.contains(ALabel))
        fLabels.append(ALabel);
}

void TVerInfo::DetachLabel(IVerInfoLabel *ALabel)
{
    fLabels.removeAll(ALabel);
}

QString TVerInfo::LabelValue(const IVerInfoLabel &ALabel) const
{
    const int kind = ALabel.ItemKind();
    if (kind == 0)
        return LibraryName();
    if (kind >= 1 && kind <= 10) {
        QString value;
        fVerInfo->Entries().TryGetValue(TVersionInfo::InfoItemKey(kind), value);
        return value;
    }
    if (kind == 11) {
        QString value; // an item the module lacks shows as empty, and the other labels still update
        fVerInfo->Entries().TryGetValue(TVersionInfo::KeyOf(trimControls(ALabel.ItemName())), value);
        return value;
    }
    return QString();
}

void TVerInfo::UpdateLabels()
{
    for (IVerInfoLabel *label : std::as_const(fLabels)) {
        if (!label)
            continue;
        if (!label->LinkedVerInfo()) {
            label->SetCaption(QString());
            continue;
        }
        const QString value = LabelValue(*label);
        const QString format = label->FormatText();
        QString caption = value;
        if (!trimControls(format).isEmpty()) {
            try {
                caption = Format(format, { value });
            } catch (const Exception &) {
                caption = value;
            }
        }
        label->SetCaption(caption);
    }
}
