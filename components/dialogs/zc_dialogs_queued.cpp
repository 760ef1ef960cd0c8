// The dialogs that do not keep their caller waiting: queued dialogs, dialog interfaces and dialogs
// with a periodic callback. Each runs the blocking task path on a worker thread of its own.

#include "components/dialogs/zc_customtaskdialog.h"
#include "components/dialogs/zc_dialoginterface.h"
#include "components/dialogs/zc_dialogwidgets.h"

#include "platform/exception.h"
#include "platform/thread.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPointer>

#include <algorithm>
#include <utility>

namespace {

// A worker that frees itself when it ends. Its function, with all it holds, goes as Execute
// returns, also when it raises, so that references it holds are released on the worker's own thread.
class TDialogWorker : public TThread
{
public:
    using TBody = std::function<void(TDialogWorker *)>;

    // Started by Start(), so that the caller can record it first.
    static TDialogWorker *Create(TBody ABody)
    {
        auto *worker = new TDialogWorker(std::move(ABody));
        worker->SetFreeOnTerminate(true);
        return worker;
    }

    using TThread::SetPriority;
    using TThread::SleepUnlessTerminated;
    using TThread::Synchronize;

protected:
    void Execute() override
    {
        const TBody body = std::exchange(m_body, nullptr);
        body(this);
    }
    QString DebugName() const override { return QStringLiteral("zc_Dialogs"); }

private:
    explicit TDialogWorker(TBody ABody)
        : TThread(true)
        , m_body(std::move(ABody))
    {
    }
    TBody m_body;
};

// Whether the dialog's window is up: a closed dialog's buttons are not pressed, its callback not run.
bool dialogOpen(const TCustomTaskDialog *ADialog)
{
    return ADialog && ADialog->Handle() && ADialog->Handle()->isVisible();
}

// Clears a thread's record of itself as it ends, also when it ends by an exception: afterwards
// nobody may ask it to stop.
template <class T> struct TClearOnExit
{
    std::mutex &Lock;
    T *&Thread;
    ~TClearOnExit()
    {
        const std::lock_guard lock(Lock);
        Thread = nullptr;
    }
};

} // namespace

// Queued dialogs

namespace {

void requireContext(bool AGiven)
{
    if (!AGiven)
        throw Exception(QStringLiteral("Tzc_Dialogs.MessageDlgQueued: Ergebnis ohne Kontextobjekt"));
}

} // namespace

void Tzc_DialogWidgets::StartQueuedDialog(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, std::function<void(int AResult)> AHandOver)
{
    // A bad GUID is the caller's mistake: it hears of it, not a worker nobody watches.
    QString guid = AGuid.trimmed().toUpper();
    if (!guid.isEmpty())
        guid = Tzc_Dialogs::CheckGuid(guid);
    // The worker may outlive the service: it reaches it only on the GUI thread, through the reference.
    TDialogWorker::Create([=, service = m_service.Ref()](TDialogWorker *) {
        const int result = OnGuiThread(service, [&](Tzc_DialogWidgets &AOnGui) {
            return AOnGui.MessageDlg(AInstruction, AContent, DlgType, Buttons, HelpCtx, DefaultButton, guid,
                ASaveAnswerButtons, ATimeOut, nullptr);
        });
        if (AHandOver)
            AHandOver(result);
    })->Start();
}

void Tzc_DialogWidgets::MessageDlgQueued(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const QObject *AContext,
    const Tzc_Dialog_ThreadResult &AMessageResult)
{
    std::function<void(int)> handOver;
    if (AMessageResult) {
        requireContext(AContext);
        // Looked at on the GUI thread, where the object is deleted: it cannot go while the result runs.
        const QCoreApplication *app = QCoreApplication::instance();
        if (app && AContext->thread() != app->thread())
            throw Exception(
                QStringLiteral("Tzc_Dialogs.MessageDlgQueued: Kontextobjekt nicht im GUI-Thread"));
        handOver = [context = QPointer<const QObject>(AContext), AMessageResult](int AResult) {
            TThread::Queue(nullptr, [context, AMessageResult, AResult] {
                if (context)
                    AMessageResult(AResult);
            });
        };
    }
    StartQueuedDialog(AInstruction, AContent, DlgType, Buttons, HelpCtx, DefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, std::move(handOver));
}

