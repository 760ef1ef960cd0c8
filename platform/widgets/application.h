#pragma once
// The application object: a QApplication whose general exception handler shows any exception that
// escapes an event handler, an action's handler or a call queued from a worker thread in the
// standard error box, and lets the program go on.

#include <QApplication>
#include <functional>

class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int &argc, char **argv);
    ~TApplication() override;

    bool notify(QObject *receiver, QEvent *event) override;

    // Shows the exception in flight (call from a catch block) in the standard error box.
    static void HandleException();
    // Hands the exception in flight (call from a catch block) to HandleException by a call queued to
    // AContext's thread, for errors caught where no box may open now (a paint, an animation tick).
    // The call is dropped when AContext is gone first; without a context the message is logged.
    static void HandleExceptionLater(QObject *AContext);

    // Replaces how an exception's message is shown (tests record it instead of showing a box);
    // an empty function restores the error box.
    static void SetExceptionSink(std::function<void(const QString &Message)> sink);

    // A modal dialog that a library runs by itself (the dialog service's task dialogs) is told
    // around its showing: ModalStarted before, ModalFinished after, also when it failed. ModalLevel
    // counts those open now; the application object, when it is a TApplication, emits ModalBegin as
    // the first starts and ModalEnd as the last finishes. GUI thread only.
    static void ModalStarted();
    static void ModalFinished();
    static int ModalLevel();

Q_SIGNALS:
    void ModalBegin();
    void ModalEnd();
};

// Runs a handler; an exception it raises goes to the application's exception handler instead of
// crossing the event loop.
template <typename F> void Guarded(F &&handler)
{
    try {
        handler();
    } catch (...) {
        TApplication::HandleException();
    }
}
