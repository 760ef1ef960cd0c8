#include "platform/dialogs.h"

#include "platform/exception.h"
#include "platform/taskdialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include <mutex>
#include <utility>

namespace {

// The routes are set on one thread while others may be showing a dialog: each is read as a copy
// under the lock, so that a caller keeps the route it found while it runs.
struct Routes
{
    std::mutex lock;
    TMessageDlgRoute messageDlg;
    TShowMessageRoute showMessage;
};

Routes &routes()
{
    static Routes r;
    return r;
}

TMessageDlgRoute messageDlgRoute()
{
    const std::lock_guard locker(routes().lock);
    return routes().messageDlg;
}

TShowMessageRoute showMessageRoute()
{
    const std::lock_guard locker(routes().lock);
    return routes().showMessage;
}

} // namespace

TMessageForm::TMessageForm(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    TMsgDlgBtn DefaultButton, QWidget *parent)
    : QDialog(parent)
    , m_dlgType(DlgType)
    , m_message(Msg)
{
    setWindowTitle(MsgDlgCaption(DlgType));
    auto *outer = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    const QIcon icon = MsgDlgTypeIcon(DlgType);
    if (!icon.isNull()) {
        auto *image = new QLabel(this);
        image->setObjectName(QStringLiteral("Image"));
        image->setPixmap(icon.pixmap(32, 32));
        top->addWidget(image, 0, Qt::AlignTop);
    }
    auto *label = new QLabel(this);
    label->setObjectName(QStringLiteral("Message"));
    label->setTextFormat(Qt::PlainText);
    label->setText(DialogDisplayText(Msg));
    top->addWidget(label, 1);
    outer->addLayout(top);

    auto *row = new QHBoxLayout;
    row->addStretch(1);
    for (int i = 0; i < MsgDlgBtnCount; ++i) {
        const auto b = TMsgDlgBtn(i);
        if (!Buttons.Contains(b))
            continue;
        m_buttons[i] = AddDialogButton(this, row, b, b == DefaultButton);
    }
    if (QPushButton *help = m_buttons[mbHelp])
        connect(
            help, &QPushButton::clicked, this, [this] { Q_EMIT HelpRequested(m_helpContext, m_helpFile); });
    outer->addLayout(row);
    m_cancelButton = m_buttons[mbCancel] ? m_buttons[mbCancel]
        : m_buttons[mbNo]                ? m_buttons[mbNo]
                                         : m_buttons[mbOK];
    if (Buttons.Contains(DefaultButton))
        m_buttons[DefaultButton]->setFocus();
}

TMessageForm::~TMessageForm() = default;

void TMessageForm::SetPosition(int X, int Y)
{
    m_x = X;
    m_y = Y;
}

int TMessageForm::ShowModal()
{
    RequireGuiThread();
    PlaceDialog(this, m_x, m_y);
    return ExecModal(this);
}

void TMessageForm::reject()
{
    done(m_cancelButton ? m_cancelButton->property("ModalResult").toInt() : mrCancel);
}

TDialogHolder<TMessageForm> CreateMessageDialog(
    const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons)
{
    return CreateMessageDialog(Msg, DlgType, Buttons, DefaultMsgDlgButton(Buttons));
}

TDialogHolder<TMessageForm> CreateMessageDialog(
    const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton)
{
    RequireGuiThread();
    return TDialogHolder<TMessageForm>(
        new TMessageForm(Msg, DlgType, Buttons, DefaultButton, QApplication::activeWindow()));
}

void SetMessageDetails(TMessageForm *Form, const QString &Details)
{
    auto *details = new QLabel(Details, Form);
    details->setObjectName(QStringLiteral("Details"));
    details->setTextFormat(Qt::PlainText);
    details->setWordWrap(true);
    if (auto *layout = qobject_cast<QBoxLayout *>(Form->layout()))
        layout->insertWidget(1, details);
}

void ShowMessage(const QString &Msg)
{
    if (const TShowMessageRoute route = showMessageRoute())
        return route(Msg);
    ShowMessagePos(Msg, -1, -1);
}

void ShowMessagePos(const QString &Msg, int X, int Y)
{
    MessageDlgPos(Msg, mtCustom, { mbOK }, 0, X, Y);
}