void Tzc_DialogWidgets::MessageDlgQueued(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, TThread *AContext,
    const Tzc_Dialog_ThreadResult &AMessageResult)
{
    std::function<void(int)> handOver;
    if (AMessageResult) {
        requireContext(AContext);
        // Taken now, while the object lives: the hand-over is dropped once it is gone.
        handOver = [context = TThreadRef(AContext), AMessageResult](int AResult) {
            TThread::Queue(context, [AMessageResult, AResult] { AMessageResult(AResult); });
        };
    }
    StartQueuedDialog(AInstruction, AContent, DlgType, Buttons, HelpCtx, DefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, std::move(handOver));
}

void Tzc_DialogWidgets::MessageDlgQueued(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, Tzc_Dialog_ThreadResultFunction AMessageResult)
{
    std::function<void(int)> handOver;
    if (AMessageResult) {
        // Tagged with the calling thread, as every hand-over of a worker is.
        handOver = [origin = TThreadRef(TThread::IsGuiThread() ? nullptr : TThread::CurrentThread()),
                       AMessageResult](int AResult) {
            TThread::Queue(origin, [AMessageResult, AResult] { AMessageResult(AResult); });
        };
    }
    StartQueuedDialog(AInstruction, AContent, DlgType, Buttons, HelpCtx, DefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, std::move(handOver));
}

// Dialog interfaces

std::shared_ptr<Izc_DialogInterface> Tzc_DialogWidgets::MessageDlgInterface(const QString &AInstruction,
    const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, int ATimeOutResult, const Tzc_DialogCallback &ACallback)
{
    QString guid = AGuid.trimmed().toUpper();
    if (!guid.isEmpty())
        guid = Tzc_Dialogs::CheckGuid(guid);
    const std::shared_ptr<Tzc_DialogInterface> self(new Tzc_DialogInterface);
    // The worker's reference keeps the object until the answer is delivered, whatever the caller does.
    TDialogWorker::Create([=, service = m_service.Ref()](TDialogWorker *worker) {
        const auto customise = [self, ATimeOut, ATimeOutResult, ACallback](Tzc_CustomTaskDialog *ADialog) {
            self->Customise(ADialog, ATimeOut, ATimeOutResult, ACallback);
        };
        {
            // Also when the dialog could not be shown, or showing it raised: nobody polls for ever.
            struct TCloseOnExit
            {
                Tzc_DialogInterface &Interface;
                ~TCloseOnExit() { Interface.fClosed = true; }
            } closed { *self };
            self->SetResult(OnGuiThread(service, [&](Tzc_DialogWidgets &AOnGui) {
                return AOnGui.MessageDlg(AInstruction, AContent, DlgType, Buttons, HelpCtx,
                    Tzc_Dialogs::CalcDefaultButton(Buttons), guid, ASaveAnswerButtons, 0, customise);
            }));
        }
        if (const Tzc_DialogInterfaceResultCallback callback = self->GetResultCallback()) {
            const std::shared_ptr<Izc_DialogInterface> handle = self;
            worker->Synchronize([&] { callback(handle); });
        }
    })->Start();
    return self;
}

Tzc_DialogInterface::~Tzc_DialogInterface()
{
    // The time-out thread holds a reference of its own: none can be running here.
}

void Tzc_DialogInterface::Customise(
    Tzc_CustomTaskDialog *ADialog, int ATimeOut, int ATimeOutResult, const Tzc_DialogCallback &ACallback)
{
    if (ACallback)
        ACallback(ADialog);
    fButtonList.clear();
    for (int i = 0; i < ADialog->ButtonCount(); ++i)
        fButtonList[ADialog->Buttons(i)->ModalResult()] = ADialog->Buttons(i);
    // The dialog frees its buttons on the GUI thread, where every press happens; the signal comes
    // before anything else runs there.
    QObject::connect(ADialog, &QObject::destroyed, [weak = weak_from_this()] {
        if (const auto self = weak.lock())
            self->WithdrawButtons();
    });
    if (ATimeOut <= 0)
        return;
    const auto found = fButtonList.find(ATimeOutResult);
    if (found == fButtonList.end())
        return;
    m_timeOutButton = found->second;
    TDialogWorker *thread
        = TDialogWorker::Create([self = shared_from_this(), ATimeOut](TDialogWorker *worker) {
              const TClearOnExit<TThread> clear { self->m_lock, self->m_timeOutThread };
              if (worker->SleepUnlessTerminated(ATimeOut))
                  worker->Synchronize([&] { self->PressTimeOutButton(); });
          });
    {
        const std::lock_guard lock(m_lock);
        m_timeOutThread = thread;
    }
    thread->Start();
}

