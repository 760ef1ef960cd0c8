#include "upgradeform.h"

#include "legacy/upgrade.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QSyntaxHighlighter>
#include <QVBoxLayout>

namespace {

// How far ahead the walk looks for two texts to meet again; a split address adds at most a few lines.
constexpr int kLookAhead = 16;

// Marks whole lines, block by block as the view needs them.
class TChangedLinesHighlighter : public QSyntaxHighlighter
{
public:
    TChangedLinesHighlighter(QTextDocument *document, const QList<int> &lines, const QColor &colour)
        : QSyntaxHighlighter(document)
        , m_lines(lines.begin(), lines.end())
    {
        m_format.setBackground(colour);
        rehighlight();
    }

protected:
    void highlightBlock(const QString &text) override
    {
        if (m_lines.contains(currentBlock().blockNumber()))
            setFormat(0, int(text.size()), m_format);
    }

private:
    QSet<int> m_lines;
    QTextCharFormat m_format;
};

QPlainTextEdit *textView(const QString &name, const QString &text, QWidget *parent)
{
    auto *view = new QPlainTextEdit(parent);
    view->setObjectName(name);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFont(QStringLiteral("Courier New"), 10));
    view->setPlainText(text);
    return view;
}

} // namespace

void changedLines(const QStringList &a, const QStringList &b, QList<int> &changedA, QList<int> &changedB)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i) == b.at(j)) {
            ++i;
            ++j;
            continue;
        }
        // The nearest place (fewest lines skipped on both sides together) where the texts meet again.
        qsizetype bestI = a.size();
        qsizetype bestJ = b.size();
        for (int distance = 1; distance <= 2 * kLookAhead && bestI == a.size(); ++distance) {
            for (int di = 0; di <= distance; ++di) {
                const qsizetype ni = i + di;
                const qsizetype nj = j + (distance - di);
                if (di > kLookAhead || distance - di > kLookAhead || ni >= a.size() || nj >= b.size())
                    continue;
                if (a.at(ni) == b.at(nj)) {
                    bestI = ni;
                    bestJ = nj;
                    break;
                }
            }
        }
        if (bestI == a.size()) {
            // No meeting place near: this line pair differs, the walk goes on.
            bestI = i + 1;
            bestJ = j + 1;
        }
        for (; i < bestI; ++i)
            changedA.append(int(i));
        for (; j < bestJ; ++j)
            changedB.append(int(j));
    }
    for (; i < a.size(); ++i)
        changedA.append(int(i));
    for (; j < b.size(); ++j)
        changedB.append(int(j));
}

TUpgradeForm::TUpgradeForm(const QByteArray &oldText, const legacy::UpgradeResult &result, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("UpgradeForm"));
    setWindowTitle(QStringLiteral("Aktualisieren: %1 → %2").arg(result.from, result.to));
    resize(1000, 640);

    const QString before = QString::fromUtf8(oldText);
    const QString after = QString::fromUtf8(result.text);
    // Lines without their CR, so that line ends alone never count as a change.
    auto lines = [](const QString &text) {
        QStringList l = text.split(u'\n');
        for (QString &line : l) {
            if (line.endsWith(u'\r'))
                line.chop(1);
        }
        return l;
    };
    changedLines(lines(before), lines(after), FChangedOld, FChangedNew);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    OldText = textView(QStringLiteral("OldText"), before, splitter);
    NewText = textView(QStringLiteral("NewText"), after, splitter);
    new TChangedLinesHighlighter(OldText->document(), FChangedOld, QColor(255, 220, 220));
    new TChangedLinesHighlighter(NewText->document(), FChangedNew, QColor(210, 245, 210));
    splitter->addWidget(OldText);
    splitter->addWidget(NewText);

    Notes = new QListWidget(this);
    Notes->setObjectName(QStringLiteral("Notes"));
    for (const legacy::UpgradeNote &n : result.notes)
        Notes->addItem(QStringLiteral("Zeile %1: %2").arg(n.line).arg(n.german));
    Notes->setMaximumHeight(140);

    Verdict = new QLabel(this);
    Verdict->setObjectName(QStringLiteral("Verdict"));
    Verdict->setWordWrap(true);
    if (result.passes()) {
        Verdict->setText(
            QStringLiteral("Die aktualisierte Datei besteht die Prüfung (Schema und SEPA-Regeln). "
                           "Bitte prüfen Sie die %1 Hinweise.")
                .arg(result.notes.size()));
    } else {
        QString why = result.schemaValid
            ? QStringLiteral("Die aktualisierte Datei verletzt SEPA-Regeln")
            : QStringLiteral("Die aktualisierte Datei besteht das Schema der Bank nicht (%1 Fehler)")
                  .arg(result.errors.size() + qsizetype(result.errors.FUnlisted));
        if (!result.errors.isEmpty())
            why += QStringLiteral(", zuerst: ") + result.errors.first().FReason;
        Verdict->setText(why + QStringLiteral(". Sie wird nicht gespeichert."));
    }

    SaveButton = new QPushButton(QStringLiteral("&Speichern unter..."), this);
    SaveButton->setObjectName(QStringLiteral("SaveButton"));
    SaveButton->setVisible(result.passes());
    SaveButton->setDefault(result.passes());
    CancelButton
        = new QPushButton(result.passes() ? QStringLiteral("Abbrechen") : QStringLiteral("Schließen"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(SaveButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Verdict, 1);
    buttons->addWidget(SaveButton);
    buttons->addWidget(CancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(Notes);
    layout->addLayout(buttons);
}
