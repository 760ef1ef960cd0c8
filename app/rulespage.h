#pragma once
// The window's page of SEPA rule findings: one row per finding with severity, rule, text and
// position; a double-click or Return on a row asks the window to go to the finding's position. The
// editor keeps the findings' places through edits; once the text is edited the page says that it
// shows the state of the last check, and a finding whose place an edit deleted is no jump.
// It also keeps the window's use of the history of checked files: on unless switched off with its
// action in the list's context menu (stored as CheckHistory in "Software\Zelk Software\Pravik") or by
// PRAVIK_NO_HISTORY. Files this window checked since it opened do not count as sent before, so checking again
// after an edit gives no warning.

#include "sepa/finding.h"
#include "sepa/history.h"

#include <QDateTime>
#include <QWidget>
#include <vector>

class QAction;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
namespace sepa {
class RulesPass;
}

class TRulesPage : public QWidget
{
    Q_OBJECT

public:
    explicit TRulesPage(QWidget *parent = nullptr);

    void setFindings(std::vector<sepa::Finding> findings);
    const std::vector<sepa::Finding> &findings() const { return m_findings; }
    QTreeWidget *list() const { return m_list; }
    // Each finding's filePos, in the findings' order.
    std::vector<qint64> findingPositions() const;
    // The text was edited since the check: the page says so until the next setFindings.
    void setOutOfDate();
    bool outOfDate() const;
    // A finding asked for has lost its place in the edited text.
    void findingLost();
    QLabel *notice() const { return m_notice; }

    // The page's caption on its tab.
    static QString caption();

    // The checkable action that switches the history on and off, in the list's context menu.
    QAction *historyAction() const { return m_historyAction; }
    static bool historyEnabled();
    static void setHistoryEnabled(bool on);
    // Before a validation: lets rules warn of files checked before, when the history is on.
    void prepareHistory(sepa::RulesPass &rules);
    // After rules.finish(): remembers the file, when the history is on. A history that cannot be
    // written costs the warning next time, never the check; it is said in the debug output.
    void recordHistory(const sepa::RulesPass &rules);

Q_SIGNALS:
    // index: into findings().
    void findingActivated(const sepa::Finding &finding, qsizetype index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void activate(QTreeWidgetItem *item);

    QTreeWidget *m_list = nullptr;
    QLabel *m_notice = nullptr;
    std::vector<sepa::Finding> m_findings;
    QAction *m_historyAction = nullptr;
    QDateTime m_opened;
    sepa::History m_past;
};
