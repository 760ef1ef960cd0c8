#pragma once
// The window's page of SEPA rule findings: one row per finding with severity, rule, text and
// position; a double-click or Return on a row asks the window to go to the finding's position.

#include "sepa/finding.h"

#include <QWidget>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

class TRulesPage : public QWidget
{
    Q_OBJECT

public:
    explicit TRulesPage(QWidget *parent = nullptr);

    void setFindings(std::vector<sepa::Finding> findings);
    const std::vector<sepa::Finding> &findings() const { return m_findings; }
    QTreeWidget *list() const { return m_list; }

    // The page's caption on its tab.
    static QString caption();

Q_SIGNALS:
    void findingActivated(const sepa::Finding &finding);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void activate(QTreeWidgetItem *item);

    QTreeWidget *m_list = nullptr;
    std::vector<sepa::Finding> m_findings;
};
