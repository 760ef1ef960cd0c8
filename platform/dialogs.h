#pragma once
// The platform's standard message dialogs and task-message dialogs, with the system's English
// captions and button texts and its modal results. Every dialog here is modal, runs on the GUI
// thread (a call from another thread raises Exception) and returns the modal result of the button
// that closed it.

#include "platform/dialogbuilder.h"
#include "platform/dialogtypes.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

// The classic message dialog: icon of the type, the message, one button per member of the set in the
// set's order. Esc and the close box answer with the cancel button (Cancel, else No, else OK), or
// with mrCancel when the set has none of them.
class TMessageForm : public QDialog
{
    Q_OBJECT

public:
    TMessageForm(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton,
        QWidget *parent = nullptr);
    ~TMessageForm() override;

    TMsgDlgType DlgType() const { return m_dlgType; }
    QString Message() const { return m_message; }
    // The button of a member of the set; nullptr for buttons not in it. Buttons are named after
    // the member ("Yes", "NoToAll", ...) and carry their result in the property "ModalResult".
    QPushButton *Button(TMsgDlgBtn B) const { return m_buttons[B]; }

    int HelpContext() const { return m_helpContext; }
    void SetHelpContext(int Value) { m_helpContext = Value; }
    QString HelpFile() const { return m_helpFile; }
    void SetHelpFile(const QString &Value) { m_helpFile = Value; }
    // Left and top edge; a negative value keeps that edge where the platform puts it, and both
    // negative centre the dialog.
    void SetPosition(int X, int Y);

    // Shows the form modally and returns its modal result; mrCancel when the form is deleted (with its
    // parent) before it closes.
    int ShowModal();

Q_SIGNALS:
    // The Help button was pressed; the dialog stays open.
    void HelpRequested(int HelpContext, const QString &HelpFile);

protected:
    void reject() override;

private:
    TMsgDlgType m_dlgType;
    QString m_message;
    QPushButton *m_buttons[MsgDlgBtnCount] = {};
    QPushButton *m_cancelButton = nullptr;
    int m_helpContext = 0;
    QString m_helpFile;
    int m_x = -1;
    int m_y = -1;
};

// The form, not yet shown, on the active window; the holder frees it unless that window takes it
// along first.
TDialogHolder<TMessageForm> CreateMessageDialog(
    const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);
TDialogHolder<TMessageForm> CreateMessageDialog(
    const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton);

// Puts Details below the form's message, on a line of their own in plain text (a label named
// "Details"), so that the message itself stays as it is.
void SetMessageDetails(TMessageForm *Form, const QString &Details);

void ShowMessage(const QString &Msg);
// A custom-type dialog with an OK button at X, Y (-1, -1: centred).
void ShowMessagePos(const QString &Msg, int X, int Y);

int MessageDlg(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
int MessageDlg(
    const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton);
int MessageDlgPos(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y);
int MessageDlgPos(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y,
    TMsgDlgBtn DefaultButton);
int MessageDlgPosHelp(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X,
    int Y, const QString &HelpFileName);
int MessageDlgPosHelp(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X,
    int Y, const QString &HelpFileName, TMsgDlgBtn DefaultButton);

// Task-message dialogs: Title is the main instruction (none when empty), Msg the content, the window
// caption that of the type; one push button per member of the set, Esc answers mrCancel.
int TaskMessageDlg(
    const QString &Title, const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
int TaskMessageDlg(const QString &Title, const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    int HelpCtx, TMsgDlgBtn DefaultButton);
int TaskMessageDlgPos(const QString &Title, const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    int HelpCtx, int X, int Y);
int TaskMessageDlgPos(const QString &Title, const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    int HelpCtx, int X, int Y, TMsgDlgBtn DefaultButton);
int TaskMessageDlgPosHelp(const QString &Title, const QString &Msg, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName);
int TaskMessageDlgPosHelp(const QString &Title, const QString &Msg, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName, TMsgDlgBtn DefaultButton);

// Replaceable routines, so that a dialog service can take over the message dialogs: every
// MessageDlg*, ShowMessagePos and ShowMessage call ends in the message route, with the default
// button its caller named (none when it named none), ShowMessage also in its own route. An empty
// function restores the platform's own dialog. They may be set while other threads show dialogs.
using TMessageDlgRoute = std::function<int(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    int HelpCtx, int X, int Y, const QString &HelpFileName, std::optional<TMsgDlgBtn> DefaultButton)>;
using TShowMessageRoute = std::function<void(const QString &Msg)>;
void SetMessageDlgRoute(TMessageDlgRoute Route);
void SetShowMessageRoute(TShowMessageRoute Route);
