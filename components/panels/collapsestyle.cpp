#include "collapsestyle.h"

#include "collapsepanel.h"

#include <QRect>

namespace {

TCollapsStyles *g_styles = nullptr;

} // namespace

TCollapsStyles *CollapsStyles()
{
    return g_styles;
}

void SetCollapsStyles(TCollapsStyles *AStyles)
{
    g_styles = AStyles;
}

void RegisterCollapsStyle(const QString &AName, const TCollapsStyleClass *AClass, bool AFirst)
{
    if (g_styles)
        g_styles->Add(AName, AClass, AFirst);
}

// ---- base style

QRect TCollapsStyle::GetClientRect(const TCollapsePanel *APanel) const
{
    return APanel->FullRect();
}

void TCollapsStyle::Paint(TCollapsePanel *, QPainter &) { }

int TCollapsStyle::GetCollapsePanelHeaderHeight(const TCollapsePanel *) const
{
    return 16;
}

int TCollapsStyle::GetCollapsePanelCollapseHeight(const TCollapsePanel *APanel) const
{
    return GetCollapsePanelHeaderHeight(APanel) + fShadowWidth + fOuterBevel.Bottom + fOuterBevel.Top;
}

int TCollapsStyle::GetCollapsePanelBottomSpace(const TCollapsePanel *) const
{
    return 5;
}

QRect TCollapsStyle::GetCollapsePanelHeaderRect(const TCollapsePanel *APanel) const
{
    return APanel->rect();
}

void TCollapsStyle::AfterExpand(TCollapsePanel *) { }

void TCollapsStyle::AfterCollapse(TCollapsePanel *) { }

// ---- registry

QStringList TCollapsStyles::Names() const
{
    QStringList names;
    for (const Entry &e : m_entries)
        names.append(e.Name);
    return names;
}

int TCollapsStyles::IndexOf(const QString &AName) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).Name.compare(AName, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const TCollapsStyleClass *TCollapsStyles::ClassAt(int AIndex) const
{
    if (AIndex < 0 || AIndex >= m_entries.size())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(AIndex));
    return m_entries.at(AIndex).Class;
}

QString TCollapsStyles::NameOf(const TCollapsStyle *AStyle) const
{
    return AStyle ? NameOf(typeid(*AStyle)) : QString();
}

QString TCollapsStyles::NameOf(const std::type_info &AClass) const
{
    for (const Entry &e : m_entries) {
        if (e.Class->Type == AClass)
            return e.Name;
    }
    return {};
}

void TCollapsStyles::Add(const QString &AName, const TCollapsStyleClass *AClass, bool AFirst)
{
    if (!AClass || IndexOf(AName) >= 0)
        return;
    if (AFirst)
        m_entries.prepend({ AName, AClass });
    else
        m_entries.append({ AName, AClass });
}

std::unique_ptr<TCollapsStyle> TCollapsStyles::CreateStyleObject(const QString &AName) const
{
    return std::unique_ptr<TCollapsStyle>(ClassAt(IndexOf(AName))->Create());
}
