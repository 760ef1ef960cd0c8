#pragma once
// THistorieFrame: a read-only log view of the dialog history, newest entry first. It does not refresh
// itself: its owner sets OnChangeHistorie, typically to call Collect.

#include "components/dialogs/zc_dialogs_history.h"

#include <QFrame>

#include <functional>

class QPlainTextEdit;

class THistorieFrame : public QFrame, public THistorieView
{
    Q_OBJECT

public:
    // With an owner: margins on, filling the owner, which becomes its parent. Shows the history at
    // once and joins the open views; raises Exception while unit zc_Dialogs is not started.
    explicit THistorieFrame(QWidget *AOwner = nullptr);
    ~THistorieFrame() override;

    // Rebuilds the text from the history.
    void Collect();
    // Empties the text; the history stays as it is.
    void Clear();

    QPlainTextEdit *Memo() const { return fMemo; }

    // Called with this view whenever the history changes.
    std::function<void(THistorieFrame *)> OnChangeHistorie;

protected:
    void HistorieChanged() override;

private:
    QPlainTextEdit *fMemo = nullptr;
};
