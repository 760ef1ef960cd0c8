#include "pagecontrol.h"

#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

// QTabBar draws its current tab last, "on top", even when that tab is hidden: at the top left, in
// the empty rectangle of a hidden tab, where a clipped piece of its caption showed. A hidden tab
// here is drawn as nothing.
class PageTabBar : public QTabBar
{
public:
    using QTabBar::QTabBar;

protected:
    void initStyleOption(QStyleOptionTab *option, int tabIndex) const override
    {
        QTabBar::initStyleOption(option, tabIndex);
        if (!isTabVisible(tabIndex)) {
            option->rect = QRect();
            option->text.clear();
            option->icon = QIcon();
        }
    }
};

} // namespace

TPageControl::TPageControl(QWidget *parent)
    : QWidget(parent)
    , m_tabs(new PageTabBar(this))
    , m_stack(new QStackedWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabs->setExpanding(false);
    m_tabs->setDrawBase(true);
    layout->addWidget(m_tabs);
    layout->addWidget(m_stack, 1);
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
        if (m_syncing || index < 0 || !m_tabs->isTabVisible(index))
            return;
        SetActivePage(m_stack->widget(index));
    });
}

int TPageControl::AddPage(QWidget *page, const QString &caption)
{
    const int index = m_stack->addWidget(page);
    {
        const QScopedValueRollback syncing(m_syncing, true);
        m_tabs->addTab(caption);
    }
    syncTabs();
    return index;
}

int TPageControl::PageCount() const
{
    return m_stack->count();
}

QWidget *TPageControl::Page(int index) const
{
    return m_stack->widget(index);
}

QWidget *TPageControl::ActivePage() const
{
    return m_stack->currentWidget();
}

void TPageControl::SetActivePage(QWidget *page)
{
    const int index = m_stack->indexOf(page);
    if (index < 0)
        return;
    const bool changed = m_stack->currentIndex() != index;
    m_stack->setCurrentIndex(index);
    syncTabs();
    if (changed)
        Q_EMIT ActivePageChanged(page);
}

bool TPageControl::TabVisible(QWidget *page) const
{
    const int index = m_stack->indexOf(page);
    return index >= 0 && m_tabs->isTabVisible(index);
}

void TPageControl::SetTabVisible(QWidget *page, bool visible)
{
    const int index = m_stack->indexOf(page);
    if (index < 0)
        return;
    {
        const QScopedValueRollback syncing(m_syncing, true);
        m_tabs->setTabVisible(index, visible);
    }
    syncTabs();
}

int TPageControl::SelectedTab() const
{
    const int index = m_stack->currentIndex();
    return index >= 0 && m_tabs->isTabVisible(index) ? index : -1;
}

void TPageControl::syncTabs()
{
    // The tab bar's current tab follows the active page even when that page's tab is hidden, so
    // that then no visible tab looks selected.
    const QScopedValueRollback syncing(m_syncing, true);
    m_tabs->setCurrentIndex(m_stack->currentIndex());
}