void Tzc_DialogInterface::PressButton(qint32 AResult)
{
    const auto found = fButtonList.find(AResult);
    if (found != fButtonList.end())
        found->second->Click(); // does nothing once the dialog's window has closed
}

void Tzc_DialogInterface::PressTimeOutButton()
{
    if (TTaskDialogButtonItem *button = std::exchange(m_timeOutButton, nullptr))
        button->Click();
}

void Tzc_DialogInterface::WithdrawButtons()
{
    fButtonList.clear();
    m_timeOutButton = nullptr;
    const std::lock_guard lock(m_lock);
    if (m_timeOutThread)
        m_timeOutThread->Terminate();
}

bool Tzc_DialogInterface::Visible() const
{
    // The Help button's answer (-1) counts as still open; a dialog gone without an answer does not.
    const qint32 result = Result();
    return result < 0 || (result == 0 && !fClosed);
}

qint32 Tzc_DialogInterface::Result() const
{
    return fResult.load();
}

qint32 Tzc_DialogInterface::CloseDialog(qint32 AResult)
{
    if (TThread::IsGuiThread()) {
        PressButton(AResult);
    } else {
        // The buttons live on the GUI thread; the press waits there for its turn, not for the answer.
        TThread::Queue(nullptr, [self = shared_from_this(), AResult] { self->PressButton(AResult); });
    }
    return Result();
}

void Tzc_DialogInterface::SetResultCallback(Tzc_DialogInterfaceResultCallback ACallback)
{
    const std::lock_guard lock(m_lock);
    fResultCallback = std::move(ACallback);
}

Tzc_DialogInterfaceResultCallback Tzc_DialogInterface::GetResultCallback() const
{
    const std::lock_guard lock(m_lock);
    return fResultCallback;
}

void Tzc_DialogInterface::SetResult(qint32 AValue)
{
    fResult.store(AValue);
}

// Dialogs with a periodic callback

namespace {

struct TContinued
{
    std::atomic<int> Interval;
    Tzc_DialogCallbackContinued Callback;
    QPointer<Tzc_CustomTaskDialog> Dialog; // GUI thread only
    std::atomic<bool> Stopped = false;
    std::mutex Lock;
    TDialogWorker *Thread = nullptr; // cleared by the thread itself as it ends, under Lock

    void Stop()
    {
        Stopped = true;
        const std::lock_guard lock(Lock);
        if (Thread)
            Thread->Terminate();
    }
};

} // namespace

int Tzc_DialogWidgets::MessageDlgCallbackContinued(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton,
    const Tzc_DialogCallbackContinued &ACallback, int AInterval)
{
    const auto state = std::make_shared<TContinued>();
    state->Interval = AInterval;
    state->Callback = ACallback;
    const auto customise = [state](Tzc_CustomTaskDialog *ADialog) {
        if (!state->Callback)
            return;
        state->Callback(ADialog, true);
        state->Dialog = ADialog;
        QObject::connect(ADialog, &QObject::destroyed, [state] { state->Stop(); });
        TDialogWorker *thread = TDialogWorker::Create([state](TDialogWorker *worker) {
            const TClearOnExit<TDialogWorker> clear { state->Lock, state->Thread };
            const int interval = std::clamp(state->Interval.load(), 10, 5000);
            worker->SetPriority(TThreadPriority::tpLowest);
            while (worker->SleepUnlessTerminated(interval)) {
                // Checked on the GUI thread, where the dialog closes: a call that waited there while
                // it closed is not delivered.
                worker->Synchronize([&] {
                    if (!state->Stopped && dialogOpen(state->Dialog.data()))
                        state->Callback(state->Dialog.data(), false);
                });
            }
        });
        {
            const std::lock_guard lock(state->Lock);
            state->Thread = thread;
        }
        thread->Start();
    };
    struct StopOnExit
    {
        TContinued &State;
        ~StopOnExit() { State.Stop(); }
    } stop { *state };
    return MessageDlg(
        AInstruction, AContent, DlgType, Buttons, HelpCtx, DefaultButton, QString(), {}, 0, customise);
}
