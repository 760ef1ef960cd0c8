#pragma once
// A page control: pages with tabs, where a page's tab can be hidden while the page itself stays the
// active one. The checker starts that way: its report page is shown while no tab is selected.

#include <QWidget>

class QStackedWidget;
class QTabBar;

class TPageControl : public QWidget
{
    Q_OBJECT

public:
    explicit TPageControl(QWidget *parent = nullptr);

    // Appends a page with its tab caption; the control takes ownership.
    int AddPage(QWidget *page, const QString &caption);
    int PageCount() const;
    QWidget *Page(int index) const;

    QWidget *ActivePage() const;
    void SetActivePage(QWidget *page);

    bool TabVisible(QWidget *page) const;
    void SetTabVisible(QWidget *page, bool visible);

    // The tab that shows as selected; -1 when the active page's tab is hidden.
    int SelectedTab() const;
    QTabBar *TabBar() const { return m_tabs; }

Q_SIGNALS:
    void ActivePageChanged(QWidget *page);

private:
    void syncTabs();

    QTabBar *m_tabs;
    QStackedWidget *m_stack;
    bool m_syncing = false;
};
