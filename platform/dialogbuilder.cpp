#include "platform/dialogbuilder.h"

#include "platform/exception.h"

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
    Row->addWidget(button);
    return button;
}

void PlaceDialog(QWidget *Window, int X, int Y)
{
    Window->adjustSize();
    if (X >= 0 || Y >= 0)
        Window->move(X >= 0 ? X : Window->x(), Y >= 0 ? Y : Window->y());
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
