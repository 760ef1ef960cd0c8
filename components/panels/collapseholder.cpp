#include "collapsepanel.h"

#include <QtDebug>

TCollapseHolder::TCollapseHolder() = default;

TCollapseHolder::~TCollapseHolder() = default;

void TCollapseHolder::Add(TCollapsePanel *APanel)
{
    if (!m_panels.contains(APanel))
        m_panels.append(APanel);
}

void TCollapseHolder::Remove(TCollapsePanel *APanel)
{
    m_panels.removeOne(APanel);
}

void TCollapseHolder::SetCollapsStyleObj(std::unique_ptr<TCollapsStyle> AStyle)
{
    if (!AStyle || AStyle.get() == fCollapsStyle.get())
        return;
    fCollapsStyle = std::move(AStyle);
    for (TCollapsePanel *panel : QList<TCollapsePanel *>(m_panels)) {
        try {
            panel->update();
            panel->AlignControls();
            panel->ReExpand();
        } catch (...) {
        }
    }
}

QString TCollapseHolder::CollapsStyle() const
{
    try {
        return CollapsStyles() ? CollapsStyles()->NameOf(fCollapsStyle.get()) : QString();
    } catch (...) {
        return {};
    }
}

void TCollapseHolder::SetCollapsStyle(const QString &AName)
{
    try {
        if (CollapsStyles())
            SetCollapsStyleObj(CollapsStyles()->CreateStyleObject(AName));
    } catch (...) {
        // An unknown name keeps the installed style.
    }
}

void TCollapseHolder::InvalidateStyle()
{
    const QString name = CollapsStyle();
    if (!name.isEmpty())
        SetCollapsStyle(name);
}

QStringList TCollapseHolder::RegisteredStyles() const
{
    return CollapsStyles() ? CollapsStyles()->Names() : QStringList();
}

void TCollapseHolder::SetSkinName(const QString &Value)
{
    fSkinName = Value;
    if (fCollapsStyle && fCollapsStyle->IsLookAndSkin()) {
        fSkinLoading = true;
        try {
            fCollapsStyle->SkinChanged();
        } catch (...) {
        }
        fSkinLoading = false;
    }
    WMSYSCOLORCHANGE();
}

void TCollapseHolder::WMSYSCOLORCHANGE()
{
    for (TCollapsePanel *panel : QList<TCollapsePanel *>(m_panels)) {
        try {
            panel->update();
        } catch (...) {
        }
    }
}
