#include "rulespage.h"

#include "platform/widgets/application.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kIndexRole = Qt::UserRole;
}

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
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    // A double-click ends in the view's own handler; an exception of the jump must not leave it.
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
        [this](QTreeWidgetItem *item) { Guarded([&] { activate(item); }); });
}

QString TRulesPage::caption()
{
    return QStringLiteral("SEPA-Regeln");
}

void TRulesPage::setFindings(std::vector<sepa::Finding> findings)
{
    m_findings = std::move(findings);
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
        Q_EMIT findingActivated(m_findings[index]);
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
