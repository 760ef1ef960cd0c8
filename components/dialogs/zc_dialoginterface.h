#pragma once
// A handle on an open dialog of the service (Tzc_Dialogs::MessageDlgInterface): the caller, on any
// thread, polls whether it is still open, reads its result, closes it with a chosen result or has a
// callback run on the GUI thread once it is answered. The dialog runs on the GUI thread while a
// worker thread waits for its answer; that worker keeps the handle alive until the answer is in.

#include "components/dialogs/zc_dialogs.h"

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class TThread;
class TTaskDialogButtonItem;

class Izc_DialogInterface
{
public:
    virtual ~Izc_DialogInterface() = default;

    // True until the dialog has been answered with a result above 0 (Help, -1, leaves it open), or
    // has gone without an answer (closed with 0, never shown).
    virtual bool Visible() const = 0;
    // 0 until the dialog has been answered, then its modal result.
    virtual qint32 Result() const = 0;
    // Presses the open dialog's button that answers AResult, as the user would; nothing when no
    // button has that result or the dialog has closed. Returns Result as it is now, usually 0: the
    // answer arrives later.
    virtual qint32 CloseDialog(qint32 AResult) = 0;
    // Run once on the GUI thread after the answer; set it before the dialog can be answered.
    virtual void SetResultCallback(Tzc_DialogInterfaceResultCallback ACallback) = 0;
    virtual Tzc_DialogInterfaceResultCallback GetResultCallback() const = 0;
    virtual void SetResult(qint32 AValue) = 0;
};

class Tzc_DialogInterface final : public Izc_DialogInterface,
                                  public std::enable_shared_from_this<Tzc_DialogInterface>
{
public:
    ~Tzc_DialogInterface() override;

    bool Visible() const override;
    qint32 Result() const override;
    qint32 CloseDialog(qint32 AResult) override;
    void SetResultCallback(Tzc_DialogInterfaceResultCallback ACallback) override;
    Tzc_DialogInterfaceResultCallback GetResultCallback() const override;
    void SetResult(qint32 AValue) override;

private:
    // Made and started by the service (Tzc_Dialogs::MessageDlgInterface). An ATimeOut above 0 presses
    // the button that answers ATimeOutResult that many milliseconds after the dialog was built,
    // unless it has closed before; no such button, no time-out. ACallback customises the dialog first.
    friend class Tzc_DialogWidgets;
    Tzc_DialogInterface() = default;
    void Customise(
        Tzc_CustomTaskDialog *ADialog, int ATimeOut, int ATimeOutResult, const Tzc_DialogCallback &ACallback);
    void PressButton(qint32 AResult);
    void PressTimeOutButton();
    // The dialog is going: no button of it may be pressed any more, the time-out stops.
    void WithdrawButtons();

    std::atomic<qint32> fResult = 0;
    std::atomic<bool> fClosed = false; // the worker is past the dialog, whatever came of it
    // The open dialog's buttons by their result, and the one the time-out presses. Touched only on
    // the GUI thread, where the dialog frees its buttons: a press can never meet a freed button.
    std::map<qint32, TTaskDialogButtonItem *> fButtonList;
    TTaskDialogButtonItem *m_timeOutButton = nullptr;

    mutable std::mutex m_lock;
    Tzc_DialogInterfaceResultCallback fResultCallback;
    TThread *m_timeOutThread = nullptr; // cleared by the thread itself as it ends, under m_lock
};