int MessageDlg(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx)
{
    return MessageDlgPosHelp(Msg, DlgType, Buttons, HelpCtx, -1, -1, QString());
}

int MessageDlg(
    const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton)
{
    return MessageDlgPosHelp(Msg, DlgType, Buttons, HelpCtx, -1, -1, QString(), DefaultButton);
}

int MessageDlgPos(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y)
{
    return MessageDlgPosHelp(Msg, DlgType, Buttons, HelpCtx, X, Y, QString());
}

int MessageDlgPos(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y,
    TMsgDlgBtn DefaultButton)
{
    return MessageDlgPosHelp(Msg, DlgType, Buttons, HelpCtx, X, Y, QString(), DefaultButton);
}

namespace {

// Where every message dialog ends; DefaultButton is empty when the caller named none.
int showMessageDlg(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y,
    const QString &HelpFileName, std::optional<TMsgDlgBtn> DefaultButton)
{
    if (const TMessageDlgRoute route = messageDlgRoute())
        return route(Msg, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, DefaultButton);
    const TDialogHolder<TMessageForm> form
        = CreateMessageDialog(Msg, DlgType, Buttons, DefaultButton.value_or(DefaultMsgDlgButton(Buttons)));
    form->SetHelpContext(HelpCtx);
    form->SetHelpFile(HelpFileName);
    form->SetPosition(X, Y);
    return form->ShowModal();
}

} // namespace

int MessageDlgPosHelp(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X,
    int Y, const QString &HelpFileName)
{
    return showMessageDlg(Msg, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, std::nullopt);
}

int MessageDlgPosHelp(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X,
    int Y, const QString &HelpFileName, TMsgDlgBtn DefaultButton)
{
    return showMessageDlg(Msg, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, DefaultButton);
}

int TaskMessageDlg(
    const QString &Title, const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx)
{
    return TaskMessageDlgPosHelp(Title, Msg, DlgType, Buttons, HelpCtx, -1, -1, QString());
}

int TaskMessageDlg(const QString &Title, const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    int HelpCtx, TMsgDlgBtn DefaultButton)
{
    return TaskMessageDlgPosHelp(Title, Msg, DlgType, Buttons, HelpCtx, -1, -1, QString(), DefaultButton);
}

int TaskMessageDlgPos(const QString &Title, const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    int HelpCtx, int X, int Y)
{
    return TaskMessageDlgPosHelp(Title, Msg, DlgType, Buttons, HelpCtx, X, Y, QString());
}

int TaskMessageDlgPos(const QString &Title, const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    int HelpCtx, int X, int Y, TMsgDlgBtn DefaultButton)
{
    return TaskMessageDlgPosHelp(Title, Msg, DlgType, Buttons, HelpCtx, X, Y, QString(), DefaultButton);
}

int TaskMessageDlgPosHelp(const QString &Title, const QString &Msg, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName)
{
    return TaskMessageDlgPosHelp(
        Title, Msg, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, DefaultMsgDlgButton(Buttons));
}

int TaskMessageDlgPosHelp(const QString &Title, const QString &Msg, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName, TMsgDlgBtn DefaultButton)
{
    RequireGuiThread();
    TCustomTaskDialog dialog;
    BuildTaskMessageDialog(dialog, DlgType, Buttons, DefaultButton, HelpCtx);
    dialog.SetTitle(Title);
    dialog.SetText(Msg);
    dialog.SetPosition(X, Y);
    // The help file has no place in the window's look; it rides along for whoever handles help.
    dialog.OnDialogConstructed = [&HelpFileName](TCustomTaskDialog *Sender) {
        Sender->Handle()->setProperty("HelpFile", HelpFileName);
    };
    return dialog.Execute() ? dialog.ModalResult() : 0;
}

void SetMessageDlgRoute(TMessageDlgRoute Route)
{
    const std::lock_guard locker(routes().lock);
    std::swap(routes().messageDlg, Route); // the old route goes after the lock, where it may take locks
}

void SetShowMessageRoute(TShowMessageRoute Route)
{
    const std::lock_guard locker(routes().lock);
    std::swap(routes().showMessage, Route);
}
