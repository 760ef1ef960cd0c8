#pragma once
// The pieces every dialog window of the platform is built from, so that the message dialog, the task
// dialog and the dialogs built on them agree: the GUI-thread rule, captions and icons of the message
// types, line breaks, buttons that carry their modal result, placement, and a modal run that
// survives the dialog being deleted while it is open.

#include "platform/dialogtypes.h"

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QString>

#include <utility>

class QBoxLayout;
class QRect;
class QPushButton;
class TCustomTaskDialog;

// Raises Exception unless a widget application exists and the caller is on its thread.
void RequireGuiThread();

// The application's title: its display name, else its name.
QString ApplicationTitle();
// "Warning", "Error", "Information", "Confirm"; for mtCustom the application's title.
QString MsgDlgCaption(TMsgDlgType DlgType);
// The platform's icon of a message type; none for mtCustom.
QIcon MsgDlgTypeIcon(TMsgDlgType DlgType);
// A text as a dialog shows it: CR LF and a lone CR become line breaks.
QString DialogDisplayText(QString Text);

// A push button for Dialog's button row (none: the caller places it): its modal result in the
// property "ModalResult", default (and auto-default) only when Default is set.
QPushButton *AddDialogButton(
    QDialog *Dialog, QBoxLayout *Row, const QString &Caption, TModalResult Result, bool Default);
// The push button of a member of a button set: caption, object name and result from the table;
// pressing it closes Dialog with that result, except Help, which its dialog handles itself.
QPushButton *AddDialogButton(QDialog *Dialog, QBoxLayout *Row, TMsgDlgBtn Button, bool Default);

// Fills Dialog with what a message's parameters say: the caption and main icon of DlgType (for
// mtConfirmation the question icon, as custom main icon), one push button per member of Buttons from
// Yes to Close with its task dialog result (Help: mrTaskDialogHelp), DefaultButton the default one,
// no common buttons, and HelpCtx. Main instruction, content and placement are the caller's.
void BuildTaskMessageDialog(TCustomTaskDialog &Dialog, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    TMsgDlgBtn DefaultButton, int HelpCtx);

// Sizes Window to its contents and moves its left edge to X and its top edge to Y; a negative value
// keeps that edge where the platform put it (centred on the parent).
void PlaceDialog(QWidget *Window, int X, int Y);
// Sizes Window to its contents and centres it on Area (a monitor's), when Area is valid.
void PlaceDialog(QWidget *Window, const QRect &Area);

// Runs Dialog modally and returns the result it closed with. Qt deletes a dialog with its parent, so
// a parent that goes while the dialog is open (a timer, a queued delete, a window closing itself)
// takes the dialog along: then the result it had already closed with is returned, else IfGone, and
// nothing of the dialog is touched after its deletion.
int ExecModal(QDialog *Dialog, TModalResult IfGone = mrCancel);

// Owns a dialog that has a Qt parent for its placement and modality: deletes it when the holder
// goes, unless it went earlier with that parent. The only safe way to keep such a dialog across
// ExecModal.
template <class T> class TDialogHolder
{
public:
    TDialogHolder() = default;
    explicit TDialogHolder(T *Dialog)
        : m_dialog(Dialog)
    {
    }
    TDialogHolder(TDialogHolder &&Other) noexcept
        : m_dialog(std::exchange(Other.m_dialog, nullptr))
    {
    }
    TDialogHolder &operator=(TDialogHolder &&Other) noexcept
    {
        if (this != &Other) {
            reset();
            m_dialog = std::exchange(Other.m_dialog, nullptr);
        }
        return *this;
    }
    TDialogHolder(const TDialogHolder &) = delete;
    TDialogHolder &operator=(const TDialogHolder &) = delete;
    ~TDialogHolder() { reset(); }

    // Null once the dialog is gone, whoever deleted it.
    T *get() const { return m_dialog.data(); }
    T *operator->() const { return m_dialog.data(); }
    explicit operator bool() const { return !m_dialog.isNull(); }
    void reset() { delete m_dialog.data(); }

private:
    QPointer<T> m_dialog;
};
