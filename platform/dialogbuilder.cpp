#include "platform/dialogbuilder.h"

#include "platform/exception.h"
#include "platform/taskdialog.h"

#include <QApplication>
#include <QBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QThread>

#include <memory>
#include <optional>

void RequireGuiThread()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        throw Exception(QStringLiteral("A dialog needs a running widget application"));
    if (QThread::currentThread() != app->thread())
        throw Exception(QStringLiteral("A dialog can only be shown on the GUI thread"));
}

QString ApplicationTitle()
{
    const QString display = QGuiApplication::applicationDisplayName();
    return display.isEmpty() ? QCoreApplication::applicationName() : display;
}

QString MsgDlgCaption(TMsgDlgType DlgType)
{
    switch (DlgType) {
    case mtWarning:
        return QStringLiteral("Warning");
    case mtError:
        return QStringLiteral("Error");
    case mtInformation:
        return QStringLiteral("Information");
    case mtConfirmation:
        return QStringLiteral("Confirm");
    case mtCustom:
        break;
    }
    return ApplicationTitle();
}

QIcon MsgDlgTypeIcon(TMsgDlgType DlgType)
{
    QStyle *style = QApplication::style();
    switch (DlgType) {
    case mtWarning:
        return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case mtError:
        return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case mtInformation:
        return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case mtConfirmation:
        return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case mtCustom:
        break;
    }
    return {};
}

QString DialogDisplayText(QString Text)
{
    Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text.replace(u'\r', u'\n');
    return Text;
}

QPushButton *AddDialogButton(
    QDialog *Dialog, QBoxLayout *Row, const QString &Caption, TModalResult Result, bool Default)
{
    auto *button = new QPushButton(Caption, Dialog);
    button->setProperty("ModalResult", Result);
    button->setDefault(Default);
    button->setAutoDefault(Default);
    if (Row)
        Row->addWidget(button);
    return button;
}

QPushButton *AddDialogButton(QDialog *Dialog, QBoxLayout *Row, TMsgDlgBtn Button, bool Default)
{
    const TModalResult result = MsgDlgButtonResult(Button);
    QPushButton *button = AddDialogButton(Dialog, Row, MsgDlgButtonCaption(Button), result, Default);
    button->setObjectName(MsgDlgButtonName(Button));
    if (Button != mbHelp)
        QObject::connect(button, &QPushButton::clicked, Dialog, [Dialog, result] { Dialog->done(result); });
    return button;
}

void BuildTaskMessageDialog(TCustomTaskDialog &Dialog, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    TMsgDlgBtn DefaultButton, int HelpCtx)
{
    Dialog.SetCaption(MsgDlgCaption(DlgType));
    switch (DlgType) {
    case mtWarning:
        Dialog.SetMainIcon(tdiWarning);
        break;
    case mtError:
        Dialog.SetMainIcon(tdiError);
        break;
    case mtInformation:
        Dialog.SetMainIcon(tdiInformation);
        break;
    case mtConfirmation:
        // The task dialog has no question icon of its own: the platform's stands in.
        Dialog.SetMainIcon(tdiInformation);
        Dialog.SetCustomMainIcon(MsgDlgTypeIcon(mtConfirmation));
        Dialog.SetFlags(Dialog.Flags() | tfUseHiconMain);
        break;
    case mtCustom:
        Dialog.SetMainIcon(tdiNone);
        break;
    }
    for (int i = mbYes; i <= mbClose; ++i) {
        const auto b = TMsgDlgBtn(i);
        if (Buttons.Contains(b))
            Dialog.AddButton(MsgDlgButtonCaption(b), TaskDialogButtonResult(b), b == DefaultButton);
    }
    Dialog.SetCommonButtons({});
    Dialog.SetHelpContext(HelpCtx);
}

void PlaceDialog(QWidget *Window, int X, int Y)
{
    Window->adjustSize();
    if (X >= 0 || Y >= 0)
        Window->move(X >= 0 ? X : Window->x(), Y >= 0 ? Y : Window->y());
}

void PlaceDialog(QWidget *Window, const QRect &Area)
{
    Window->adjustSize();
    if (Area.isValid())
        Window->move(Area.center() - QPoint(Window->width() / 2, Window->height() / 2));
}

int ExecModal(QDialog *Dialog, TModalResult IfGone)
{
    const QPointer<QDialog> alive(Dialog);
    // Kept outside the dialog: done() may be followed by the dialog's deletion before exec returns.
    auto closedWith = std::make_shared<std::optional<int>>();
    const QMetaObject::Connection connection
        = QObject::connect(Dialog, &QDialog::finished, [closedWith](int result) { *closedWith = result; });
    const int result = Dialog->exec();
    if (alive) {
        QObject::disconnect(connection);
        return result;
    }
    return closedWith->value_or(IfGone);
}
