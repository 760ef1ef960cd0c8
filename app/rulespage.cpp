#include "rulespage.h"

#include "platform/settingsstore.h"
#include "platform/widgets/application.h"
#include "sepa/rulespass.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kIndexRole = Qt::UserRole;

QString settingsKey()
{
    return QStringLiteral("\\Software\\Zelk Software\\Pravik");
}

const QString kHistoryValue = QStringLiteral("CheckHistory");
} // namespace

TRulesPage::TRulesPage(QWidget *parent)
    : QWidget(parent)
    , m_list(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("RulesPage"));
    m_list->setObjectName(QStringLiteral("RulesList"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setHeaderLabels({ QStringLiteral("Schwere"), QStringLiteral("Regel"), QStringLiteral("Meldung"),
        QStringLiteral("Zeile"), QStringLiteral("Position") });
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_list->installEventFilter(this);
    m_notice = new QLabel;
    m_notice->setObjectName(QStringLiteral("RulesNotice"));
    m_notice->setWordWrap(true);
    m_notice->setStyleSheet(QStringLiteral("color: #C00000;"));
    m_notice->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_notice);
    layout->addWidget(m_list);
    m_opened = sepa::RulesPass::referenceNow();
    m_historyAction = new QAction(QStringLiteral("Bereits geprüfte Dateien erkennen"), this);
    m_historyAction->setObjectName(QStringLiteral("act_CheckHistory"));
    m_historyAction->setCheckable(true);
    m_historyAction->setChecked(historyEnabled());
    m_historyAction->setStatusTip(QStringLiteral(
        "Warnt, wenn eine Datei mit derselben MsgId oder denselben Zahlungen schon geprüft wurde"));
    connect(
        m_historyAction, &QAction::toggled, this, [](bool on) { Guarded([on] { setHistoryEnabled(on); }); });
    // The window has no settings dialog; the switch sits where its findings are.
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_list->addAction(m_historyAction);
    // A double-click ends in the view's own handler; an exception of the jump must not leave it.
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
        [this](QTreeWidgetItem *item) { Guarded([&] { activate(item); }); });
}

QString TRulesPage::caption()
{
    return QStringLiteral("SEPA-Regeln");
}

bool TRulesPage::historyEnabled()
{
    if (!qEnvironmentVariableIsEmpty("PRAVIK_NO_HISTORY"))
        return false;
    TRegistry reg;
    if (!reg.OpenKey(settingsKey(), false))
        return true;
    return reg.ReadInteger(kHistoryValue, 1) != 0;
}

void TRulesPage::setHistoryEnabled(bool on)
{
    TRegistry reg;
    reg.OpenKey(settingsKey(), true);
    reg.WriteInteger(kHistoryValue, on ? 1 : 0);
}

void TRulesPage::prepareHistory(sepa::RulesPass &rules)
{
    if (!m_historyAction->isChecked() || !qEnvironmentVariableIsEmpty("PRAVIK_NO_HISTORY"))
        return;
    m_past = sepa::History::load();
    rules.setHistory(&m_past, m_opened);
}

void TRulesPage::recordHistory(const sepa::RulesPass &rules)
{
    if (!m_historyAction->isChecked() || !qEnvironmentVariableIsEmpty("PRAVIK_NO_HISTORY"))
        return;
    if (const std::optional<sepa::History::Entry> entry = rules.historyEntry()) {
        if (const QString failure = sepa::History::record({ *entry }); !failure.isEmpty())
            qWarning("The history of checked files: %s", qPrintable(failure));
    }
}

void TRulesPage::setFindings(std::vector<sepa::Finding> findings)
{
    m_findings = std::move(findings);
    m_notice->hide();
    m_list->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(qsizetype(m_findings.size()));
    for (size_t i = 0; i < m_findings.size(); ++i) {
        const sepa::Finding &f = m_findings[i];
        auto *item = new QTreeWidgetItem(
            { f.severity == sepa::Severity::Error ? QStringLiteral("Fehler") : QStringLiteral("Warnung"),
                f.code, f.german, QString::number(f.line), QString::number(f.linePos) });
        item->setData(0, kIndexRole, qulonglong(i));
        item->setToolTip(2, f.german + u'\n' + f.english);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(4, Qt::AlignRight | Qt::AlignVCenter);
        items.append(item);
    }
    m_list->addTopLevelItems(items);
    if (!items.isEmpty())
        m_list->setCurrentItem(items.constFirst());
    for (int c : { 0, 1, 3, 4 })
        m_list->resizeColumnToContents(c);
}

void TRulesPage::activate(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const auto index = size_t(item->data(0, kIndexRole).toULongLong());
    if (index < m_findings.size())
        Q_EMIT findingActivated(m_findings[index], qsizetype(index));
}

std::vector<qint64> TRulesPage::findingPositions() const
{
    std::vector<qint64> positions;
    positions.reserve(m_findings.size());
    for (const sepa::Finding &f : m_findings)
        positions.push_back(f.filePos);
    return positions;
}

void TRulesPage::setOutOfDate()
{
    if (m_notice->isVisibleTo(this) || m_findings.empty())
        return;
    m_notice->setText(QStringLiteral("Seit der Prüfung geändert: Zeilen und Positionen zeigen den Stand der "
                                     "letzten Prüfung. Erneut prüfen, um die Befunde zu erneuern."));
    m_notice->show();
}

bool TRulesPage::outOfDate() const
{
    return m_notice->isVisibleTo(this);
}

void TRulesPage::findingLost()
{
    m_notice->setText(QStringLiteral("Die Stelle dieses Befunds wurde seit der Prüfung gelöscht. Erneut "
                                     "prüfen, um die Befunde zu erneuern."));
    m_notice->show();
}

bool TRulesPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Guarded([this] { activate(m_list->currentItem()); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
