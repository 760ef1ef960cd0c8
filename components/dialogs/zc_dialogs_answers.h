#pragma once
// The time-out of a task dialog and the notice after the first remembered answer. The answer store
// itself is Tzc_AutoAnswerStore (zc_dialogs_core.h).

#include "platform/dialogtypes.h"

#include <QPointer>
#include <QString>
#include <QtGlobal>

class TCustomTaskDialog;
class TTaskDialogButtonItem;

// Answers a task dialog with one of its buttons once ATimeOut milliseconds have passed since it was
// shown. Above 1000 ms the dialog shows a shrinking progress bar and, below its text, how many
// seconds are left. Attaching takes over the dialog's OnTimer and rewrites its text; when the time is
// up the original text is put back and the button is clicked, once. The dialog and the button are
// not owned; the handler must outlive the dialog's Execute, and detaches itself when freed first.
class TMessageDlgTimeOutHandler
{
public:
    TMessageDlgTimeOutHandler(
        TCustomTaskDialog *ATaskDialog, TTaskDialogButtonItem *AButton, qint64 ATimeOut);
    ~TMessageDlgTimeOutHandler();
    TMessageDlgTimeOutHandler(const TMessageDlgTimeOutHandler &) = delete;
    TMessageDlgTimeOutHandler &operator=(const TMessageDlgTimeOutHandler &) = delete;

    bool TimeOutRaised() const { return fTimeOutRaised; }

    // The text shown AElapsed milliseconds after the dialog came up.
    QString TextFor(quint32 AElapsed) const;

private:
    void Timer(quint32 AElapsed);
    void Detach();

    QString fOriginMesssage;
    qint64 fTimeOut;
    QPointer<TCustomTaskDialog> fTaskDialog;
    TTaskDialogButtonItem *fButton;
    bool fTimeOutRaised = false;
    bool m_attached = false;
};

// "Hinweis": how to reset remembered answers, shown once the first one is stored (queued, so that
// storing never waits for it; nothing without a widget application). Its texts:
QString AutoAnswerNoticeInstruction();
QString AutoAnswerNoticeContent();
