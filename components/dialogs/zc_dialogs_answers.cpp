#include "zc_dialogs_answers.h"

#include "platform/dialogbuilder.h"
#include "platform/exception.h"
#include "platform/format.h"
#include "platform/numbers.h"
#include "platform/taskdialog.h"
#include "platform/widgets/application.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

// The first-answer notice

QString AutoAnswerNoticeInstruction()
{
    return u"Hinweis"_s;
}

QString AutoAnswerNoticeContent()
{
    return u"Sie können alle gespeicherten Antworten im Ribbon unter unter Optionen - Dialogantworten "
           u"zurücksetzen.\rDiese Meldung wird nur beim ersten Hinzufügen einer automatischen Antwort "
           u"angezeigt."_s;
}

// Time-out

TMessageDlgTimeOutHandler::TMessageDlgTimeOutHandler(
    TCustomTaskDialog *ATaskDialog, TTaskDialogButtonItem *AButton, qint64 ATimeOut)
    : fTimeOut(ATimeOut)
    , fTaskDialog(ATaskDialog)
    , fButton(AButton)
{
    if (!ATaskDialog || !AButton)
        throw Exception(u"Zeitüberschreitung ohne Dialog oder Schaltfläche"_s);
    fOriginMesssage = ATaskDialog->Text();
    ATaskDialog->OnTimer = [this](TCustomTaskDialog *, quint32 TickCount, bool &) { Timer(TickCount); };
    m_attached = true;
    TTaskDialogFlags flags = ATaskDialog->Flags() | tfCallbackTimer;
    if (fTimeOut > 1000)
        flags |= tfShowProgressBar;
    ATaskDialog->SetFlags(flags);
    ATaskDialog->SetProgressBar({ 0, 100, 100 });
    ATaskDialog->SetText(TextFor(0));
}

TMessageDlgTimeOutHandler::~TMessageDlgTimeOutHandler()
{
    // A dialog that outlives its handler must not call into it again.
    if (m_attached && fTaskDialog)
        fTaskDialog->OnTimer = nullptr;
}

QString TMessageDlgTimeOutHandler::TextFor(quint32 AElapsed) const
{
    const QString text = fOriginMesssage.trimmed();
    if (fTimeOut <= 1000)
        return text;
    const double seconds = std::max<double>(0, double(fTimeOut - qint64(AElapsed)) / 1000);
    const QString caption = fButton->Caption().remove(u'&');
    return text + u"\r\r"_s
        + Format(u"Diese Meldung wird in %.0n Sekunden automatisch mit \"%s\" beantwortet."_s,
            { seconds, caption });
}

void TMessageDlgTimeOutHandler::Timer(quint32 AElapsed)
{
    TCustomTaskDialog *dialog = fTaskDialog;
    if (!dialog || fTimeOutRaised)
        return;
    if (qint64(AElapsed) > fTimeOut) {
        Detach();
        dialog->SetText(fOriginMesssage);
        fTimeOutRaised = true;
        fButton->Click();
        return;
    }
    const int span = int(std::clamp<qint64>(fTimeOut, 1, std::numeric_limits<int>::max()));
    const int p = std::clamp(MulDiv(int(std::min<qint64>(AElapsed, span)), 100, span), 0, 100);
    dialog->SetProgressPosition(100 - p);
    dialog->SetText(TextFor(AElapsed));
}

void TMessageDlgTimeOutHandler::Detach()
{
    m_attached = false;
    if (!fTaskDialog)
        return;
    // Only the copy that is running now stays alive; the dialog calls no one any more.
    fTaskDialog->OnTimer = nullptr;
    fTaskDialog->SetFlags(fTaskDialog->Flags() & ~TTaskDialogFlags(tfCallbackTimer));
}
