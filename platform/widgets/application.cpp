#include "application.h"

#include "platform/dialogs.h"
#include "platform/exception.h"
#include "platform/exceptiontext.h"
#include "platform/thread.h"

#include <exception>

namespace {
int g_modalLevel = 0; // GUI thread only

std::function<void(const QString &)> &sink()
{
    static std::function<void(const QString &)> s;
    return s;
}

} // namespace

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Calls that worker threads queue to the GUI thread end in the same handler as every other
    // user-interface handler.
    TThread::SetQueuedExceptionHandler([](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (...) {
            HandleException();
        }
    });
}

TApplication::~TApplication()
{
    TThread::SetQueuedExceptionHandler(nullptr);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException();
        return false;
    }
}

void TApplication::HandleException()
{
    const QString message = CurrentExceptionMessage(QStringLiteral("An unknown error occurred."));
    if (sink()) {
        sink()(message);
        return;
    }
    const QString details = CurrentExceptionDetails();
    try {
        if (details.isEmpty()) {
            MessageDlg(message, mtError, { mbOK }, 0);
        } else {
            const TDialogHolder<TMessageForm> form = CreateMessageDialog(message, mtError, { mbOK });
            SetMessageDetails(form.get(), details);
            form->ShowModal();
        }
    } catch (...) {
        // The error box itself failed (no GUI thread, no screen): nothing is left to show it with.
    }
}

void TApplication::HandleExceptionLater(QObject *AContext)
{
    const std::exception_ptr error = std::current_exception();
    if (!error)
        return;
    if (!AContext) {
        qWarning("%s", qPrintable(CurrentExceptionMessage(QStringLiteral("An unknown error occurred."))));
        return;
    }
    QMetaObject::invokeMethod(
        AContext,
        [error] {
            try {
                std::rethrow_exception(error);
            } catch (...) {
                HandleException();
            }
        },
        Qt::QueuedConnection);
}

void TApplication::SetExceptionSink(std::function<void(const QString &)> s)
{
    sink() = std::move(s);
}

void TApplication::ModalStarted()
{
    if (++g_modalLevel == 1) {
        if (auto *app = qobject_cast<TApplication *>(QCoreApplication::instance()))
            Q_EMIT app->ModalBegin();
    }
}

void TApplication::ModalFinished()
{
    if (g_modalLevel > 0 && --g_modalLevel == 0) {
        if (auto *app = qobject_cast<TApplication *>(QCoreApplication::instance()))
            Q_EMIT app->ModalEnd();
    }
}

int TApplication::ModalLevel()
{
    return g_modalLevel;
}
