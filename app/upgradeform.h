#pragma once
// The window's preview of an upgrade: the old text beside the upgraded one with the changed lines
// marked, the notes a person should check, and whether the result passes its check. Accepted means
// "save it"; the save button is there only for a result that passes.

#include <QDialog>
#include <QList>
#include <QStringList>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace legacy {
struct UpgradeResult;
}

class TUpgradeForm : public QDialog
{
    Q_OBJECT

public:
    TUpgradeForm(const QByteArray &oldText, const legacy::UpgradeResult &result, QWidget *parent = nullptr);

    QPlainTextEdit *OldText = nullptr;
    QPlainTextEdit *NewText = nullptr;
    QListWidget *Notes = nullptr;
    QLabel *Verdict = nullptr;
    QPushButton *SaveButton = nullptr;
    QPushButton *CancelButton = nullptr;

    // The lines marked as changed on each side, from 0.
    const QList<int> &ChangedOldLines() const { return FChangedOld; }
    const QList<int> &ChangedNewLines() const { return FChangedNew; }

private:
    QList<int> FChangedOld;
    QList<int> FChangedNew;
};

// The lines that differ between two texts, each side's numbers from 0: both are walked in step and,
// where they differ, a short way ahead on both sides is searched for the place they meet again. The
// upgrade changes lines in small groups, so that this finds what a full diff would at a fraction of
// its cost on a file of a million lines.
void changedLines(const QStringList &a, const QStringList &b, QList<int> &changedA, QList<int> &changedB);
