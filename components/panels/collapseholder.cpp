#include "collapsepanel.h"

#include "platform/widgets/application.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QtDebug>

namespace {

qint64 applicationPaletteKey()
{
    return Tzc_Scaler::HasScreen() ? QGuiApplication::palette().cacheKey() : 0;
}

// Passes the application's palette changes on to the holder.
class TPaletteWatch : public QObject
{
public:
    explicit TPaletteWatch(TCollapseHolder *AHolder)
        : m_holder(AHolder)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ApplicationPaletteChange && watched == QCoreApplication::instance())
            Guarded([this] { m_holder->ApplicationPaletteChanged(); });
        return false;
    }

private:
    TCollapseHolder *m_holder;
};

} // namespace

TCollapseHolder::TCollapseHolder() = default;

TCollapseHolder::~TCollapseHolder()
{
    // Panels may outlive the unit (a window freed after the units finished): they must not reach
    // this holder or its style any more.
    for (TCollapsePanel *panel : QList<TCollapsePanel *>(m_panels))
        panel->holderGone();
}

void TCollapseHolder::Add(TCollapsePanel *APanel)
{
    // A panel exists, so the application does: a style made before it is made again.
    if (m_styleGuessed && m_styleClass && Tzc_Scaler::HasScreen()) {
        fCollapsStyle.reset();
        m_styleGuessed = false;
    }
    if (!m_panels.contains(APanel))
        m_panels.append(APanel);
    if (!m_paletteWatch && Tzc_Scaler::HasScreen()) {
        m_paletteWatch = std::make_unique<TPaletteWatch>(this);
        QCoreApplication::instance()->installEventFilter(m_paletteWatch.get());
    }
}

void TCollapseHolder::Remove(TCollapsePanel *APanel)
{
    m_panels.removeOne(APanel);
}

TCollapsStyle *TCollapseHolder::CollapsStyleObj() const
{
    if (!fCollapsStyle && m_styleClass) {
        fCollapsStyle.reset(m_styleClass->Create());
        m_styleGuessed = !Tzc_Scaler::HasScreen();
        m_paletteKey = applicationPaletteKey();
    }
    return fCollapsStyle.get();
}

void TCollapseHolder::SetCollapsStyleObj(std::unique_ptr<TCollapsStyle> AStyle)
{
    if (!AStyle || AStyle.get() == fCollapsStyle.get())
        return;
    fCollapsStyle = std::move(AStyle);
    m_styleClass = nullptr;
    m_styleGuessed = false;
    m_paletteKey = applicationPaletteKey();
    relayoutPanels();
}

void TCollapseHolder::SetCollapsStyleClass(const TCollapsStyleClass *AClass)
{
    if (!AClass)
        return;
    fCollapsStyle.reset();
    m_styleClass = AClass;
    m_styleGuessed = false;
    relayoutPanels();
}

void TCollapseHolder::relayoutPanels()
{
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
        if (!CollapsStyles())
            return {};
        if (!fCollapsStyle && m_styleClass)
            return CollapsStyles()->NameOf(m_styleClass->Type);
        return CollapsStyles()->NameOf(fCollapsStyle.get());
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
    TCollapsStyle *style = CollapsStyleObj();
    if (style && style->IsLookAndSkin()) {
        fSkinLoading = true;
        try {
            style->SkinChanged();
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

void TCollapseHolder::ApplicationPaletteChanged()
{
    const qint64 key = applicationPaletteKey();
    if (key == m_paletteKey)
        return;
    m_paletteKey = key;
    if (fCollapsStyle) {
        try {
            fCollapsStyle->ColorChange();
        } catch (...) {
        }
    }
    WMSYSCOLORCHANGE();
}
